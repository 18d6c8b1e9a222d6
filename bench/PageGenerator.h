#pragma once

#include <QByteArray>

// A realistic web page of about `size` bytes in UTF-8: a head with styles and
// scripts, navigation lists, headings, paragraphs with links and a little
// non-ASCII text, tables and comments. The same seed gives the same page.
QByteArray generatePage(qsizetype size, quint32 seed = 1);
