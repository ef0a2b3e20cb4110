// speech_benchmark [THREADS]: the streaming recogniser with whisper-base dimensions (random
// weights, so every window decodes to its token limit: a worst case for decoding time).
// Prints the time of one streaming step per window length, how far provisional text trails the
// audio when fed in real time, the finalize time of a 10-second recording and peak memory.
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
#include <mutex>
#include <numeric>
#include <thread>

using namespace kivo;
using Clock = std::chrono::steady_clock;

namespace {

double since(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

std::vector<float> tenSecondsOfSpeech(const std::filesystem::path& folder)
{
    const auto wav = folder / "speech.wav";
    const std::string command = "espeak-ng -v yue -w '" + wav.string() +
                                "' '今日天氣幾好，我哋一齊去海邊行吓，之後去茶樓飲茶食點心，"
                                "再去書局睇吓有冇新書。' 2>/dev/null";
    if (std::system(command.c_str()) != 0) {
        throw std::runtime_error("espeak-ng failed");
    }
    const PcmBuffer speech = WavFile::read(wav);
    auto converter = WhisperRecognizer().makeConverter(AudioFormat::recognizerFormat());
    std::vector<float> out;
    for (auto& input : converter->convert(speech, 0.0)) {
        out.insert(out.end(), input.samples.begin(), input.samples.end());
    }
    for (auto& input : converter->flush()) {
        out.insert(out.end(), input.samples.begin(), input.samples.end());
    }
    out.resize(160000, 0.0f); // exactly ten seconds
    return out;
}

} // namespace

int main(int argc, char** argv)
{
    const int threads = argc > 1 ? std::atoi(argv[1]) : 2;
    const auto folder = std::filesystem::temp_directory_path() / "kivo-speech-benchmark";
    std::filesystem::create_directories(folder);
    const auto modelPath = folder / "base-random.bin";
    if (!std::filesystem::exists(modelPath)) {
        TinyWhisperModel::write(modelPath, TinyWhisperModel::base());
    }
    const std::vector<float> audio = tenSecondsOfSpeech(folder);
    std::printf("model: whisper-base dimensions, random weights, f16; threads: %d of %u cores\n", threads,
                std::thread::hardware_concurrency());

    // One streaming step: a greedy rerun of the window, at the lengths a window goes through.
    {
        auto model = WhisperModel::load(modelPath);
        WhisperDecoder decoder(model, threads);
        for (const double seconds : {1.0, 2.0, 5.0, 10.0}) {
            const std::span<const float> window(audio.data(), static_cast<std::size_t>(seconds * 16000));
            decoder.decode(window, {false, true, ""}, {}); // warm-up
            const auto start = Clock::now();
            constexpr int runs = 3;
            for (int i = 0; i < runs; ++i) {
                decoder.decode(window, {false, true, ""}, {});
            }
            std::printf("step (greedy rerun) of a %4.1f s window: %6.3f s\n", seconds, since(start) / runs);
        }
        const auto start = Clock::now();
        decoder.decode(std::span<const float>(audio), {true, true, ""}, {});
        std::printf("closing a 10.0 s window with beam search: %6.3f s\n", since(start));
    }

    // Real-time feed: how late is each provisional result, and how long does finalize take.
    {
        WhisperRecognizer recognizer(WhisperRecognizer::Configuration{modelPath, threads, {}});
        auto transcriber = std::make_shared<SpeechTranscriber>("zh-HK", true, true, true);
        auto analyzer = recognizer.makeAnalyzer({transcriber});
        analyzer->prepareToAnalyze(AudioFormat::recognizerFormat());
        auto input = std::make_shared<Channel<AnalyzerInput>>();
        analyzer->start(input);

        const auto begin = Clock::now();
        std::vector<double> delays;
        std::jthread reader([&] {
            while (auto result = transcriber->results().next({})) {
                // The audio up to result->end was fed at begin + end seconds.
                if (!result->isFinal) {
                    delays.push_back(since(begin) - result->end);
                }
            }
        });
        const std::size_t packet = 1600; // 100 ms
        for (std::size_t at = 0; at < audio.size(); at += packet) {
            input->yield(AnalyzerInput{{audio.begin() + static_cast<std::ptrdiff_t>(at),
                                        audio.begin() + static_cast<std::ptrdiff_t>(at + packet)},
                                       static_cast<double>(at) / 16000.0});
            std::this_thread::sleep_until(begin + std::chrono::duration<double>((at + packet) / 16000.0));
        }
        const auto stop = Clock::now();
        input->finish();
        analyzer->finalizeThroughEndOfInput({});
        const double finalize = since(stop);
        reader.join();
        if (!delays.empty()) {
            std::sort(delays.begin(), delays.end());
            std::printf("provisional results: %zu; delay behind the audio: median %.3f s, worst %.3f s\n",
                        delays.size(), delays[delays.size() / 2], delays.back());
        } else {
            std::printf("provisional results: none\n");
        }
        std::printf("finalize after a 10 s recording: %.3f s\n", finalize);
    }

    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("peak resident memory: %.1f MiB\n", static_cast<double>(usage.ru_maxrss) / 1024.0);
    return 0;
}
