#include "FuzzCheck.h"
#include "Layout.h"
#include "Store.h"
#include "StoreFile.h"

#include <QByteArray>
#include <QFile>
#include <QMap>
#include <QSettings>
#include <cstdint>

// A store file of arbitrary bytes, as a person or a broken disk might leave
// it: reading it never crashes, and the next change keeps every value that
// could be read before it, as it was.

namespace
{

// Every value the store reads, by section and key as the programs address them.
QMap<QPair<QString, QString>, QString> readable(const Store &store, const QString &path)
{
    QMap<QPair<QString, QString>, QString> values;
    const QSettings settings(path, QSettings::IniFormat);
    for (const QString &full : settings.allKeys()) {
        // The programs' keys are plain names in a named section: a key with
        // no section, no name, or a '/' of its own is none of theirs.
        const qsizetype slash = full.indexOf(u'/');
        if (slash <= 0 || slash == full.size() - 1 || full.count(u'/') != 1)
            continue;
        const QString section = Store::unescapeSection(full.left(slash));
        const QString key = full.mid(slash + 1);
        values.insert({section, key}, store.read(section, key));
    }
    return values;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString path = scratchFile("store");
    {
        QFile file(path);
        FUZZ_CHECK(file.open(QIODevice::WriteOnly));
        file.write(reinterpret_cast<const char *>(data), qint64(size));
    }
    {
        Store store(path);
        layout::actions(store);
        auto before = readable(store, path);
        FUZZ_CHECK(store.write(QStringLiteral("!Settings"), QStringLiteral("Fuzz"),
                               QStringLiteral("written")));
        before.insert({QStringLiteral("!Settings"), QStringLiteral("Fuzz")},
                      QStringLiteral("written"));
        const Store reader(path);
        const auto after = readable(reader, path);
        // A hand-made key that QSettings spells its own way may turn up
        // under its own spelling as well; nothing may go or change.
        for (auto value = before.cbegin(); value != before.cend(); ++value)
            FUZZ_CHECK(after.value(value.key()) == value.value());
        QFile file(path);
        FUZZ_CHECK(file.open(QIODevice::ReadOnly));
        FUZZ_CHECK(!storefile::hasRunawayLines(file.readAll()));
    }
    QFile::remove(path);
    return 0;
}
