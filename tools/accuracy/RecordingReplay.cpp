#include "tools/accuracy/RecordingReplay.h"

#include "app/speech/HongKongTranscript.h"
#include "app/speech/TranscriptReducer.h"
#include "platform/speech/SpeechTranscriber.h"
#include "platform/speech/WavFile.h"

#include <chrono>
#include <stdexcept>
#include <thread>

namespace kivo {
namespace {

using Clock = std::chrono::steady_clock;

} // namespace

RecordingReplay::Outcome RecordingReplay::run(WhisperRecognizer& recognizer, const std::filesystem::path& wav) const
{
    const PcmBuffer audio = WavFile::read(wav);
    if (audio.frameCount() == 0 || audio.format.channelCount < 1) {
        throw std::runtime_error("Cannot read " + wav.string() + ": it holds no audio");
    }
    if (recognizer.installedLocales(Transcriber::Kind::general).empty()) {
        throw std::runtime_error("no multilingual speech model is installed");
    }
    const bool convert = HongKongTranscript::applies(recognizer.decodingLanguage(), hongKongCharacters);
    auto transcriber = std::make_shared<SpeechTranscriber>("zh-HK", true, true, true);
    const auto format = recognizer.bestAvailableAudioFormat({transcriber});
    auto analyzer = recognizer.makeAnalyzer({transcriber});
    analyzer->prepareToAnalyze(*format);
    auto input = std::make_shared<Channel<AnalyzerInput>>();
    analyzer->start(input);

    Outcome outcome;
    outcome.audioSeconds = static_cast<double>(audio.frameCount()) / audio.format.sampleRate;
    TranscriptReducer reducer;
    Clock::time_point lastFinal;
    std::jthread reader([&](const std::stop_token& stop) {
        try {
            while (auto result = transcriber->results().next(stop)) {
                if (convert) {
                    HongKongTranscript::apply(*result, {});
                }
                reducer.consume(result->text(), result->start, result->end, result->isFinal, result->finalizedThrough);
                if (result->isFinal) {
                    lastFinal = Clock::now();
                    outcome.untranscribedWindows += result->untranscribed ? 1 : 0;
                }
            }
        } catch (const std::exception&) {
            // The analyzer's own failure; finalizeThroughEndOfInput() reports it.
        }
    });

    auto converter = recognizer.makeConverter(*format);
    const std::size_t frames = 2048; // what the audio capture delivers at a time
    const std::size_t channels = static_cast<std::size_t>(audio.format.channelCount);
    const auto begin = Clock::now();
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
            std::this_thread::sleep_until(
                begin + std::chrono::duration<double>(seconds + static_cast<double>(count) / audio.format.sampleRate));
        }
    }
    for (auto& converted : converter->flush()) {
        input->yield(std::move(converted));
    }
    const auto stopped = Clock::now();
    input->finish();
    try {
        analyzer->finalizeThroughEndOfInput({});
    } catch (...) {
        reader.request_stop();
        throw;
    }
    reader.join();
    const auto end = std::max(lastFinal, stopped);
    outcome.elapsedSeconds = std::chrono::duration<double>(end - begin).count();
    outcome.finalizeSeconds = std::chrono::duration<double>(end - stopped).count();
    reducer.finishFinalizedInput();
    outcome.text = reducer.finalText();
    return outcome;
}

} // namespace kivo
