// What checking a whisper file costs before it is loaded: a tiny generated model from disk,
// each damaged copy of it from memory, and a model of large-v3-turbo's shape (q5_0) from
// disk. The verdict cache is defeated by a new modification time before every check.
#include "platform/speech/WhisperFileCheck.h"
#include "platform/speech/WhisperFileError.h"
#include "tools/whisper/DamagedWhisperFiles.h"
#include "tools/whisper/TinyWhisperModel.h"

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace {

using kivo::TinyWhisperModel;

const std::filesystem::path folder = KIVO_WHISPER_CHECK_BENCH_MODELS;

std::filesystem::path model(const std::string& name, const TinyWhisperModel::Dimensions& dimensions,
                            TinyWhisperModel::WeightType weights)
{
    const auto path = folder / name;
    if (!std::filesystem::exists(path)) {
        std::filesystem::create_directories(folder);
        TinyWhisperModel::write(path.string() + ".part", dimensions, 1, weights);
        std::filesystem::rename(path.string() + ".part", path);
    }
    return path;
}

void checkFromDisk(benchmark::State& state, const std::filesystem::path& path)
{
    timespec times[2] = {{0, UTIME_OMIT}, {0, 0}};
    long tick = 0;
    for (auto _ : state) {
        state.PauseTiming();
        times[1] = {1000000 + ++tick, 0};
        ::utimensat(AT_FDCWD, path.c_str(), times, 0);
        state.ResumeTiming();
        benchmark::DoNotOptimize(kivo::WhisperFileCheck::check(path));
    }
    state.counters["file_MB"] = static_cast<double>(std::filesystem::file_size(path)) / 1e6;
}

void BM_CheckTinyModel(benchmark::State& state)
{
    checkFromDisk(state, model("tiny-f16.bin", TinyWhisperModel::Dimensions{}, TinyWhisperModel::WeightType::f16));
}
BENCHMARK(BM_CheckTinyModel)->Unit(benchmark::kMillisecond);

void BM_CheckTurboShapedModel(benchmark::State& state)
{
    checkFromDisk(
        state, model("large-v3-turbo-q5_0.bin", TinyWhisperModel::largeV3Turbo(), TinyWhisperModel::WeightType::q5_0));
}
BENCHMARK(BM_CheckTurboShapedModel)->Unit(benchmark::kMillisecond);

// Every damaged copy once per iteration; the counter is the slowest single check.
void BM_CheckDamagedCopies(benchmark::State& state)
{
    std::ifstream in(model("tiny-f16.bin", TinyWhisperModel::Dimensions{}, TinyWhisperModel::WeightType::f16),
                     std::ios::binary);
    const std::string original{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    const auto copies = kivo::DamagedWhisperFiles::all(original);
    double slowest = 0;
    for (auto _ : state) {
        for (const auto& copy : copies) {
            const auto start = std::chrono::steady_clock::now();
            try {
                benchmark::DoNotOptimize(kivo::WhisperFileCheck::checkBytes(copy.bytes, "copy.bin"));
            } catch (const kivo::WhisperFileError&) {
            }
            slowest = std::max(
                slowest, std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
        }
    }
    state.counters["slowest_ms"] = slowest;
    state.counters["copies"] = static_cast<double>(copies.size());
}
BENCHMARK(BM_CheckDamagedCopies)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
