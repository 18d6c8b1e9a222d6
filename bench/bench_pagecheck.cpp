// The path from a downloaded body to the decision on it: decode the bytes to
// text, strip the markup and look for "ERROR 404" in the same pass, search the
// check string in the page text. Beside it, on the same page, the floor: one
// pass over the page's characters that finds every ">" and "<" and does
// nothing else. Rates are in bytes of the body per second.

#include "PageDownload.h"
#include "PageGenerator.h"
#include "PageText.h"

#include <algorithm>
#include <benchmark/benchmark.h>
#include <emmintrin.h>

namespace
{

constexpr qsizetype PageSize = 10 * 1000 * 1000;
const QByteArray ContentType = "text/html; charset=utf-8";
const QString Check = QStringLiteral("version 2.25");

const QByteArray &body()
{
    static const QByteArray page = generatePage(PageSize);
    return page;
}

const QString &decodedPage()
{
    static const QString page = PageDownload::decode(body(), ContentType);
    return page;
}

bool decide(const QByteArray &bytes)
{
    QString page = PageDownload::decode(bytes, ContentType);
    if (page.isEmpty())
        return false;
    const PageScan scanned = scanPage(std::move(page));
    return !scanned.error404 && containsText(scanned.text, Check);
}

void wholePath(benchmark::State &state)
{
    const QByteArray &bytes = body();
    if (!decide(bytes))
        state.SkipWithError("the check string was not found");
    for (auto _ : state)
        benchmark::DoNotOptimize(decide(bytes));
    state.SetBytesProcessed(state.iterations() * bytes.size());
}

// Every '>' and '<' of the page, found one character at a time.
void floorPass(benchmark::State &state)
{
    const QString &page = decodedPage();
    for (auto _ : state) {
        qsizetype found = 0;
        for (const QChar c : page) {
            if (c == u'>' || c == u'<')
                ++found;
        }
        benchmark::DoNotOptimize(found);
    }
    state.SetBytesProcessed(state.iterations() * body().size());
}

// The same count eight characters at a time: what finding the markup costs
// at the least on this machine, for comparison.
void floorVector(benchmark::State &state)
{
    const QString &page = decodedPage();
    const auto *chars = reinterpret_cast<const __m128i *>(page.utf16());
    const qsizetype blocks = page.size() / 8;
    const __m128i open = _mm_set1_epi16(short(u'<'));
    const __m128i close = _mm_set1_epi16(short(u'>'));
    for (auto _ : state) {
        // Each lane counts down by one per mark; summed every 4096 blocks,
        // before a 16-bit lane can overflow.
        qsizetype found = 0;
        for (qsizetype start = 0; start < blocks; start += 4096) {
            __m128i counts = _mm_setzero_si128();
            for (qsizetype i = start; i < std::min(blocks, start + 4096); ++i) {
                const __m128i block = _mm_loadu_si128(chars + i);
                counts = _mm_sub_epi16(counts, _mm_or_si128(_mm_cmpeq_epi16(block, open),
                                                            _mm_cmpeq_epi16(block, close)));
            }
            alignas(16) quint16 lanes[8];
            _mm_store_si128(reinterpret_cast<__m128i *>(lanes), counts);
            for (const quint16 lane : lanes)
                found += lane;
        }
        benchmark::DoNotOptimize(found);
    }
    state.SetBytesProcessed(state.iterations() * body().size());
}

// The parts, to see where the time of the whole path goes.
void decodeOnly(benchmark::State &state)
{
    const QByteArray &bytes = body();
    for (auto _ : state)
        benchmark::DoNotOptimize(PageDownload::decode(bytes, ContentType));
    state.SetBytesProcessed(state.iterations() * bytes.size());
}

void scanOnly(benchmark::State &state)
{
    const QString &page = decodedPage();
    for (auto _ : state)
        benchmark::DoNotOptimize(scanPage(page));
    state.SetBytesProcessed(state.iterations() * body().size());
}

void checkSearchOnly(benchmark::State &state)
{
    const QString text = pageText(decodedPage());
    for (auto _ : state)
        benchmark::DoNotOptimize(containsText(text, Check));
    state.SetBytesProcessed(state.iterations() * body().size());
}

} // namespace

BENCHMARK(floorPass)->Unit(benchmark::kMillisecond);
BENCHMARK(floorVector)->Unit(benchmark::kMillisecond);
BENCHMARK(wholePath)->Unit(benchmark::kMillisecond);
BENCHMARK(decodeOnly)->Unit(benchmark::kMillisecond);
BENCHMARK(scanOnly)->Unit(benchmark::kMillisecond);
BENCHMARK(checkSearchOnly)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
