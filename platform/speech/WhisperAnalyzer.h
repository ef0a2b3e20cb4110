#pragma once

#include "platform/speech/SpeechAnalyzer.h"
#include "platform/speech/StreamingWindow.h"
#include "platform/speech/Transcriber.h"
#include "platform/speech/WhisperModel.h"

#include <chrono>
#include <condition_variable>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace kivo {

class WhisperDecoder;

// The analyzer on whisper.cpp: one worker thread with its own decoding state reruns a window of
// the input every step for provisional results and closes it into a final result when it
// reaches its cap, at a pause, or at the end of input, so finals are made while recording goes
// on and only the last short window is left at the end. When decoding falls behind the input,
// provisional passes are skipped, never queued. The hints are tokenized once and fitted to the
// decoder's prompt budget; the end of the last final text follows them in the prompt. Once the
// input has ended, decoding gets a fixed time: a window whose final decode would run past it
// keeps its latest provisional text as its final text.
class WhisperAnalyzer : public SpeechAnalyzer {
public:
    using ModelLoader = std::function<std::shared_ptr<WhisperModel>()>;

    WhisperAnalyzer(std::vector<std::shared_ptr<Transcriber>> modules, ModelLoader loadModel, int threads,
                    StreamingWindow::Options window, double maxTokensPerSecond = 12.0,
                    std::chrono::milliseconds finalizeBudget = std::chrono::seconds(6), bool adaptiveThreads = false);
    ~WhisperAnalyzer() override;

    void setContext(const AnalysisContext& context) override;
    void prepareToAnalyze(const AudioFormat& format) override;
    void start(std::shared_ptr<Channel<AnalyzerInput>> input) override;
    void finalizeThroughEndOfInput(std::stop_token stop) override;
    void cancelAndFinishNow() noexcept override;
    std::optional<std::vector<std::string>> appliedContextualStrings() const override;

    // Prompt tokens kept for the end of the previous final text; the hints get the rest.
    static constexpr std::size_t previousTextTokens = 64;

private:
    void planHints();
    void run(std::stop_token stop, std::shared_ptr<Channel<AnalyzerInput>> input);
    void emit(const TranscriptionResult& result);
    void endResults(const std::exception_ptr& error);

    std::vector<std::shared_ptr<Transcriber>> modules_;
    ModelLoader loadModel_;
    int threads_;          // the most a pass takes
    bool adaptiveThreads_; // fewer while other processes keep cores busy
    StreamingWindow::Options window_;
    double maxTokensPerSecond_;
    std::chrono::milliseconds finalizeBudget_;
    std::vector<std::string> hints_;
    std::unique_ptr<WhisperDecoder> decoder_;
    std::vector<int> hintTokens_;
    std::vector<std::string> appliedHints_; // guarded by mutex_

    std::mutex lifecycle_; // start and cancel
    std::jthread worker_;

    mutable std::mutex mutex_;
    std::condition_variable_any doneChanged_;
    bool done_ = false;
    std::exception_ptr error_;
};

} // namespace kivo
