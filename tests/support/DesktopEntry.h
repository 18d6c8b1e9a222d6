#pragma once

#include <QFile>
#include <QString>

// The value of `key` in group `group` ("Desktop Entry", "Desktop Action
// debug") of the desktop entry `path`, as written; empty when it has none.
// (QSettings cannot read these: a ';' in a value starts a comment there.)
inline QString desktopEntryValue(const QString &path, const QString &group, const QString &key)
{
    QFile entry(path);
    if (!entry.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    const QString header = QLatin1Char('[') + group + QLatin1Char(']');
    const QString start = key + QLatin1Char('=');
    bool inGroup = false;
    while (!entry.atEnd()) {
        const QString line = QString::fromUtf8(entry.readLine()).trimmed();
        if (line.startsWith(QLatin1Char('[')))
            inGroup = line == header;
        else if (inGroup && line.startsWith(start))
            return line.mid(start.size());
    }
    return {};
}
