#include "PageText.h"

#include <cstring>

namespace
{

// The index of the first `c` at or after `from`, or -1. QStringView::indexOf
// scans with vector instructions, which keeps the stripping close to the
// speed of a bare pass over the page.
qsizetype find(QStringView text, char16_t c, qsizetype from)
{
    return text.indexOf(QChar(c), from);
}

bool isLetter(QChar c, char16_t upper)
{
    return c.unicode() == upper || c.unicode() == upper + (u'a' - u'A');
}

} // namespace

QString pageText(const QString &page)
{
    const QStringView view(page);
    QString text;
    // The text can never be longer than the page; pages of memory past what
    // is written are never touched.
    text.resize(page.size());
    QChar *out = text.data();
    qsizetype from = 0;
    for (;;) {
        const qsizetype close = find(view, u'>', from);
        if (close < 0)
            break;
        const qsizetype open = find(view, u'<', close + 1);
        if (open < 0)
            break;
        const qsizetype length = open - close - 1;
        std::memcpy(static_cast<void *>(out), view.data() + close + 1, length * sizeof(QChar));
        out += length;
        from = open + 1;
    }
    text.truncate(out - text.constData());
    if (text.isEmpty())
        return page;
    return text;
}

bool reportsError404(QStringView page)
{
    // Upper-casing maps no other character onto the letters, the digits or
    // the space of "ERROR 404", so a search for "404" with the five letters
    // and the space before it compared in either case gives the same answer
    // without making an upper-case copy of the page.
    static constexpr char16_t Word[] = u"ERROR ";
    constexpr qsizetype WordLength = 6;
    qsizetype from = WordLength;
    for (;;) {
        const qsizetype at = page.indexOf(u"404", from);
        if (at < 0)
            return false;
        bool matches = true;
        for (qsizetype i = 0; i < WordLength && matches; ++i) {
            const char16_t wanted = Word[i];
            const QChar c = page[at - WordLength + i];
            matches = wanted == u' ' ? c.unicode() == u' ' : isLetter(c, wanted);
        }
        if (matches)
            return true;
        from = at + 1;
    }
}
