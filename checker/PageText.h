#pragma once

#include <QString>
#include <QStringView>

// A downloaded page with its markup removed: every stretch of characters that
// lies between a ">" and the next "<", joined without separators. Text before
// the first ">" and after the last ">" with no "<" behind it is left out;
// character references, comments and scripts get no special treatment. When
// that leaves nothing, the page text is the whole page.
QString pageText(const QString &page);
// The same, one character at a time: for machines without the vector
// instructions pageText() uses, and as its reference in tests.
QString pageTextPlain(const QString &page);

// True when the page, taken in upper case, contains "ERROR 404" anywhere,
// markup included: the page counts as a failed download.
bool reportsError404(QStringView page);

// Both of the above in one pass over the page. The text is built in the
// page's own memory when the page is not shared: hand it over with std::move.
struct PageScan {
    QString text;
    bool error404 = false;
};
// The widest instructions the scan may use; each machine uses the widest it
// has of these. All give the same answer (tests compare them).
enum class ScanWidth {
    Plain,  // one character at a time
    Narrow, // 16-byte vectors (SSSE3)
    Widest, // 64-byte vectors that compress the kept characters (AVX-512 VBMI2)
};
PageScan scanPage(QString page, ScanWidth width = ScanWidth::Widest);
// The same in the page's own memory: `page` becomes its page text, and the
// result says whether it reported "ERROR 404". Memory the page shares with
// another holder is not written into.
bool stripPage(QString &page, ScanWidth width = ScanWidth::Widest);

// True when `part` occurs in `text`: case-sensitive, literal, the same answer
// as QStringView::contains, quicker on long pages. An empty part is in every
// text.
bool containsText(QStringView text, QStringView part);
