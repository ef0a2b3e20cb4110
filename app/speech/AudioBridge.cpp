#include "app/speech/AudioBridge.h"

#include <future>
#include <pthread.h>

namespace kivo {

AudioBridge::AudioBridge(std::unique_ptr<AnalyzerInputConverter> converter,
                         std::shared_ptr<Channel<AnalyzerInput>> continuation,
                         std::function<void(const std::string&)> onFailure)
    : converter_(std::move(converter)), continuation_(std::move(continuation)), onFailure_(std::move(onFailure)),
      worker_([this](std::stop_token stop) { runQueue(stop); })
{
    pthread_setname_np(worker_.native_handle(), "kivo-speech-cvt");
}

AudioBridge::~AudioBridge()
{
    // Whatever is still queued runs as a no-op, so a waiting finish() is released too.
    abort();
    worker_.request_stop();
    worker_.join();
}

void AudioBridge::enqueue(std::function<void()> work)
{
    {
        std::lock_guard lock(queueMutex_);
        queue_.push_back(std::move(work));
    }
    queueChanged_.notify_one();
}

void AudioBridge::runQueue(std::stop_token stop)
{
    for (;;) {
        std::function<void()> work;
        {
            std::unique_lock lock(queueMutex_);
            queueChanged_.wait(lock, stop, [&] { return !queue_.empty(); });
            if (queue_.empty()) {
                return; // stopped with nothing left
            }
            work = std::move(queue_.front());
            queue_.pop_front();
        }
        work();
    }
}

void AudioBridge::endStream()
{
    continuation_->finish();
    ended_ = true;
}

void AudioBridge::submit(std::span<const float> samples, AudioFormat format, double captureSeconds)
{
    PcmBuffer copy{format, std::vector<float>(samples.begin(), samples.end())};
    enqueue([this, packet = std::move(copy), captureSeconds] {
        if (ended_ || isAborted()) {
            return;
        }
        try {
            for (auto& input : converter_->convert(packet, captureSeconds)) {
                continuation_->yield(std::move(input));
            }
        } catch (const std::exception& error) {
            endStream();
            onFailure_(error.what());
        }
    });
}

void AudioBridge::finish()
{
    std::promise<void> done;
    auto finished = done.get_future();
    enqueue([this, &done] {
        if (!ended_ && !isAborted()) {
            try {
                for (auto& input : converter_->flush()) {
                    continuation_->yield(std::move(input));
                }
            } catch (const std::exception& error) {
                onFailure_(error.what());
            }
            continuation_->finish();
        }
        ended_ = true;
        done.set_value();
    });
    finished.wait();
}

void AudioBridge::abort()
{
    {
        std::lock_guard lock(stateLock_);
        aborted_ = true;
    }
    continuation_->finish();
}

bool AudioBridge::isAborted() const
{
    std::lock_guard lock(stateLock_);
    return aborted_;
}

} // namespace kivo
