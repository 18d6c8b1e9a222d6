#pragma once

#include <QString>
#include <QStringView>

// A downloaded page with its markup removed: every stretch of characters that
// lies between a ">" and the next "<", joined without separators. Text before
// the first ">" and after the last ">" with no "<" behind it is left out;
// character references, comments and scripts get no special treatment. When
// that leaves nothing, the page text is the whole page.
QString pageText(const QString &page);

// True when the page, taken in upper case, contains "ERROR 404" anywhere,
// markup included: the page counts as a failed download.
bool reportsError404(QStringView page);
