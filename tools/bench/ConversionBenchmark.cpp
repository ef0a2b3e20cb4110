// Request building, restoring and review on the largest accepted source (24,000 UTF-8 bytes),
// plus the adversarial inputs of the protected-region and quotation patterns.
#include "app/conversion/LiteralMasking.h"
#include "app/conversion/OutputMode.h"
#include "app/conversion/WrittenChinesePreparation.h"
#include "platform/text/Regex.h"
#include "platform/text/Utf16.h"

#include <benchmark/benchmark.h>

#include <string>

namespace {

using namespace kivo;

// Repeats `unit` while the result stays within `limit` bytes.
std::string filled(const std::string& unit, std::size_t limit = 24000)
{
    std::string text;
    while (text.size() + unit.size() <= limit) {
        text += unit;
    }
    return text;
}

const std::string& mixedSource()
{
    static const std::string text =
        filled("我哋聽日上午十點喺公司開會，記得check下iPhone 15 Pro同https://example.com/a?b=1嘅報告。"
               "佢話「OK 啦」，電話係9123 4567；請寫低個地址。\n");
    return text;
}

void requestBuilding(benchmark::State& state, OutputMode mode)
{
    for (auto _ : state) {
        benchmark::DoNotOptimize(mode.request(mixedSource(), KIVO_RESOURCES_DIR));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * mixedSource().size()));
}
BENCHMARK_CAPTURE(requestBuilding, written, (*OutputMode::fromModeName("written")))->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(requestBuilding, cantonese, (*OutputMode::fromModeName("cantonese")))->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(requestBuilding, english, (*OutputMode::fromModeName("english")))->Unit(benchmark::kMillisecond);

// The model echoes the masked source: the restore path does its full work.
void restoreAndReview(benchmark::State& state, OutputMode mode)
{
    const PreparedRequest prepared = mode.request(mixedSource(), KIVO_RESOURCES_DIR);
    const auto& spans = prepared.spans;
    const std::string& answer = prepared.request.source;
    const std::string& source = prepared.normalizedSource;
    for (auto _ : state) {
        const std::string result = mode.restore(answer, source, spans);
        benchmark::DoNotOptimize(mode.needsReview(result, source));
    }
}
BENCHMARK_CAPTURE(restoreAndReview, written, (*OutputMode::fromModeName("written")))->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(restoreAndReview, simplified, (*OutputMode::fromModeName("simplified")))
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(restoreAndReview, cantonese, (*OutputMode::fromModeName("cantonese")))->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(restoreAndReview, english, (*OutputMode::fromModeName("english")))->Unit(benchmark::kMillisecond);

// 12,000 `"\` pairs: every quote starts a run that fails only at the final backslash.
const std::u16string& quoteBackslashRun()
{
    static const std::u16string text = Utf16::fromUtf8(filled("\"\\"));
    return text;
}

void protectedRegionsWorstCase(benchmark::State& state)
{
    for (auto _ : state) {
        benchmark::DoNotOptimize(WrittenChinesePreparation::protectedRegions(quoteBackslashRun()));
    }
}
BENCHMARK(protectedRegionsWorstCase)->Unit(benchmark::kMillisecond);

// The same pattern through a plain left-to-right search, for comparison.
void protectedRegionsPlainSearch(benchmark::State& state)
{
    const Regex pattern{WrittenChinesePreparation::protectedRegionPattern};
    for (auto _ : state) {
        benchmark::DoNotOptimize(pattern.findAll(quoteBackslashRun()));
    }
}
BENCHMARK(protectedRegionsPlainSearch)->Unit(benchmark::kMillisecond)->Iterations(1);

void protectedRegionsMixed(benchmark::State& state)
{
    const std::u16string text = Utf16::fromUtf8(mixedSource());
    for (auto _ : state) {
        benchmark::DoNotOptimize(WrittenChinesePreparation::protectedRegions(text));
    }
}
BENCHMARK(protectedRegionsMixed)->Unit(benchmark::kMillisecond);

// 8,000 unclosed corner brackets: each one scans to the end of the text before failing.
void maskUnclosedQuotations(benchmark::State& state)
{
    const std::string text = filled("「");
    for (auto _ : state) {
        benchmark::DoNotOptimize(LiteralMasking::mask(text, true));
    }
}
BENCHMARK(maskUnclosedQuotations)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
