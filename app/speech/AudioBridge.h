#pragma once

#include "platform/speech/AnalyzerInput.h"
#include "platform/speech/AnalyzerInputConverter.h"
#include "platform/speech/AudioFormat.h"
#include "platform/speech/Channel.h"

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <thread>

namespace kivo {

// Carries captured audio from the capture thread to the recogniser's input stream: submit()
// only copies and enqueues; one worker converts in capture order and yields; the stream is
// ended once, by finish() (after a flush) or abort() (at once), or by a conversion failure,
// which is reported once through onFailure (called on the worker).
class AudioBridge {
public:
    AudioBridge(std::unique_ptr<AnalyzerInputConverter> converter, std::shared_ptr<Channel<AnalyzerInput>> continuation,
                std::function<void(const std::string&)> onFailure);
    ~AudioBridge();
    AudioBridge(const AudioBridge&) = delete;
    AudioBridge& operator=(const AudioBridge&) = delete;

    // From the capture thread; `samples` is only read during the call.
    void submit(std::span<const float> samples, AudioFormat format, double captureSeconds);
    // Returns after everything submitted before it was delivered, the converter was flushed and
    // the stream was finished. Never throws.
    void finish();
    // From any thread: ends the stream now; pending and later work does nothing.
    void abort();
    bool isAborted() const;

private:
    void enqueue(std::function<void()> work);
    void runQueue(std::stop_token stop);
    void endStream();

    std::unique_ptr<AnalyzerInputConverter> converter_;
    std::shared_ptr<Channel<AnalyzerInput>> continuation_;
    std::function<void(const std::string&)> onFailure_;

    mutable std::mutex stateLock_;
    bool aborted_ = false;
    bool ended_ = false; // touched by the worker only

    std::mutex queueMutex_;
    std::condition_variable_any queueChanged_;
    std::deque<std::function<void()>> queue_;
    std::jthread worker_; // last, so it starts after everything above exists
};

} // namespace kivo
