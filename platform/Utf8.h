#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

// Makes `bytes` the UTF-8 of what Qt's UTF-8 decoder reads them as in one
// call: a byte-order mark at the start is dropped, each byte that does not
// begin a valid sequence (overlong, surrogate, past U+10FFFF, a stray
// continuation byte) becomes one U+FFFD, and a sequence cut off by the end of
// the bytes is left out. Valid UTF-8, nearly every page, is only read, ASCII
// sixteen bytes at a time, and its memory is not touched.
void makeValidUtf8(QByteArray &bytes);

// Text as UTF-8; a surrogate without its other half becomes U+FFFD.
QByteArray utf8Of(QStringView text);

// UTF-8 as text; a byte-order mark at the start stays the character it is.
QString textOfUtf8(QByteArrayView utf8);
