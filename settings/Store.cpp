#include "Store.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>
#include <QStringList>

namespace
{

QString keyPath(const QString &section, const QString &key)
{
    return Store::escapeSection(section) + QLatin1Char('/') + key;
}

// A hand-edited value such as "a, b" comes back from QSettings as a list.
QString valueText(const QVariant &value)
{
    if (value.typeId() == QMetaType::QStringList)
        return value.toStringList().join(QStringLiteral(", "));
    return value.toString();
}

bool saved(QSettings &settings)
{
    settings.sync();
    return settings.status() == QSettings::NoError;
}

} // namespace

Store::Store() : path(defaultFilePath()) {}

Store::Store(const QString &filePath) : path(filePath) {}

QString Store::defaultFilePath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/QL/QL.ini");
}

QString Store::escapeSection(const QString &section)
{
    QString escaped = section;
    escaped.replace(QLatin1Char('%'), QStringLiteral("%25"));
    escaped.replace(QLatin1Char('/'), QStringLiteral("%2F"));
    return escaped;
}

QString Store::unescapeSection(const QString &escaped)
{
    QString section;
    section.reserve(escaped.size());
    for (qsizetype i = 0; i < escaped.size(); ++i) {
        const QStringView rest = QStringView(escaped).mid(i, 3);
        if (rest == u"%2F") {
            section += QLatin1Char('/');
            i += 2;
        } else if (rest == u"%25") {
            section += QLatin1Char('%');
            i += 2;
        } else {
            section += escaped.at(i);
        }
    }
    return section;
}

// The folder is private to the user (0700) and the file too (0600). QSettings
// replaces the file atomically and keeps the permissions of the one it replaces,
// so creating it once with 0600 is enough.
bool Store::prepareFile() const
{
    const QFileInfo info(path);
    QDir dir = info.absoluteDir();
    if (!dir.exists()) {
        if (!dir.mkpath(QStringLiteral(".")))
            return false;
        QFile::setPermissions(dir.absolutePath(),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    if (info.exists())
        return true;
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly))
        return QFileInfo::exists(path);
    file.setPermissions(QFile::ReadOwner | QFile::WriteOwner);
    return true;
}

QString Store::read(const QString &section, const QString &key, const QString &fallback) const
{
    const QSettings settings(path, QSettings::IniFormat);
    return valueText(settings.value(keyPath(section, key), fallback));
}

bool Store::write(const QString &section, const QString &key, const QString &value)
{
    if (!prepareFile())
        return false;
    QSettings settings(path, QSettings::IniFormat);
    settings.setValue(keyPath(section, key), value);
    return saved(settings);
}

bool Store::removeKey(const QString &section, const QString &key)
{
    QSettings settings(path, QSettings::IniFormat);
    const QString full = keyPath(section, key);
    if (!settings.contains(full))
        return false;
    settings.remove(full);
    return saved(settings);
}

bool Store::removeSection(const QString &section)
{
    QSettings settings(path, QSettings::IniFormat);
    const QString group = escapeSection(section);
    settings.beginGroup(group);
    const bool exists = !settings.childKeys().isEmpty() || !settings.childGroups().isEmpty();
    settings.endGroup();
    if (!exists)
        return false;
    settings.remove(group);
    return saved(settings);
}
