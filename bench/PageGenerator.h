#pragma once

#include <QByteArray>

// A realistic web page of about `size` bytes in UTF-8: a head with styles and
// scripts, navigation lists, headings, paragraphs with links and a little
// non-ASCII text, tables and comments. The same seed gives the same page.
QByteArray generatePage(qsizetype size, quint32 seed = 1);

// A page of about `size` bytes that is nearly all markup: nested tags with
// attributes and a character or two between them, the check string
// "version 2.25" near its end.
QByteArray generateMarkupPage(qsizetype size, quint32 seed = 1);
