#pragma once

#include "platform/speech/SpeechAnalyzer.h"
#include "platform/speech/StreamingWindow.h"
#include "platform/speech/Transcriber.h"
#include "platform/speech/WhisperModel.h"

#include <condition_variable>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace kivo {

class WhisperDecoder;

// The analyzer on whisper.cpp: one worker thread with its own decoding state reruns a sliding
// window of the input every step for provisional results and closes it into a final result
// when it fills, at a pause, or at the end of input. The last final text is the prompt of the
// next window.
class WhisperAnalyzer : public SpeechAnalyzer {
public:
    using ModelLoader = std::function<std::shared_ptr<WhisperModel>()>;

    WhisperAnalyzer(std::vector<std::shared_ptr<Transcriber>> modules, ModelLoader loadModel, int threads,
                    StreamingWindow::Options window);
    ~WhisperAnalyzer() override;

    void setContext(const AnalysisContext& context) override;
    void prepareToAnalyze(const AudioFormat& format) override;
    void start(std::shared_ptr<Channel<AnalyzerInput>> input) override;
    void finalizeThroughEndOfInput(std::stop_token stop) override;
    void cancelAndFinishNow() noexcept override;

private:
    void run(std::stop_token stop, std::shared_ptr<Channel<AnalyzerInput>> input);
    void emit(const TranscriptionResult& result);
    void endResults(std::exception_ptr error);

    std::vector<std::shared_ptr<Transcriber>> modules_;
    ModelLoader loadModel_;
    int threads_;
    StreamingWindow::Options window_;
    std::vector<std::string> hints_;
    std::unique_ptr<WhisperDecoder> decoder_;

    std::mutex lifecycle_; // start and cancel
    std::jthread worker_;

    std::mutex mutex_;
    std::condition_variable_any doneChanged_;
    bool done_ = false;
    std::exception_ptr error_;
};

} // namespace kivo
