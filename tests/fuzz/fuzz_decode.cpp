#include "FuzzCheck.h"
#include "PageDownload.h"
#include "Utf8Decode.h"

#include <QByteArray>
#include <QStringDecoder>
#include <cstdint>

// A body and its Content-Type, both from the server, decoded to text: any
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
    const QString decoded = PageDownload::decode(body, contentType);
    // No charset turns a byte into more than a few characters.
    if (decoded.size() > 4 * body.size() + 16)
        __builtin_trap();
    // The page's own UTF-8 decoder reads every body as Qt's decoder does.
    QString own(body.size(), Qt::Uninitialized);
    auto *start = reinterpret_cast<char16_t *>(own.data());
    own.truncate(decodeUtf8(body, start) - start);
    FUZZ_CHECK(own == QStringDecoder(QStringConverter::Utf8).decode(body));
    return 0;
}
