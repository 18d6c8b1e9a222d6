#include "Utf8Decode.h"

#include <QChar>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace
{

using Byte = unsigned char;

bool isContinuation(Byte b)
{
    return (b & 0xC0) == 0x80;
}

// Widens the ASCII bytes from `p` up to the first byte that is not ASCII, or
// the end; returns where that byte is. Sixteen bytes are widened at a time
// and all sixteen written even when fewer are ASCII: the next character
// overwrites the rest. No character gives more UTF-16 units than it has
// bytes, so the text written never runs ahead of the bytes read, and sixteen
// units still fit wherever sixteen bytes are left.
const Byte *widenAscii(const Byte *p, const Byte *end, char16_t *&out)
{
#if defined(__SSE2__)
    const __m128i zero = _mm_setzero_si128();
    while (end - p >= 16) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
        _mm_storeu_si128(reinterpret_cast<__m128i *>(out), _mm_unpacklo_epi8(bytes, zero));
        _mm_storeu_si128(reinterpret_cast<__m128i *>(out + 8), _mm_unpackhi_epi8(bytes, zero));
        // The top bit of each byte: set on every byte that is not ASCII.
        const unsigned notAscii = unsigned(_mm_movemask_epi8(bytes));
        if (notAscii != 0) {
            const int ascii = __builtin_ctz(notAscii);
            out += ascii;
            return p + ascii;
        }
        p += 16;
        out += 16;
    }
#endif
    while (p < end && *p < 0x80)
        *out++ = *p++;
    return p;
}

// Decodes the character whose lead byte, not ASCII, is at `p`; returns where
// the next one starts, or null when the bytes end inside this one.
const Byte *decodeSequence(const Byte *p, const Byte *end, char16_t *&out)
{
    const Byte lead = *p;
    int length = 0;
    char32_t least = 0;
    char32_t code = 0;
    // 0xC0 and 0xC1 could only begin overlong forms; past 0xF4 lies beyond U+10FFFF.
    if (lead < 0xC2 || lead > 0xF4) {
        *out++ = QChar::ReplacementCharacter;
        return p + 1;
    }
    if (lead < 0xE0) {
        length = 2;
        least = 0x80;
        code = lead & 0x1F;
    } else if (lead < 0xF0) {
        length = 3;
        least = 0x800;
        code = lead & 0x0F;
    } else {
        length = 4;
        least = 0x10000;
        code = lead & 0x07;
    }
    for (int i = 1; i < length; ++i) {
        if (p + i == end)
            return nullptr;
        if (!isContinuation(p[i])) {
            *out++ = QChar::ReplacementCharacter;
            return p + 1;
        }
        code = code << 6 | (p[i] & 0x3F);
    }
    if (code < least || QChar::isSurrogate(code) || code > QChar::LastValidCodePoint) {
        *out++ = QChar::ReplacementCharacter;
        return p + 1;
    }
    if (QChar::requiresSurrogates(code)) {
        *out++ = QChar::highSurrogate(code);
        *out++ = QChar::lowSurrogate(code);
    } else {
        *out++ = char16_t(code);
    }
    return p + length;
}

} // namespace

char16_t *decodeUtf8(QByteArrayView bytes, char16_t *out)
{
    const auto *p = reinterpret_cast<const Byte *>(bytes.data());
    const Byte *const end = p + bytes.size();
    if (bytes.startsWith("\xEF\xBB\xBF"))
        p += 3;
    while (p != nullptr && p < end) {
        p = widenAscii(p, end, out);
        if (p < end)
            p = decodeSequence(p, end, out);
    }
    return out;
}
