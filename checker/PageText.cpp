#include "PageText.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define QUORLIN_VECTOR_SCAN 1
#endif

// The page text keeps byte i when the last "<" or ">" before it is a ">" and
// byte i is not itself a "<". Text after the last ">" that has no "<" behind
// it is taken back at the end.

namespace
{

bool isLetter(char c, char upper)
{
    return c == upper || c == upper + ('a' - 'A');
}

// True when "ERROR 404", in any letter case, ends with the "404" that starts
// at `at`. Upper-casing maps no other character onto these letters, digits
// or the space, and no byte of another character is one of them, so this is
// the same test as a search of the upper-case page.
bool error404At(const char *page, qsizetype size, qsizetype at)
{
    if (at < 6 || at + 3 > size || page[at + 1] != '0' || page[at + 2] != '4')
        return false;
    const char *word = page + at - 6;
    return isLetter(word[0], 'E') && isLetter(word[1], 'R') && isLetter(word[2], 'R') &&
           isLetter(word[3], 'O') && isLetter(word[4], 'R') && word[5] == ' ';
}

// Strips a page in place: the text is never longer than the part of the page
// read so far, so each write lands on bytes already read.
struct Scanner {
    char *out;
    bool inText = false;
    bool error404 = false;

    // One byte at a time over [p, end).
    void plain(const char *p, const char *end)
    {
        for (; p < end; ++p) {
            const char c = *p;
            if (inText) {
                if (c == '<')
                    inText = false;
                else
                    *out++ = c;
            } else if (c == '>') {
                inText = true;
            }
        }
    }

    // Whole blocks of 64 bytes from p on; returns where they end.
    const char *vector(const char *p, const char *end);
};

#if defined(QUORLIN_VECTOR_SCAN)

// For each pattern of kept bytes among eight, the byte shuffle that packs
// them to the front.
using Shuffles = std::array<std::array<std::uint8_t, 8>, 256>;

constexpr Shuffles makeShuffles()
{
    Shuffles table{};
    for (unsigned mask = 0; mask < 256; ++mask) {
        unsigned to = 0;
        for (unsigned lane = 0; lane < 8; ++lane) {
            if (mask & (1u << lane))
                table[mask][to++] = std::uint8_t(lane);
        }
    }
    return table;
}

constexpr Shuffles PackKept = makeShuffles();

struct Marks {
    std::uint64_t open = 0;  // "<"
    std::uint64_t close = 0; // ">"
    std::uint64_t fours = 0; // "4"
};

// The "4" marks where a "404" may start: those with another "4" two places
// on, and the last two, whose followers lie in the next block. A "4" alone
// is common in text; a "4" two places before another is rare.
inline std::uint64_t fourOhFours(const Marks &marks)
{
    return marks.fours & ((marks.fours >> 2) | (std::uint64_t(3) << 62));
}

// True when one of the marked bytes of the 64 at p starts the "404" of an
// "ERROR 404". `before` holds the 8 bytes before p.
bool error404In(const char (&before)[8], const char *p, const char *end, std::uint64_t fours)
{
    char window[8 + 64 + 2] = {};
    std::memcpy(window, before, sizeof before);
    std::memcpy(window + 8, p, 64);
    for (qsizetype i = 64; i < 66 && p + i < end; ++i)
        window[8 + i] = p[i];
    for (; fours; fours &= fours - 1) {
        if (error404At(window, qsizetype(std::size(window)), 8 + __builtin_ctzll(fours)))
            return true;
    }
    return false;
}

// The bytes of a block of 64 that the page text keeps, one bit each. The
// positions after which the scan is outside a stretch run from each "<" up
// to the next ">": adding the "<" marks to the complement of the ">" marks
// carries through exactly those runs. `outsideBefore` (1 or 0) is carried
// from block to block.
inline std::uint64_t keptOf(const Marks &marks, std::uint64_t &outsideBefore)
{
    const std::uint64_t notClose = ~marks.close;
    std::uint64_t sum = 0;
    __builtin_add_overflow(notClose, marks.open, &sum);
    __builtin_add_overflow(sum, outsideBefore, &sum);
    const std::uint64_t outsideAfter = ((sum ^ notClose) & notClose) | marks.open;
    const std::uint64_t keep = ~((outsideAfter << 1) | outsideBefore) & ~marks.open;
    outsideBefore = outsideAfter >> 63;
    return keep;
}

// One bit for each of the 64 bytes at p.
__attribute__((target("ssse3,popcnt"), always_inline)) inline Marks marksAt(const char *p)
{
    const __m128i openChar = _mm_set1_epi8('<');
    const __m128i closeChar = _mm_set1_epi8('>');
    const __m128i fourChar = _mm_set1_epi8('4');
    Marks marks;
    for (int i = 0; i < 4; ++i) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + 16 * i));
        const auto bits = [&](__m128i c) {
            return std::uint64_t(unsigned(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, c)))) << (16 * i);
        };
        marks.open |= bits(openChar);
        marks.close |= bits(closeChar);
        marks.fours |= bits(fourChar);
    }
    return marks;
}

// Sixty-four bytes at a time, without a branch on the markup. The kept bytes
// of each eight are packed with one byte shuffle. The eight bytes written may
// reach past the kept bytes, never past the eight just read, because the
// text is never longer than the part of the page read so far.
__attribute__((target("ssse3,popcnt"))) const char *Scanner::vector(const char *p, const char *end)
{
    // Locals: the vector stores could alias the members and keep them out of
    // registers.
    char *to = out;
    bool found = error404;
    std::uint64_t outsideBefore = inText ? 0 : 1;
    // The last bytes of the block before, as they were before the writes of
    // the stripping reached them; an "ERROR " may begin there.
    char before[8] = {};
    for (; end - p >= 64; p += 64) {
        const Marks marks = marksAt(p);
        if (const std::uint64_t starts = fourOhFours(marks); starts && !found)
            found = error404In(before, p, end, starts);
        std::memcpy(before, p + 56, sizeof before);
        const std::uint64_t keep = keptOf(marks, outsideBefore);
        for (int i = 0; i < 8; ++i) {
            const unsigned kept = unsigned(keep >> (8 * i)) & 0xFF;
            const __m128i bytes = _mm_loadl_epi64(reinterpret_cast<const __m128i *>(p + 8 * i));
            const __m128i shuffle =
                _mm_loadl_epi64(reinterpret_cast<const __m128i *>(PackKept[kept].data()));
            _mm_storel_epi64(reinterpret_cast<__m128i *>(to), _mm_shuffle_epi8(bytes, shuffle));
            to += _mm_popcnt_u32(kept);
        }
    }
    out = to;
    error404 = found;
    inText = outsideBefore == 0;
    return p;
}

#else

const char *Scanner::vector(const char *p, const char *)
{
    return p;
}

#endif

// True when the first ">" of the page has a "<" after it with at least one
// byte between: then the page text cannot come out empty.
bool surelyHasText(const QByteArray &page)
{
    const qsizetype close = page.indexOf('>');
    return close >= 0 && page.indexOf('<', close + 1) > close + 1;
}

bool strip(QByteArray &page, ScanWidth width)
{
    // Where the last stretch begins when it never meets its "<": at the first
    // ">" after the last "<". Looked up before the page is overwritten.
    const qsizetype lastOpen = page.lastIndexOf('<');
    const qsizetype lastStretch = page.indexOf('>', lastOpen + 1);
    // The page itself is the answer when the text comes out empty.
    const QByteArray whole = surelyHasText(page) ? QByteArray() : page;

    const qsizetype size = page.size();
    char *const bytes = page.data(); // our own copy
    const char *p = bytes;
    const char *end = bytes + size;
    Scanner scanner{bytes};
    // The vector scan takes whole blocks of 64 and looks for "ERROR 404" on
    // the way; the rest is looked at here, before anything is overwritten.
    const bool vector = width == ScanWidth::Vector && vectorScanWorks();
    const qsizetype vectorEnd = vector ? size / 64 * 64 : 0;
    scanner.error404 =
        reportsError404(QByteArrayView(bytes + std::max<qsizetype>(0, vectorEnd - 6), end));
    if (vector) {
        clearUpperVectorHalves();
        p = scanner.vector(p, end);
    }
    scanner.plain(p, end);
    if (scanner.inText)
        scanner.out -= size - lastStretch - 1;
    page.truncate(scanner.out - bytes);

    if (page.isEmpty())
        page = whole;
    return scanner.error404;
}

#if defined(__SSE2__)

// Looks at sixteen starting positions at a time, comparing their first and
// last bytes with those of `part`, and compares the whole only where both
// match. Reads stay inside `text`.
bool containsVector(QByteArrayView text, QByteArrayView part)
{
    const char *h = text.data();
    const char *needle = part.data();
    const qsizetype n = part.size();
    const qsizetype last = n - 1;
    const __m128i first = _mm_set1_epi8(needle[0]);
    const __m128i final = _mm_set1_epi8(needle[last]);
    clearUpperVectorHalves();
    qsizetype i = 0;
    for (; i + last + 16 <= text.size(); i += 16) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i *>(h + i));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i *>(h + i + last));
        const __m128i both = _mm_and_si128(_mm_cmpeq_epi8(a, first), _mm_cmpeq_epi8(b, final));
        for (unsigned candidates = unsigned(_mm_movemask_epi8(both)); candidates;
             candidates &= candidates - 1) {
            const qsizetype at = i + __builtin_ctz(candidates);
            if (std::memcmp(h + at + 1, needle + 1, size_t(n - 2)) == 0)
                return true;
        }
    }
    return text.sliced(i).contains(part);
}

#endif

} // namespace

PageScan scanPage(QByteArray page, ScanWidth width)
{
    PageScan result;
    result.error404 = strip(page, width);
    result.text = std::move(page);
    return result;
}

bool stripPage(QByteArray &page, ScanWidth width)
{
    return strip(page, width);
}

bool containsText(QByteArrayView text, QByteArrayView part)
{
#if defined(__SSE2__)
    if (part.size() >= 2 && text.size() >= part.size() + 16)
        return containsVector(text, part);
#endif
    return text.contains(part);
}

bool reportsError404(QByteArrayView page)
{
    const char *bytes = page.data();
    for (qsizetype at = page.indexOf('4'); at >= 0; at = page.indexOf('4', at + 1)) {
        if (error404At(bytes, page.size(), at))
            return true;
    }
    return false;
}
