#pragma once

#include <QByteArrayView>

// Decodes UTF-8 into UTF-16 at `out` exactly as Qt's UTF-8 decoder does in
// one call: a byte-order mark at the start is skipped, each byte that does not
// begin a valid sequence (overlong, surrogate, past U+10FFFF, a stray
// continuation byte) becomes one U+FFFD, and a sequence cut off by the end of
// the bytes is left out. Runs of ASCII are widened many bytes at a time,
// which is most of a web page. `out` must have room for `bytes.size()`
// characters: there are never more. Returns the end of what was written.
char16_t *decodeUtf8(QByteArrayView bytes, char16_t *out);
