// Preparation and validation of the text pipeline on its largest accepted job: a 24,000-byte
// source with 64 corrections and 64 protected terms.
#include "platform/text/Regex.h"
#include "platform/text/Utf16.h"
#include "probe/RewriteJob.h"

#include <benchmark/benchmark.h>

#include <string>

namespace {

using namespace kivo;
using namespace kivo::RewriteJob;

Input largestInput()
{
    Input input;
    input.locale = "zh-TW";
    const std::string unit = "我哋聽日開會，記得check下v1.2.3同https://example.com/a?b=1，升咗3.5%。gd idea ";
    while (input.source.size() + unit.size() <= sourceByteLimit) {
        input.source += unit;
    }
    for (int i = 0; i < 64; ++i) {
        input.corrections.push_back({"詞" + std::to_string(i), "word" + std::to_string(i)});
        input.protectedTerms.push_back("term" + std::to_string(i));
    }
    input.corrections[0] = {"gd", "good"};
    input.corrections[1] = {"聽日", "明天"};
    input.protectedTerms[0] = "check";
    return input;
}

void preparation(benchmark::State& state)
{
    const Input input = largestInput();
    for (auto _ : state) {
        benchmark::DoNotOptimize(prepare(input, KIVO_RESOURCES_DIR));
    }
}
BENCHMARK(preparation)->Unit(benchmark::kMillisecond);

void validation(benchmark::State& state)
{
    const Prepared prepared = prepare(largestInput(), KIVO_RESOURCES_DIR);
    // An answer as long as the source that keeps its anchors and numbers.
    const std::string answer = prepared.normalizedSource;
    for (auto _ : state) {
        benchmark::DoNotOptimize(validate(answer, prepared));
    }
}
BENCHMARK(validation)->Unit(benchmark::kMillisecond);

// 24,000 letters: every compound-token attempt runs to the end of the run and fails.
void anchorsWorstCase(benchmark::State& state)
{
    const std::u16string text(sourceByteLimit, u'a');
    for (auto _ : state) {
        benchmark::DoNotOptimize(anchorRanges(text));
    }
}
BENCHMARK(anchorsWorstCase)->Unit(benchmark::kMillisecond);

void anchorsWorstCasePlainSearch(benchmark::State& state)
{
    const std::u16string text(sourceByteLimit, u'a');
    const Regex plain{anchorPattern};
    for (auto _ : state) {
        benchmark::DoNotOptimize(plain.findAll(text));
    }
}
BENCHMARK(anchorsWorstCasePlainSearch)->Unit(benchmark::kMillisecond)->Iterations(1);

} // namespace

BENCHMARK_MAIN();
