#include "FuzzCheck.h"
#include "PageDownload.h"
#include "Utf8.h"

#include <QByteArray>
#include <QStringDecoder>
#include <cstdint>

// A body and its Content-Type, both from the server, turned into UTF-8: any
// charset label, any declaration in the page, any bytes. The first byte is the
// length of the Content-Type value that follows it; the rest is the body.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    const auto *text = reinterpret_cast<const char *>(data);
    const qsizetype typeLength = qMin(qsizetype(data[0]), qsizetype(size) - 1);
    const QByteArray contentType(text + 1, typeLength);
    const QByteArray body(text + 1 + typeLength, qsizetype(size) - 1 - typeLength);
    const QByteArray decoded = PageDownload::decode(body, contentType);
    // No charset turns a byte into more than a few characters of three bytes.
    FUZZ_CHECK(decoded.size() <= 3 * (4 * body.size() + 16));
    // Whatever the charset, the result is UTF-8 as Qt's encoder writes it.
    FUZZ_CHECK(utf8Of(textOfUtf8(decoded)) == decoded);
    // A body taken as UTF-8 is the UTF-8 of what Qt's decoder reads in it.
    QByteArray checked = body;
    makeValidUtf8(checked);
    FUZZ_CHECK(checked == utf8Of(QString(QStringDecoder(QStringConverter::Utf8).decode(body))));
    return 0;
}
