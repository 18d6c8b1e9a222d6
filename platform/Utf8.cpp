#include "Utf8.h"

#include "VectorScan.h"

#include <QChar>
#include <QStringDecoder>
#include <QStringEncoder>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace
{

using Byte = unsigned char;

const char ByteOrderMark[] = "\xEF\xBB\xBF";
const char ReplacementCharacter[] = "\xEF\xBF\xBD";

bool isContinuation(Byte b)
{
    return (b & 0xC0) == 0x80;
}

// The first byte from `p` on that is not ASCII, or the end: sixteen bytes
// are looked at a time.
const Byte *skipAscii(const Byte *p, const Byte *end)
{
#if defined(__SSE2__)
    while (end - p >= 16) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
        // The top bit of each byte: set on every byte that is not ASCII.
        if (const unsigned notAscii = unsigned(_mm_movemask_epi8(bytes)); notAscii != 0)
            return p + __builtin_ctz(notAscii);
        p += 16;
    }
#endif
    while (p < end && *p < 0x80)
        ++p;
    return p;
}

// What sequenceAt() finds besides the length of a valid sequence: one that
// the end of the bytes cuts off, and a byte that begins no valid sequence.
constexpr int CutOff = 0;
constexpr int Invalid = -1;

// What the bytes at `p`, whose lead byte is not ASCII, hold.
int sequenceAt(const Byte *p, const Byte *end)
{
    const Byte lead = *p;
    // 0xC0 and 0xC1 could only begin overlong forms; past 0xF4 lies beyond U+10FFFF.
    if (lead < 0xC2 || lead > 0xF4)
        return Invalid;
    const int length = lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
    const char32_t least = length == 2 ? 0x80 : length == 3 ? 0x800 : 0x10000;
    char32_t code = lead & (0x7F >> length);
    for (int i = 1; i < length; ++i) {
        if (p + i == end)
            return CutOff;
        if (!isContinuation(p[i]))
            return Invalid;
        code = code << 6 | (p[i] & 0x3F);
    }
    if (code < least || QChar::isSurrogate(code) || code > QChar::LastValidCodePoint)
        return Invalid;
    return length;
}

// The first byte from `p` on that is not part of valid UTF-8, or the end.
const Byte *validUpTo(const Byte *p, const Byte *end)
{
    for (p = skipAscii(p, end); p < end; p = skipAscii(p, end)) {
        const int length = sequenceAt(p, end);
        if (length <= 0)
            return p;
        p += length;
    }
    return p;
}

// The bytes from the first fault on, written anew after the valid part
// before it. Room is taken for a few faults; each takes three bytes.
QByteArray mended(QByteArrayView valid, const Byte *p, const Byte *end)
{
    QByteArray out;
    out.reserve(valid.size() + (end - p) + 64);
    out.append(valid);
    while (p < end) {
        const Byte *ascii = skipAscii(p, end);
        out.append(reinterpret_cast<const char *>(p), ascii - p);
        if ((p = ascii) == end)
            break;
        const int length = sequenceAt(p, end);
        if (length == CutOff)
            break;
        if (length == Invalid) {
            out.append(ReplacementCharacter, 3);
            ++p;
        } else {
            out.append(reinterpret_cast<const char *>(p), length);
            p += length;
        }
    }
    return out;
}

} // namespace

void makeValidUtf8(QByteArray &bytes)
{
    const qsizetype skipped = bytes.startsWith(ByteOrderMark) ? 3 : 0;
    const auto *start = reinterpret_cast<const Byte *>(bytes.constData()) + skipped;
    const Byte *const end = reinterpret_cast<const Byte *>(bytes.constData()) + bytes.size();
    clearUpperVectorHalves();
    const Byte *const fault = validUpTo(start, end);
    if (fault != end)
        bytes = mended(QByteArrayView(start, fault), fault, end);
    else if (skipped)
        bytes.remove(0, skipped);
}

QByteArray utf8Of(QStringView text)
{
    return QStringEncoder(QStringConverter::Utf8).encode(text);
}

QString textOfUtf8(QByteArrayView utf8)
{
    return QStringDecoder(QStringConverter::Utf8, QStringConverter::Flag::ConvertInitialBom)
        .decode(utf8);
}
