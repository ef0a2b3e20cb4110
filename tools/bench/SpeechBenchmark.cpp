// speech_benchmark SIZE TYPE [THREADS|0] [SECONDS...|0]: the streaming recogniser on a whisper model
// of real dimensions (tiny, base, small or large-v3-turbo) with random weights stored as f16,
// q8_0 or q5_0. Decoding is bounded to 8 tokens per second of audio, about what real speech yields, so
// that random weights (which never stop on their own) do not inflate it. Prints the encoder time
// per second of window, how far provisional text trails the audio and how long finalization takes
// after stop for recordings fed in real time (10, 30 and 60 s unless given), peak memory and the
// real-time factor of transcribing a 10 s recording offline (0 as SECONDS: the encoder figures
// only, for models too slow for the rest on the machine at hand). One model per run, so the peak
// memory is that model's; generated models are kept in the build tree.
#include "platform/speech/SpeechTranscriber.h"
#include "platform/speech/WavFile.h"
#include "platform/speech/WhisperDecoder.h"
#include "platform/speech/WhisperRecognizer.h"
#include "tools/whisper/TinyWhisperModel.h"

#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

using namespace kivo;
using Clock = std::chrono::steady_clock;

namespace {

constexpr double tokensPerSecond = 8.0;

double since(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// Cantonese sentences from espeak-ng with their natural pauses, repeated to `seconds`.
std::vector<float> speech(const std::filesystem::path& folder, double seconds)
{
    const auto wav = folder / "speech.wav";
    if (!std::filesystem::exists(wav)) {
        const std::string command = "espeak-ng -v yue -w '" + wav.string() +
                                    "' '今日天氣幾好，我哋一齊去海邊行吓。之後去茶樓飲茶食點心，"
                                    "再去書局睇吓有冇新書。' 2>/dev/null";
        if (std::system(command.c_str()) != 0) {
            throw std::runtime_error("espeak-ng failed");
        }
    }
    const PcmBuffer read = WavFile::read(wav);
    auto converter = WhisperRecognizer().makeConverter(AudioFormat::recognizerFormat());
    std::vector<float> once;
    for (auto& input : converter->convert(read, 0.0)) {
        once.insert(once.end(), input.samples.begin(), input.samples.end());
    }
    for (auto& input : converter->flush()) {
        once.insert(once.end(), input.samples.begin(), input.samples.end());
    }
    once.resize(once.size() + 8000, 0.0f); // half a second between repetitions
    const auto total = static_cast<std::size_t>(seconds * 16000);
    std::vector<float> out;
    while (out.size() < total) {
        out.insert(out.end(), once.begin(), once.end());
    }
    out.resize(total);
    return out;
}

struct Run {
    std::vector<double> lags; // provisional results: wall time minus the audio time they cover
    double finalize = 0.0;    // from the end of input to the last final result
    std::size_t finals = 0;
    std::size_t keptProvisional = 0; // finals that ran out of time after stop
    std::size_t untranscribed = 0;   // finals left without text for want of time
};

// Feeds `audio` in 100 ms packets, in real time or all at once.
Run transcribe(WhisperRecognizer& recognizer, const std::vector<float>& audio, bool realtime)
{
    auto transcriber = std::make_shared<SpeechTranscriber>("zh-HK", true, true, true);
    auto analyzer = recognizer.makeAnalyzer({transcriber});
    analyzer->prepareToAnalyze(AudioFormat::recognizerFormat());
    auto input = std::make_shared<Channel<AnalyzerInput>>();
    analyzer->start(input);

    Run run;
    const auto begin = Clock::now();
    std::jthread reader([&] {
        while (auto result = transcriber->results().next({})) {
            if (result->isFinal) {
                ++run.finals;
                run.keptProvisional += result->fromProvisional ? 1 : 0;
                run.untranscribed += result->untranscribed ? 1 : 0;
            } else if (realtime) {
                run.lags.push_back(since(begin) - result->end);
            }
        }
    });
    const std::size_t packet = 1600;
    for (std::size_t at = 0; at < audio.size(); at += packet) {
        const std::size_t end = std::min(audio.size(), at + packet);
        input->yield(AnalyzerInput{
            {audio.begin() + static_cast<std::ptrdiff_t>(at), audio.begin() + static_cast<std::ptrdiff_t>(end)},
            static_cast<double>(at) / 16000.0});
        if (realtime) {
            std::this_thread::sleep_until(begin + std::chrono::duration<double>(static_cast<double>(end) / 16000.0));
        }
    }
    const auto stopped = Clock::now();
    input->finish();
    analyzer->finalizeThroughEndOfInput({});
    run.finalize = since(stopped);
    reader.join();
    return run;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s tiny|base|small|large-v3-turbo f16|q8_0|q5_0 [THREADS] [SECONDS...]\n",
                     argv[0]);
        return 2;
    }
    const std::string size = argv[1];
    const std::string type = argv[2];
    const int requestedThreads = argc > 3 ? std::max(0, std::atoi(argv[3])) : 0; // 0: the recogniser's default
    std::vector<double> recordings;
    for (int i = 4; i < argc; ++i) {
        recordings.push_back(std::atof(argv[i]));
    }
    if (recordings.empty()) {
        recordings = {10.0, 30.0, 60.0};
    }
    const auto dimensions = size == "base"             ? TinyWhisperModel::base()
                            : size == "small"          ? TinyWhisperModel::small()
                            : size == "large-v3-turbo" ? TinyWhisperModel::largeV3Turbo()
                                                       : TinyWhisperModel::Dimensions{};
    const auto weights = type == "q8_0"   ? TinyWhisperModel::WeightType::q8_0
                         : type == "q5_0" ? TinyWhisperModel::WeightType::q5_0
                                          : TinyWhisperModel::WeightType::f16;

    const std::filesystem::path folder = KIVO_SPEECH_BENCH_MODELS;
    std::filesystem::create_directories(folder);
    const auto modelPath = folder / (size + "-" + type + "-random.bin");
    if (!std::filesystem::exists(modelPath)) {
        const auto start = Clock::now();
        TinyWhisperModel::write(modelPath.string() + ".part", dimensions, 1, weights);
        std::filesystem::rename(modelPath.string() + ".part", modelPath);
        std::printf("generated %s in %.1f s\n", modelPath.c_str(), since(start));
    }

    {
        std::ifstream load("/proc/loadavg");
        std::string average;
        std::getline(load, average);
        std::printf("load average at start: %s\n", average.c_str());
    }

    const bool encoderOnly = recordings.size() == 1 && recordings.front() <= 0.0;
    const std::vector<float> ten = speech(folder, 10.0);
    WhisperRecognizer::Configuration configuration{modelPath, requestedThreads, {}};
    configuration.maxTokensPerSecond = tokensPerSecond;
    WhisperRecognizer recognizer(configuration);
    const int threads = recognizer.threads();
    std::printf("model: %s dimensions, random weights, %s (%.0f MiB); threads: %s%d of %u cores\n", size.c_str(),
                type.c_str(), static_cast<double>(std::filesystem::file_size(modelPath)) / (1 << 20),
                requestedThreads == 0 ? "up to " : "", threads, std::thread::hardware_concurrency());

    // Encoder time: a 10 s window decoded to no more than the fixed minimum of tokens.
    {
        auto model = WhisperModel::load(modelPath);
        WhisperDecoder decoder(model, threads);
        WhisperDecoder::Request request;
        request.tokensPerSecond = 0.0;                                          // the 8 tokens every pass may produce
        decoder.decode(std::span<const float>(ten.data(), 16000), request, {}); // warm-up
        const auto start = Clock::now();
        decoder.decode(std::span<const float>(ten), request, {});
        std::printf("encoder (+8 tokens) per second of a 10 s window: %.3f s\n", since(start) / 10.0);
        if (!encoderOnly) {
            request.tokensPerSecond = tokensPerSecond;
            const auto full = Clock::now();
            decoder.decode(std::span<const float>(ten), request, {});
            std::printf("greedy pass over a 10 s window, %g tokens/s: %.3f s\n", tokensPerSecond, since(full));
        }
    }

    // Real-time factor offline: 10 s of audio at once.
    if (!encoderOnly) {
        const auto start = Clock::now();
        transcribe(recognizer, ten, false);
        std::printf("real-time factor (10 s transcribed offline): %.2f\n", since(start) / 10.0);
    }

    for (const double seconds : recordings) {
        if (encoderOnly) {
            break;
        }
        auto run = transcribe(recognizer, speech(folder, seconds), true);
        std::sort(run.lags.begin(), run.lags.end());
        if (run.lags.empty()) {
            std::printf("%4.0f s recording: no provisional results", seconds);
        } else {
            std::printf("%4.0f s recording: %zu provisional results trailing median %.2f s, worst %.2f s", seconds,
                        run.lags.size(), run.lags[run.lags.size() / 2], run.lags.back());
        }
        std::printf("; %zu finals (%zu kept provisional text, %zu untranscribed); finalize after stop %.2f s\n",
                    run.finals, run.keptProvisional, run.untranscribed, run.finalize);
    }

    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("peak resident memory: %.0f MiB\n", static_cast<double>(usage.ru_maxrss) / 1024.0);
    std::ifstream load("/proc/loadavg");
    std::string average;
    std::getline(load, average);
    std::printf("load average at end: %s\n", average.c_str());
    return 0;
}
