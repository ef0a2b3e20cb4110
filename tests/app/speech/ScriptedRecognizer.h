#pragma once

#include "platform/speech/Recognizer.h"

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace kivo::testing {

// A recogniser that follows a script: each call is logged by name and handed to `onStep`,
// which may throw or stop the caller, to drive preparation down every path.
class ScriptedRecognizer : public Recognizer {
public:
    class Analyzer : public SpeechAnalyzer {
    public:
        explicit Analyzer(ScriptedRecognizer& owner) : owner_(owner) {}

        void setContext(const AnalysisContext& context) override
        {
            this->context = context;
            owner_.step("setContext");
        }
        void prepareToAnalyze(const AudioFormat&) override { owner_.step("prepare"); }
        void start(std::shared_ptr<Channel<AnalyzerInput>> stream) override
        {
            input = std::move(stream);
            owner_.step("start");
        }
        void finalizeThroughEndOfInput(std::stop_token) override { owner_.step("finalize"); }
        void cancelAndFinishNow() noexcept override
        {
            std::lock_guard lock(mutex_);
            cancelled_ = true;
            changed_.notify_all();
        }

        // Clean-up runs on a thread of its own; give it a moment.
        bool waitUntilCancelled()
        {
            std::unique_lock lock(mutex_);
            return changed_.wait_for(lock, std::chrono::seconds(5), [&] { return cancelled_; });
        }

        AnalysisContext context;
        std::shared_ptr<Channel<AnalyzerInput>> input;

    private:
        ScriptedRecognizer& owner_;
        std::mutex mutex_;
        std::condition_variable changed_;
        bool cancelled_ = false;
    };

    bool available = true;
    std::vector<std::string> locales{"zh-HK"};
    std::optional<AudioFormat> format = AudioFormat::recognizerFormat();
    std::function<void(const std::string&)> onStep = [](const std::string&) {};
    std::vector<std::string> calls;
    std::shared_ptr<Analyzer> analyzer;
    Modules modules;

    void step(const std::string& name)
    {
        calls.push_back(name);
        onStep(name);
    }

    bool isSpeechTranscriberAvailable() override
    {
        step("available");
        return available;
    }
    std::vector<std::string> installedLocales(Transcriber::Kind kind) override
    {
        step(kind == Transcriber::Kind::dictation ? "locales.dictation" : "locales.general");
        return locales;
    }
    std::optional<AudioFormat> bestAvailableAudioFormat(const Modules& list) override
    {
        modules = list;
        step("format");
        return format;
    }
    std::shared_ptr<SpeechAnalyzer> makeAnalyzer(Modules) override
    {
        analyzer = std::make_shared<Analyzer>(*this);
        step("analyzer");
        return analyzer;
    }
    std::unique_ptr<AnalyzerInputConverter> makeConverter(const AudioFormat&) override { return nullptr; }
};

} // namespace kivo::testing
