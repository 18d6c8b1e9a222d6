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

// The page text keeps character i when the last "<" or ">" before it is a
// ">" and character i is not itself a "<". Text after the last ">" that has
// no "<" behind it is taken back at the end.

namespace
{

bool isLetter(char16_t c, char16_t upper)
{
    return c == upper || c == upper + (u'a' - u'A');
}

// True when "ERROR 404", in any letter case, ends with the "404" that starts
// at `at`. Upper-casing maps no other character onto these letters, digits
// or the space, so this is the same test as a search of the upper-case page.
bool error404At(const char16_t *page, qsizetype size, qsizetype at)
{
    if (at < 6 || at + 3 > size || page[at + 1] != u'0' || page[at + 2] != u'4')
        return false;
    const char16_t *word = page + at - 6;
    return isLetter(word[0], u'E') && isLetter(word[1], u'R') && isLetter(word[2], u'R') &&
           isLetter(word[3], u'O') && isLetter(word[4], u'R') && word[5] == u' ';
}

// Strips a page in place: the text is never longer than the part of the page
// read so far, so each write lands on characters already read.
struct Scanner {
    char16_t *out;
    bool inText = false;
    bool error404 = false;

    // One character at a time over [p, end).
    void plain(const char16_t *p, const char16_t *end)
    {
        for (; p < end; ++p) {
            const char16_t c = *p;
            if (inText) {
                if (c == u'<')
                    inText = false;
                else
                    *out++ = c;
            } else if (c == u'>') {
                inText = true;
            }
        }
    }

    // Whole blocks of 64 characters from p on; returns where they end.
    const char16_t *vector(const char16_t *p, const char16_t *end);
    const char16_t *vectorWide(const char16_t *p, const char16_t *end);
};

#if defined(QUORLIN_VECTOR_SCAN)

// For each pattern of eight kept characters, the byte shuffle that packs them
// to the front of a sixteen-byte block.
using Shuffles = std::array<std::array<std::uint8_t, 16>, 256>;

constexpr Shuffles makeShuffles()
{
    Shuffles table{};
    for (unsigned mask = 0; mask < 256; ++mask) {
        unsigned to = 0;
        for (unsigned lane = 0; lane < 8; ++lane) {
            if (mask & (1u << lane)) {
                table[mask][to++] = std::uint8_t(2 * lane);
                table[mask][to++] = std::uint8_t(2 * lane + 1);
            }
        }
        while (to < 16)
            table[mask][to++] = 0x80; // a zero byte
    }
    return table;
}

alignas(16) constexpr Shuffles PackKept = makeShuffles();

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

// True when one of the marked characters of the 64 at p starts the "404" of
// an "ERROR 404". `before` holds the 8 characters before p.
bool error404In(const char16_t (&before)[8], const char16_t *p, const char16_t *end,
                std::uint64_t fours)
{
    char16_t window[8 + 64 + 2] = {};
    std::memcpy(window, before, sizeof before);
    std::memcpy(window + 8, p, 64 * sizeof(char16_t));
    for (qsizetype i = 64; i < 66 && p + i < end; ++i)
        window[8 + i] = p[i];
    for (; fours; fours &= fours - 1) {
        if (error404At(window, qsizetype(std::size(window)), 8 + __builtin_ctzll(fours)))
            return true;
    }
    return false;
}

// The characters of a block of 64 that the page text keeps, one bit each.
// The positions after which the scan is outside a stretch run from each "<"
// up to the next ">": adding the "<" marks to the complement of the ">" marks
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

// One bit for each of the 64 characters at p.
__attribute__((target("ssse3,popcnt"), always_inline)) inline Marks marksAt(const char16_t *p)
{
    const __m128i openChar = _mm_set1_epi16(short(u'<'));
    const __m128i closeChar = _mm_set1_epi16(short(u'>'));
    const __m128i fourChar = _mm_set1_epi16(short(u'4'));
    Marks marks;
    for (int i = 0; i < 4; ++i) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + 16 * i));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + 16 * i + 8));
        const auto bits = [&](__m128i c) {
            const __m128i equal = _mm_packs_epi16(_mm_cmpeq_epi16(a, c), _mm_cmpeq_epi16(b, c));
            return std::uint64_t(unsigned(_mm_movemask_epi8(equal))) << (16 * i);
        };
        marks.open |= bits(openChar);
        marks.close |= bits(closeChar);
        marks.fours |= bits(fourChar);
    }
    return marks;
}

// Sixty-four characters at a time, without a branch on the markup. The kept
// characters of each eight are packed with one byte shuffle. The sixteen
// bytes written may reach past the kept characters, never past the output,
// because the text is never longer than the part of the page read so far.
__attribute__((target("ssse3,popcnt"))) const char16_t *Scanner::vector(const char16_t *p,
                                                                        const char16_t *end)
{
    // Locals: the vector stores could alias the members and keep them out of
    // registers.
    char16_t *to = out;
    bool found = error404;
    std::uint64_t outsideBefore = inText ? 0 : 1;
    // The last characters of the block before, as they were before the
    // writes of the stripping reached them; an "ERROR " may begin there.
    char16_t before[8] = {};
    for (; end - p >= 64; p += 64) {
        const Marks marks = marksAt(p);
        if (const std::uint64_t starts = fourOhFours(marks); starts && !found)
            found = error404In(before, p, end, starts);
        std::memcpy(before, p + 56, sizeof before);
        const std::uint64_t keep = keptOf(marks, outsideBefore);
        for (int i = 0; i < 8; ++i) {
            const unsigned kept = unsigned(keep >> (8 * i)) & 0xFF;
            const __m128i chars = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + 8 * i));
            const __m128i shuffle =
                _mm_load_si128(reinterpret_cast<const __m128i *>(PackKept[kept].data()));
            _mm_storeu_si128(reinterpret_cast<__m128i *>(to), _mm_shuffle_epi8(chars, shuffle));
            to += _mm_popcnt_u32(kept);
        }
    }
    out = to;
    error404 = found;
    inText = outsideBefore == 0;
    return p;
}

// One bit for each of the 64 characters in `low` and `high` that equals `c`.
__attribute__((target("avx512f,avx512bw"), always_inline)) inline std::uint64_t
wideMarks(__m512i low, __m512i high, __m512i c)
{
    return std::uint64_t(_mm512_cmpeq_epi16_mask(low, c)) |
           std::uint64_t(_mm512_cmpeq_epi16_mask(high, c)) << 32;
}

// The same with 64-byte vectors: the marks come straight out of the
// comparisons as bit masks, and the kept characters of each 32 are packed
// with one compress. Each 64-byte store lies within the 32 characters just
// loaded, for the same reason as above.
__attribute__((target("avx512f,avx512bw,avx512vbmi2,popcnt"))) const char16_t *
Scanner::vectorWide(const char16_t *p, const char16_t *end)
{
    char16_t *to = out;
    bool found = error404;
    std::uint64_t outsideBefore = inText ? 0 : 1;
    char16_t before[8] = {};
    const __m512i openChar = _mm512_set1_epi16(short(u'<'));
    const __m512i closeChar = _mm512_set1_epi16(short(u'>'));
    const __m512i fourChar = _mm512_set1_epi16(short(u'4'));
    for (; end - p >= 64; p += 64) {
        const __m512i low = _mm512_loadu_si512(p);
        const __m512i high = _mm512_loadu_si512(p + 32);
        Marks marks;
        marks.open = wideMarks(low, high, openChar);
        marks.close = wideMarks(low, high, closeChar);
        marks.fours = wideMarks(low, high, fourChar);
        if (const std::uint64_t starts = fourOhFours(marks); starts && !found)
            found = error404In(before, p, end, starts);
        std::memcpy(before, p + 56, sizeof before);
        const std::uint64_t keep = keptOf(marks, outsideBefore);
        const auto keepLow = __mmask32(keep);
        const auto keepHigh = __mmask32(keep >> 32);
        _mm512_storeu_si512(to, _mm512_maskz_compress_epi16(keepLow, low));
        to += _mm_popcnt_u32(keepLow);
        _mm512_storeu_si512(to, _mm512_maskz_compress_epi16(keepHigh, high));
        to += _mm_popcnt_u32(keepHigh);
    }
    out = to;
    error404 = found;
    inText = outsideBefore == 0;
    return p;
}

bool narrowScanWorks()
{
    static const bool works = __builtin_cpu_supports("ssse3") && __builtin_cpu_supports("popcnt");
    return works;
}

bool wideScanWorks()
{
    static const bool works = narrowScanWorks() && __builtin_cpu_supports("avx512f") &&
                              __builtin_cpu_supports("avx512bw") &&
                              __builtin_cpu_supports("avx512vbmi2");
    return works;
}

#else

const char16_t *Scanner::vector(const char16_t *p, const char16_t *)
{
    return p;
}

const char16_t *Scanner::vectorWide(const char16_t *p, const char16_t *)
{
    return p;
}

bool narrowScanWorks()
{
    return false;
}

bool wideScanWorks()
{
    return false;
}

#endif

// True when the first ">" of the page has a "<" after it with at least one
// character between: then the page text cannot come out empty.
bool surelyHasText(const QString &page)
{
    const qsizetype close = page.indexOf(QLatin1Char('>'));
    return close >= 0 && page.indexOf(QLatin1Char('<'), close + 1) > close + 1;
}

bool strip(QString &page, ScanWidth width)
{
    // Where the last stretch begins when it never meets its "<": at the first
    // ">" after the last "<". Looked up before the page is overwritten.
    const qsizetype lastOpen = page.lastIndexOf(QLatin1Char('<'));
    const qsizetype lastStretch = page.indexOf(QLatin1Char('>'), lastOpen + 1);
    // The page itself is the answer when the text comes out empty.
    const QString whole = surelyHasText(page) ? QString() : page;

    const qsizetype size = page.size();
    char16_t *const chars = reinterpret_cast<char16_t *>(page.data()); // our own copy
    const char16_t *p = chars;
    const char16_t *end = chars + size;
    Scanner scanner{chars};
    // The vector scan takes whole blocks of 64 and looks for "ERROR 404" on
    // the way; the rest is looked at here, before anything is overwritten.
    const bool wide = width == ScanWidth::Widest && wideScanWorks();
    const bool narrow = !wide && width != ScanWidth::Plain && narrowScanWorks();
    const qsizetype vectorEnd = wide || narrow ? size / 64 * 64 : 0;
    scanner.error404 =
        reportsError404(QStringView(chars + std::max<qsizetype>(0, vectorEnd - 6), end));
    if (wide)
        p = scanner.vectorWide(p, end);
    else if (narrow)
        p = scanner.vector(p, end);
    scanner.plain(p, end);
    if (scanner.inText)
        scanner.out -= size - lastStretch - 1;
    page.truncate(scanner.out - chars);

    if (page.isEmpty())
        page = whole;
    return scanner.error404;
}

#if defined(__SSE2__)

// Looks at eight starting positions at a time, comparing their first and
// last characters with those of `part`, and compares the whole only where
// both match. Reads stay inside `text`.
bool containsVector(QStringView text, QStringView part)
{
    const char16_t *h = text.utf16();
    const char16_t *needle = part.utf16();
    const qsizetype n = part.size();
    const qsizetype last = n - 1;
    const __m128i first = _mm_set1_epi16(short(needle[0]));
    const __m128i final = _mm_set1_epi16(short(needle[last]));
    qsizetype i = 0;
    for (; i + last + 8 <= text.size(); i += 8) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i *>(h + i));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i *>(h + i + last));
        const __m128i both = _mm_and_si128(_mm_cmpeq_epi16(a, first), _mm_cmpeq_epi16(b, final));
        for (unsigned candidates = unsigned(_mm_movemask_epi8(both)) & 0x5555u; candidates;
             candidates &= candidates - 1) {
            const qsizetype at = i + (__builtin_ctz(candidates) >> 1);
            if (std::memcmp(h + at + 1, needle + 1, (n - 2) * sizeof(char16_t)) == 0)
                return true;
        }
    }
    return text.mid(i).contains(part);
}

#endif

#if defined(QUORLIN_VECTOR_SCAN)

// The positions among the 32 at h whose character equals `first` and whose
// character `last` places further equals `final`.
__attribute__((target("avx512f,avx512bw"), always_inline)) inline std::uint64_t
startsAt(const char16_t *h, qsizetype last, __m512i first, __m512i final)
{
    return _mm512_cmpeq_epi16_mask(_mm512_loadu_si512(h), first) &
           _mm512_cmpeq_epi16_mask(_mm512_loadu_si512(h + last), final);
}

// The same, 64 starting positions at a time with 64-byte vectors.
__attribute__((target("avx512f,avx512bw"))) bool containsWide(QStringView text, QStringView part)
{
    const char16_t *h = text.utf16();
    const char16_t *needle = part.utf16();
    const qsizetype n = part.size();
    const qsizetype last = n - 1;
    const __m512i first = _mm512_set1_epi16(short(needle[0]));
    const __m512i final = _mm512_set1_epi16(short(needle[last]));
    qsizetype i = 0;
    for (; i + last + 64 <= text.size(); i += 64) {
        for (std::uint64_t candidates = startsAt(h + i, last, first, final) |
                                        startsAt(h + i + 32, last, first, final) << 32;
             candidates; candidates &= candidates - 1) {
            const qsizetype at = i + __builtin_ctzll(candidates);
            if (std::memcmp(h + at + 1, needle + 1, (n - 2) * sizeof(char16_t)) == 0)
                return true;
        }
    }
    return text.mid(i).contains(part);
}

#endif

} // namespace

PageScan scanPage(QString page, ScanWidth width)
{
    PageScan result;
    result.error404 = strip(page, width);
    result.text = std::move(page);
    return result;
}

bool stripPage(QString &page, ScanWidth width)
{
    return strip(page, width);
}

QString pageText(const QString &page)
{
    return scanPage(page, ScanWidth::Widest).text;
}

QString pageTextPlain(const QString &page)
{
    return scanPage(page, ScanWidth::Plain).text;
}

bool containsText(QStringView text, QStringView part)
{
#if defined(QUORLIN_VECTOR_SCAN)
    if (part.size() >= 2 && text.size() >= part.size() + 64 && wideScanWorks())
        return containsWide(text, part);
#endif
#if defined(__SSE2__)
    if (part.size() >= 2 && text.size() >= part.size() + 8)
        return containsVector(text, part);
#endif
    return text.contains(part);
}

bool reportsError404(QStringView page)
{
    const char16_t *chars = page.utf16();
    for (qsizetype at = page.indexOf(QLatin1Char('4')); at >= 0;
         at = page.indexOf(QLatin1Char('4'), at + 1)) {
        if (error404At(chars, page.size(), at))
            return true;
    }
    return false;
}
