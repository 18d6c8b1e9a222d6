#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include "VectorScan.h"

// A downloaded page, as UTF-8, with its markup removed: every stretch of bytes
// that lies between a ">" and the next "<", joined without separators. Text
// before the first ">" and after the last ">" with no "<" behind it is left
// out; character references, comments and scripts get no special treatment.
// When that leaves nothing, the page text is the whole page. No byte of a
// character beyond ASCII is a "<" or ">", so the text is UTF-8 too, and the
// same text as that of the page read as characters.

// True when the page, taken in upper case, contains "ERROR 404" anywhere,
// markup included: the page counts as a failed download.
bool reportsError404(QByteArrayView page);

// Both of the above in one pass over the page. The text is built in the
// page's own memory when the page is not shared: hand it over with std::move.
struct PageScan {
    QByteArray text;
    bool error404 = false;
};
PageScan scanPage(QByteArray page, ScanWidth width = ScanWidth::Vector);
// The same in the page's own memory: `page` becomes its page text, and the
// result says whether it reported "ERROR 404". Memory the page shares with
// another holder is not written into.
bool stripPage(QByteArray &page, ScanWidth width = ScanWidth::Vector);

// True when `part` occurs in `text`: case-sensitive, literal, the same answer
// as QByteArrayView::contains, quicker on long pages. An empty part is in
// every text. For UTF-8 text and part, the same answer as the search among
// their characters.
bool containsText(QByteArrayView text, QByteArrayView part);
