#include "FuzzCheck.h"
#include "PageText.h"
#include "Utf8.h"

#include <QByteArray>
#include <QString>
#include <QStringDecoder>
#include <cstdint>

// The page text and the "ERROR 404" test against a reference written
// straight from the rules: find the first ">" at or after the open position,
// then the first "<" at or after it, take what lies between, and go on from
// that "<"; when nothing was taken, the page text is the whole page.

namespace
{

QString referenceText(const QString &page)
{
    QString text;
    qsizetype open = 0;
    for (;;) {
        const qsizetype close = page.indexOf(u'>', open);
        if (close < 0)
            break;
        open = page.indexOf(u'<', close);
        if (open < 0)
            break;
        text += page.mid(close + 1, open - close - 1);
    }
    return text.isEmpty() ? page : text;
}

bool referenceError404(const QString &page)
{
    return page.toUpper().contains(QLatin1String("ERROR 404"));
}

} // namespace

// The input is a body as a server sends it. The checker reads it as UTF-8
// and works on those bytes; the reference works on the characters Qt's
// decoder reads in the same body, as the checker once did, and both must
// give the same answers.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray body(reinterpret_cast<const char *>(data), qsizetype(size));
    QByteArray bytes = body;
    makeValidUtf8(bytes);
    const QString page = QStringDecoder(QStringConverter::Utf8).decode(body);
    const QString expected = referenceText(page);
    const bool error404 = referenceError404(page);

    for (const ScanWidth width : {ScanWidth::Plain, ScanWidth::Vector}) {
        const PageScan scan = scanPage(bytes, width);
        FUZZ_CHECK(scan.text == utf8Of(expected));
        FUZZ_CHECK(scan.error404 == error404);
    }
    FUZZ_CHECK(reportsError404(bytes) == error404);
    // The check string search: a piece of the page, and that piece changed.
    if (!page.isEmpty()) {
        const qsizetype from = qsizetype(data[0]) % page.size();
        const QString part = page.mid(from, qsizetype(size) % 40);
        // A piece cut through a character pair is no check string.
        if (!part.isValidUtf16())
            return 0;
        const QByteArray text = utf8Of(expected);
        FUZZ_CHECK(containsText(text, utf8Of(part)) == QStringView(expected).contains(part));
        FUZZ_CHECK(containsText(bytes, utf8Of(part)));
        const QString other = part + QChar(u'\x7f');
        FUZZ_CHECK(containsText(bytes, utf8Of(other)) == QStringView(page).contains(other));
    }
    return 0;
}
