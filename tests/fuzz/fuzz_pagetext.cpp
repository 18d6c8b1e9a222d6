#include "FuzzCheck.h"
#include "PageText.h"

#include <QByteArray>
#include <QString>
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

// The first byte chooses how the rest becomes a page: as UTF-8, or as raw
// UTF-16 code units (lone surrogates and all).
QString pageOf(const uint8_t *data, size_t size)
{
    if (size == 0)
        return {};
    const auto *rest = reinterpret_cast<const char *>(data + 1);
    const qsizetype length = qsizetype(size - 1);
    if (data[0] % 2 == 0)
        return QString::fromUtf8(rest, length);
    QString page(length / 2, Qt::Uninitialized);
    for (qsizetype i = 0; i < page.size(); ++i)
        page[i] = QChar(char16_t(uint8_t(rest[2 * i]) | uint8_t(rest[2 * i + 1]) << 8));
    return page;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString page = pageOf(data, size);
    const QString expected = referenceText(page);
    const bool error404 = referenceError404(page);

    FUZZ_CHECK(pageText(page) == expected);
    FUZZ_CHECK(pageTextPlain(page) == expected);
    FUZZ_CHECK(reportsError404(page) == error404);
    const PageScan scan = scanPage(page);
    FUZZ_CHECK(scan.text == expected);
    FUZZ_CHECK(scan.error404 == error404);
    // The check string search: a piece of the page, and that piece changed.
    if (!page.isEmpty()) {
        const qsizetype from = qsizetype(data[0]) % page.size();
        const QString part = page.mid(from, qsizetype(size) % 40);
        FUZZ_CHECK(containsText(expected, part) == QStringView(expected).contains(part));
        FUZZ_CHECK(containsText(page, part));
        const QString other = part + QChar(u'\x7f');
        FUZZ_CHECK(containsText(page, other) == QStringView(page).contains(other));
    }
    return 0;
}
