#include "ConnectionTest.h"
#include "FuzzCheck.h"

#include <QByteArray>
#include <QFile>
#include <cstdint>

// The route tables read by the connection test, made of arbitrary bytes: the
// IPv4 table, then after the first NUL byte the IPv6 one.

namespace
{

QString tableFile(const QByteArray &contents)
{
    const QString path = scratchFile("routes");
    QFile file(path);
    if (file.open(QIODevice::WriteOnly))
        file.write(contents);
    return path;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    const qsizetype split = bytes.indexOf('\0');
    const QString ipv4 = tableFile(split < 0 ? bytes : bytes.left(split));
    const QString ipv6 = tableFile(split < 0 ? QByteArray() : bytes.mid(split + 1));
    const bool connected = ConnectionTest(ipv4, ipv6).connected();
    // The answer depends on the tables alone.
    FUZZ_CHECK(ConnectionTest(ipv4, ipv6).connected() == connected);
    QFile::remove(ipv4);
    QFile::remove(ipv6);
    return 0;
}
