#pragma once

#include "app/speech/SpeechRecorder.h"
#include "platform/audio/WavFileEngine.h"
#include "platform/speech/SampleRateConverter.h"
#include "tests/support/CoreApplication.h"
#include "tools/targetapp/EventLoopWait.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace kivo::testing {

using test::ensureCoreApplication;

// Runs the main thread's queue until `done` holds or five seconds pass.
template <class Predicate>
bool runUntil(Predicate done, std::chrono::milliseconds limit = std::chrono::seconds(5))
{
    return spinUntil(done, limit);
}

// What a recorder reported, in order, as short lines ("text:…", "final:…", status names,
// "error:…", "done:…", "diagnostics").
struct RecorderEvents {
    std::vector<std::string> lines;
    std::optional<SpeechDiagnostics> diagnostics;
    int completions = 0;

    SpeechSession::Callbacks callbacks()
    {
        SpeechSession::Callbacks callbacks;
        callbacks.onTranscript = [this](const std::string& text, bool isFinal) {
            lines.push_back((isFinal ? "final:" : "text:") + text);
        };
        callbacks.onStatus = [this](SpeechSession::Status status) {
            lines.push_back(std::string(SpeechSession::rawValue(status)));
        };
        callbacks.onError = [this](const std::string& message) { lines.push_back("error:" + message); };
        callbacks.onCompletion = [this](const std::optional<std::string>& text) {
            lines.push_back(text ? "done:" + *text : "done:none");
            ++completions;
        };
        callbacks.onDiagnostics = [this](const SpeechDiagnostics& value) {
            lines.push_back("diagnostics");
            diagnostics = value;
        };
        return callbacks;
    }

    std::string joined() const
    {
        std::string all;
        for (const auto& line : lines) {
            all += line + " | ";
        }
        return all;
    }
};

// A 16-bit mono PCM WAV file of a quiet tone.
inline void writeWav(const std::filesystem::path& path, double seconds, int rate = 16000)
{
    const auto frames = static_cast<std::uint32_t>(seconds * rate);
    std::ofstream out(path, std::ios::binary);
    auto u32 = [&](std::uint32_t v) { out.write(reinterpret_cast<const char*>(&v), 4); };
    auto u16 = [&](std::uint16_t v) { out.write(reinterpret_cast<const char*>(&v), 2); };
    out.write("RIFF", 4);
    u32(36 + frames * 2);
    out.write("WAVEfmt ", 8);
    u32(16);
    u16(1);
    u16(1);
    u32(static_cast<std::uint32_t>(rate));
    u32(static_cast<std::uint32_t>(rate) * 2);
    u16(2);
    u16(16);
    out.write("data", 4);
    u32(frames * 2);
    for (std::uint32_t i = 0; i < frames; ++i) {
        u16(static_cast<std::uint16_t>(static_cast<std::int16_t>((i / 20) % 2 ? 300 : -300)));
    }
}

// A recogniser whose analyzer does what the test says: steps may be held until released, results
// are pushed by the test, finalization ends the result stream once the input has ended.
class ScriptedSpeechService : public Recognizer {
public:
    class Analyzer : public SpeechAnalyzer {
    public:
        explicit Analyzer(ScriptedSpeechService& owner, Modules modules) : owner_(owner), modules_(std::move(modules))
        {
        }

        void setContext(const AnalysisContext& value) override { context = value; }
        void prepareToAnalyze(const AudioFormat&) override { owner_.pass("prepare"); }
        void start(std::shared_ptr<Channel<AnalyzerInput>> stream) override
        {
            std::lock_guard lock(mutex_);
            input = std::move(stream);
        }
        void finalizeThroughEndOfInput(std::stop_token stop) override
        {
            owner_.pass("finalize", stop);
            std::shared_ptr<Channel<AnalyzerInput>> stream;
            {
                std::lock_guard lock(mutex_);
                stream = input;
            }
            while (stream && stream->next(stop)) {
                ++buffersAnalyzed;
            }
            for (auto& result : owner_.finalResults) {
                results().yield(result);
            }
            results().finish();
        }
        void cancelAndFinishNow() noexcept override
        {
            // A real analyzer waits here for its worker's decode to stop.
            std::this_thread::sleep_for(owner_.cancelTakes);
            results().finish();
            std::lock_guard lock(mutex_);
            cancelled = true;
        }
        bool isCancelled()
        {
            std::lock_guard lock(mutex_);
            return cancelled;
        }
        Channel<TranscriptionResult>& results() { return modules_.front()->results(); }

        AnalysisContext context;
        std::shared_ptr<Channel<AnalyzerInput>> input;
        std::atomic<int> buffersAnalyzed = 0;

    private:
        ScriptedSpeechService& owner_;
        Modules modules_;
        std::mutex mutex_;
        bool cancelled = false;
    };

    // Steps named here wait in pass() until release() is called.
    void hold(const std::string& step)
    {
        std::lock_guard lock(mutex_);
        held_.push_back(step);
    }
    void release()
    {
        std::lock_guard lock(mutex_);
        held_.clear();
        changed_.notify_all();
    }
    void pass(const std::string& step, std::stop_token stop = {})
    {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, stop, [&] { return std::find(held_.begin(), held_.end(), step) == held_.end(); });
    }
    std::shared_ptr<Analyzer> current()
    {
        std::lock_guard lock(mutex_);
        return analyzer_;
    }

    std::vector<std::string> locales{"zh-HK"};
    std::string language = "yue";
    std::vector<TranscriptionResult> finalResults;
    std::chrono::milliseconds cancelTakes{0};

    bool isSpeechTranscriberAvailable() override { return true; }
    std::vector<std::string> installedLocales(Transcriber::Kind) override { return locales; }
    std::string decodingLanguage() override { return language; }
    std::optional<AudioFormat> bestAvailableAudioFormat(const Modules&) override
    {
        return AudioFormat::recognizerFormat();
    }
    std::shared_ptr<SpeechAnalyzer> makeAnalyzer(Modules modules) override
    {
        auto made = std::make_shared<Analyzer>(*this, std::move(modules));
        std::lock_guard lock(mutex_);
        analyzer_ = made;
        return made;
    }
    std::unique_ptr<AnalyzerInputConverter> makeConverter(const AudioFormat& format) override
    {
        return std::make_unique<SampleRateConverter>(format);
    }

private:
    std::mutex mutex_;
    std::condition_variable_any changed_;
    std::vector<std::string> held_;
    std::shared_ptr<Analyzer> analyzer_;
};

inline TranscriptionResult result(std::string text, double start, double end, bool isFinal,
                                  std::vector<std::string> alternatives = {}, std::vector<double> confidences = {})
{
    TranscriptionResult r;
    if (confidences.empty()) {
        r.runs.push_back({std::move(text), std::nullopt});
    } else {
        for (std::size_t i = 0; i < confidences.size(); ++i) {
            r.runs.push_back({i == 0 ? text : std::string(), confidences[i]});
        }
    }
    r.alternatives = std::move(alternatives);
    r.start = start;
    r.end = end;
    r.isFinal = isFinal;
    r.finalizedThrough = isFinal ? end : 0.0;
    return r;
}

} // namespace kivo::testing
