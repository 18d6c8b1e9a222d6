// The page text plus the check-string search over a 10 MB page, beside the
// floor of any pass over the same bytes: one memchr for a byte the bytes do
// not hold. Two pages: a realistic one and one that is nearly all markup.
// Every rate is in bytes of the page as downloaded (UTF-8) per second.
//
//   memchr           one pass over the page as downloaded
//   pageText+search  the page text and the check-string search, in the
//                    memory the page was downloaded into
//   utf8Check        the check that the downloaded page is valid UTF-8
//   wholePath        the check, page text and search: body to decision

#include "PageDownload.h"
#include "PageGenerator.h"
#include "PageText.h"

#include <array>
#include <benchmark/benchmark.h>
#include <cstring>

namespace
{

constexpr qsizetype PageSize = 10 * 1000 * 1000;
const QByteArray ContentType = "text/html; charset=utf-8";
const QByteArray Check = "version 2.25";

const QByteArray &page(bool markup)
{
    static const QByteArray realistic = generatePage(PageSize);
    static const QByteArray allMarkup = generateMarkupPage(PageSize);
    return markup ? allMarkup : realistic;
}

// Turns `page` into its page text in place and looks for the check string.
bool decide(QByteArray &page)
{
    return !stripPage(page) && containsText(page, Check);
}

// A byte value that does not occur in `bytes`: memchr then reads every byte.
unsigned char absentByte(const QByteArray &bytes)
{
    std::array<bool, 256> seen{};
    for (const char c : bytes)
        seen[static_cast<unsigned char>(c)] = true;
    for (unsigned value = 255; value > 0; --value) {
        if (!seen[value])
            return static_cast<unsigned char>(value);
    }
    return 0;
}

void memchrPass(benchmark::State &state, bool markup)
{
    const QByteArray &body = page(markup);
    const unsigned char absent = absentByte(body);
    if (std::memchr(body.constData(), absent, size_t(body.size())))
        state.SkipWithError("no byte value is absent");
    for (auto _ : state)
        benchmark::DoNotOptimize(std::memchr(body.constData(), absent, size_t(body.size())));
    state.SetBytesProcessed(state.iterations() * body.size());
}

// The page copied into kept memory, as a download leaves it there; the
// copying is not timed.
void downloaded(benchmark::State &state, const QByteArray &body, QByteArray &into)
{
    state.PauseTiming();
    into.resize(body.size());
    std::memcpy(into.data(), body.constData(), size_t(body.size()));
    state.ResumeTiming();
}

void pageTextSearch(benchmark::State &state, bool markup)
{
    const QByteArray &body = page(markup);
    QByteArray text;
    for (auto _ : state) {
        downloaded(state, body, text);
        if (!decide(text))
            state.SkipWithError("the check string was not found");
    }
    state.SetBytesProcessed(state.iterations() * body.size());
}

void utf8Check(benchmark::State &state, bool markup)
{
    const QByteArray &body = page(markup);
    QByteArray text;
    for (auto _ : state) {
        downloaded(state, body, text);
        text = PageDownload::decode(std::move(text), ContentType);
        benchmark::DoNotOptimize(text.constData());
    }
    state.SetBytesProcessed(state.iterations() * body.size());
}

void wholePath(benchmark::State &state, bool markup)
{
    const QByteArray &body = page(markup);
    QByteArray text;
    for (auto _ : state) {
        downloaded(state, body, text);
        text = PageDownload::decode(std::move(text), ContentType);
        if (!decide(text))
            state.SkipWithError("the check string was not found");
    }
    state.SetBytesProcessed(state.iterations() * body.size());
}

} // namespace

int main(int argc, char **argv)
{
    benchmark::Initialize(&argc, argv);
    for (const bool markup : {false, true}) {
        const std::string kind = markup ? "/markup" : "/realistic";
        for (const auto &[name, function] :
             {std::pair{"memchr", &memchrPass}, std::pair{"pageText+search", &pageTextSearch},
              std::pair{"utf8Check", &utf8Check}, std::pair{"wholePath", &wholePath}}) {
            benchmark::RegisterBenchmark((name + kind).c_str(), function, markup)
                ->Unit(benchmark::kMillisecond);
        }
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
