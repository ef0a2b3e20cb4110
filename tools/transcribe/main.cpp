// kivo-transcribe [--model PATH] [--dictation] [--hint TEXT]... [--realtime] [--threads N] FILE.wav
// Runs the on-device recogniser over a sound file and prints every provisional and final result
// with its time range, the way the recorder would receive them.
#include "platform/process/HelpOption.h"
#include "platform/speech/DictationTranscriber.h"
#include "platform/speech/SpeechTranscriber.h"
#include "platform/speech/WavFile.h"
#include "platform/speech/WhisperRecognizer.h"

#include <charconv>
#include <chrono>
#include <cstdio>
#include <exception>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

using namespace kivo;

namespace {

int usage(const char* program)
{
    std::fprintf(stderr,
                 "usage: %s [--model PATH] [--dictation] [--hint TEXT]... [--realtime] [--threads N] FILE.wav\n",
                 program);
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    if (kivo::HelpOption::requested(argc, argv)) {
        usage(argv[0]);
        return 0;
    }
    WhisperRecognizer::Configuration configuration;
    bool dictation = false;
    bool realtime = false;
    std::vector<std::string> hints;
    std::string file;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "--model" && i + 1 < argc) {
            configuration.modelPath = argv[++i];
        } else if (argument == "--dictation") {
            dictation = true;
        } else if (argument == "--hint" && i + 1 < argc) {
            hints.emplace_back(argv[++i]);
        } else if (argument == "--realtime") {
            realtime = true;
        } else if (argument == "--threads" && i + 1 < argc) {
            const std::string_view value = argv[++i];
            int threads = 0;
            const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), threads);
            if (error != std::errc() || end != value.data() + value.size() || threads < 1) {
                std::fprintf(stderr, "--threads takes a positive whole number, not \"%s\"\n", argv[i]);
                return 2;
            }
            configuration.threads = threads;
        } else if (!argument.starts_with("--") && file.empty()) {
            file = argument;
        } else {
            return usage(argv[0]);
        }
    }
    if (file.empty()) {
        return usage(argv[0]);
    }

    // The file first: nothing else is worth starting for audio that cannot be read.
    PcmBuffer audio;
    try {
        audio = WavFile::read(file);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
    if (audio.frameCount() == 0 || audio.format.channelCount < 1) {
        std::fprintf(stderr, "Cannot read %s: it holds no audio\n", file.c_str());
        return 1;
    }

    try {
        WhisperRecognizer recognizer(configuration);
        const auto kind = dictation ? Transcriber::Kind::dictation : Transcriber::Kind::general;
        if (!dictation && !recognizer.isSpeechTranscriberAvailable()) {
            std::fprintf(stderr, "speech recognition is unavailable on this processor\n");
            return 1;
        }
        if (recognizer.installedLocales(kind).empty()) {
            std::fprintf(stderr, "no multilingual speech model is installed\n");
            return 1;
        }
        std::shared_ptr<Transcriber> transcriber;
        if (dictation) {
            transcriber = std::make_shared<DictationTranscriber>("zh-HK", true, true, true, true, true);
        } else {
            transcriber = std::make_shared<SpeechTranscriber>("zh-HK", true, true, true);
        }
        const auto format = recognizer.bestAvailableAudioFormat({transcriber});
        auto analyzer = recognizer.makeAnalyzer({transcriber});
        if (dictation && !hints.empty()) {
            AnalysisContext context;
            context.contextualStrings[AnalysisContext::generalTag] = hints;
            analyzer->setContext(context);
        }
        analyzer->prepareToAnalyze(*format);
        auto input = std::make_shared<Channel<AnalyzerInput>>();
        analyzer->start(input);

        // Stopped by its own token when anything below throws, so the error is reported
        // instead of waiting forever for results that never come.
        std::jthread printer([&](const std::stop_token& stop) {
            try {
                while (auto result = transcriber->results().next(stop)) {
                    std::printf("[%6.2f-%6.2f] %-11s %s\n", result->start, result->end,
                                result->isFinal ? "final" : "provisional", result->text().c_str());
                    std::fflush(stdout);
                }
            } catch (const std::exception&) {
                // The analyzer's error; finalizeThroughEndOfInput() reports it.
            }
        });

        // Feed it as a microphone would: 2048-frame buffers, in real time when asked.
        auto converter = recognizer.makeConverter(*format);
        const std::size_t frames = 2048;
        const std::size_t channels = static_cast<std::size_t>(audio.format.channelCount);
        const auto begin = std::chrono::steady_clock::now();
        for (std::size_t at = 0; at < audio.frameCount(); at += frames) {
            const std::size_t count = std::min(frames, audio.frameCount() - at);
            PcmBuffer chunk{
                audio.format,
                std::vector<float>(audio.samples.begin() + static_cast<std::ptrdiff_t>(at * channels),
                                   audio.samples.begin() + static_cast<std::ptrdiff_t>((at + count) * channels))};
            const double seconds = static_cast<double>(at) / audio.format.sampleRate;
            for (auto& converted : converter->convert(chunk, seconds)) {
                input->yield(std::move(converted));
            }
            if (realtime) {
                std::this_thread::sleep_until(begin +
                                              std::chrono::duration<double>(seconds + count / audio.format.sampleRate));
            }
        }
        for (auto& converted : converter->flush()) {
            input->yield(std::move(converted));
        }
        input->finish();
        analyzer->finalizeThroughEndOfInput(std::stop_token());
        printer.join();
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
    return 0;
}
