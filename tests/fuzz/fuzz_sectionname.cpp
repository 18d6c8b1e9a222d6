#include "FuzzCheck.h"
#include "Store.h"
#include "StoreFile.h"

#include <QByteArray>
#include <QFile>
#include <QString>
#include <cstdint>

// Section names as the store hands them to QSettings: the escaping goes back
// to the name exactly, two names never meet in one escaped form, and through a
// real store file each of two names keeps its own value. The input is two
// names in UTF-8, split at the first NUL byte.

namespace
{

void checkEscaping(const QString &name)
{
    const QString escaped = Store::escapeSection(name);
    FUZZ_CHECK(Store::unescapeSection(escaped) == name);
    FUZZ_CHECK(!escaped.contains(u'/'));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    const qsizetype split = bytes.indexOf('\0');
    const QString first = QString::fromUtf8(split < 0 ? bytes : bytes.left(split));
    const QString second = split < 0 ? QString() : QString::fromUtf8(bytes.mid(split + 1));
    checkEscaping(first);
    checkEscaping(second);
    if (first != second)
        FUZZ_CHECK(Store::escapeSection(first) != Store::escapeSection(second));
    // Descriptions are never empty: the editor refuses an empty one.
    if (first.isEmpty() || second.isEmpty() || first == second)
        return 0;

    const QString path = scratchFile("names");
    {
        Store store(path);
        FUZZ_CHECK(store.write(first, QStringLiteral("URL"), QStringLiteral("first")));
        FUZZ_CHECK(store.write(second, QStringLiteral("URL"), QStringLiteral("second")));
        const Store reader(path);
        FUZZ_CHECK(reader.read(first, QStringLiteral("URL")) == QLatin1String("first"));
        FUZZ_CHECK(reader.read(second, QStringLiteral("URL")) == QLatin1String("second"));
        QFile file(path);
        FUZZ_CHECK(file.open(QIODevice::ReadOnly));
        FUZZ_CHECK(!storefile::hasRunawayLines(file.readAll()));
    }
    QFile::remove(path);
    return 0;
}
