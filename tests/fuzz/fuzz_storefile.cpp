#include "FuzzCheck.h"
#include "Layout.h"
#include "Store.h"
#include "StoreFile.h"

#include <QByteArray>
#include <QFile>
#include <QMap>
#include <QSettings>
#include <algorithm>
#include <cstdint>

// A store file of arbitrary bytes, as a person or a broken disk might leave
// it: reading it never crashes, reads every value as QSettings reads it once
// the damaged lines are gone, and the next change keeps every value that
// could be read before it, in a file that QSettings reads the same way.

namespace
{

using Values = QMap<QPair<QString, QString>, QString>;

void writeFile(const QString &path, QByteArrayView bytes)
{
    QFile file(path);
    FUZZ_CHECK(file.open(QIODevice::WriteOnly));
    FUZZ_CHECK(file.write(bytes.data(), bytes.size()) == bytes.size());
}

// A text, or a list of texts (which QSettings reads as a list of variants
// where an element is spelled with a leading '@').
bool isText(const QVariant &value)
{
    if (value.typeId() == QMetaType::QString || value.typeId() == QMetaType::QStringList)
        return true;
    if (value.typeId() != QMetaType::QVariantList)
        return false;
    const QVariantList elements = value.toList();
    return std::all_of(elements.begin(), elements.end(), [](const QVariant &element) {
        return element.typeId() == QMetaType::QString;
    });
}

// Every text value QSettings reads from the file at `path`, by section and key
// as the programs address them. Values it decodes from binary, which the
// programs never store, are left out.
Values readByQSettings(const QString &path)
{
    Values values;
    const QSettings settings(path, QSettings::IniFormat);
    for (const QString &full : settings.allKeys()) {
        // The programs' keys are plain names in a named section: a key with
        // no section, no name, or a '/' of its own is none of theirs.
        const qsizetype slash = full.indexOf(u'/');
        if (slash <= 0 || slash == full.size() - 1 || full.count(u'/') != 1)
            continue;
        // Nor is a section that no name escapes to.
        const QString section = Store::unescapeSection(full.left(slash));
        if (Store::escapeSection(section) != full.left(slash))
            continue;
        const QVariant value = settings.value(full);
        if (!isText(value))
            continue;
        const QString text = value.typeId() == QMetaType::QString
                                 ? value.toString()
                                 : value.toStringList().join(QStringLiteral(", "));
        values.insert({section, full.mid(slash + 1)}, text);
    }
    return values;
}

void checkStoreReads(const QString &path, const Values &values)
{
    const Store store(path);
    for (auto value = values.cbegin(); value != values.cend(); ++value)
        FUZZ_CHECK(store.read(value.key().first, value.key().second) == value.value());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArrayView input(reinterpret_cast<const char *>(data), qsizetype(size));
    const QString path = scratchFile("store");
    const QString repaired = scratchFile("repaired");
    writeFile(path, input);
    writeFile(repaired, storefile::withoutRunawayLines(input));
    {
        Values before = readByQSettings(repaired);
        checkStoreReads(path, before);
        Store store(path);
        layout::actions(store);
        FUZZ_CHECK(store.write(QStringLiteral("!Settings"), QStringLiteral("Fuzz"),
                               QStringLiteral("written")));
        before.insert({QStringLiteral("!Settings"), QStringLiteral("Fuzz")},
                      QStringLiteral("written"));
        const Values after = readByQSettings(path);
        checkStoreReads(path, after);
        // A hand-made key that QSettings spells its own way may turn up
        // under its own spelling as well; nothing may go or change.
        for (auto value = before.cbegin(); value != before.cend(); ++value)
            FUZZ_CHECK(after.value(value.key()) == value.value());
    }
    QFile::remove(path);
    QFile::remove(repaired);
    return 0;
}
