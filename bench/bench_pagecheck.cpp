// The page text plus the check-string search over a 10 MB page, beside the
// floor of any pass over the same bytes: one memchr for a byte the bytes do
// not hold. Two pages: a realistic one and one that is nearly all markup.
// Every rate is in bytes of the page as downloaded (UTF-8) per second, so the
// rates of one page compare directly.
//
//   memchr/body      one pass over the page as downloaded
//   memchr/text      one pass over the page as text (UTF-16, what the page
//                    text reads)
//   pageText+search  the page text and the check-string search, in the
//                    memory the check run keeps from page to page
//   decode           the downloaded bytes to text, into that memory
//   wholePath        decode, page text and search: body to decision

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
const QString Check = QStringLiteral("version 2.25");

struct Page {
    QByteArray body;
    QString text;
};

const Page &page(bool markup)
{
    static const auto make = [](QByteArray body) {
        Page made{body, PageDownload::decode(body, ContentType)};
        return made;
    };
    static const Page realistic = make(generatePage(PageSize));
    static const Page allMarkup = make(generateMarkupPage(PageSize));
    return markup ? allMarkup : realistic;
}

// Turns `text` into its page text in place and looks for the check string.
bool decide(QString &text)
{
    return !stripPage(text) && containsText(text, Check);
}

// A byte value that does not occur in [data, data + size): memchr then reads
// every byte.
unsigned char absentByte(const void *data, size_t size)
{
    std::array<bool, 256> seen{};
    const auto *bytes = static_cast<const unsigned char *>(data);
    for (size_t i = 0; i < size; ++i)
        seen[bytes[i]] = true;
    for (unsigned value = 255; value > 0; --value) {
        if (!seen[value])
            return static_cast<unsigned char>(value);
    }
    return 0;
}

void memchrPass(benchmark::State &state, const void *data, size_t size, qsizetype pageBytes)
{
    const unsigned char absent = absentByte(data, size);
    if (std::memchr(data, absent, size))
        state.SkipWithError("no byte value is absent");
    for (auto _ : state)
        benchmark::DoNotOptimize(std::memchr(data, absent, size));
    state.SetBytesProcessed(state.iterations() * pageBytes);
}

void memchrBody(benchmark::State &state, bool markup)
{
    const Page &p = page(markup);
    memchrPass(state, p.body.constData(), size_t(p.body.size()), p.body.size());
}

void memchrText(benchmark::State &state, bool markup)
{
    const Page &p = page(markup);
    memchrPass(state, p.text.constData(), size_t(p.text.size()) * sizeof(QChar), p.body.size());
}

void pageTextSearch(benchmark::State &state, bool markup)
{
    const Page &p = page(markup);
    QString text;
    for (auto _ : state) {
        // The page copied into the kept memory, as a download leaves it there;
        // the copying is not timed.
        state.PauseTiming();
        text.resize(p.text.size());
        std::memcpy(text.data(), p.text.constData(), size_t(p.text.size()) * sizeof(QChar));
        state.ResumeTiming();
        if (!decide(text))
            state.SkipWithError("the check string was not found");
    }
    state.SetBytesProcessed(state.iterations() * p.body.size());
}

void decode(benchmark::State &state, bool markup)
{
    const Page &p = page(markup);
    QString text;
    for (auto _ : state) {
        PageDownload::decodeInto(p.body, ContentType, text);
        benchmark::DoNotOptimize(text.constData());
    }
    state.SetBytesProcessed(state.iterations() * p.body.size());
}

void wholePath(benchmark::State &state, bool markup)
{
    const Page &p = page(markup);
    QString text;
    for (auto _ : state) {
        PageDownload::decodeInto(p.body, ContentType, text);
        if (!decide(text))
            state.SkipWithError("the check string was not found");
    }
    state.SetBytesProcessed(state.iterations() * p.body.size());
}

} // namespace

int main(int argc, char **argv)
{
    benchmark::Initialize(&argc, argv);
    for (const bool markup : {false, true}) {
        const std::string kind = markup ? "/markup" : "/realistic";
        for (const auto &[name, function] :
             {std::pair{"memchr/body", &memchrBody}, std::pair{"memchr/text", &memchrText},
              std::pair{"pageText+search", &pageTextSearch}, std::pair{"decode", &decode},
              std::pair{"wholePath", &wholePath}}) {
            benchmark::RegisterBenchmark((name + kind).c_str(), function, markup)
                ->Unit(benchmark::kMillisecond);
        }
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
