#pragma once

#include <atomic>
#include <chrono>

namespace kivo {

// When the microphone last delivered sound. The capture thread notes each buffer; the main
// thread asks whether the device has gone quiet for longer than a device ever pauses, which
// means it was unplugged, suspended or its sound server stopped the stream.
class MicrophoneWatch {
public:
    using Clock = std::chrono::steady_clock;

    explicit MicrophoneWatch(Clock::time_point started) : last_(started.time_since_epoch().count()) {}

    // From the capture thread.
    void delivered(Clock::time_point at) { last_.store(at.time_since_epoch().count(), std::memory_order_relaxed); }

    // Whether nothing arrived in the `limit` before `now`; never with a limit of zero.
    bool silentFor(Clock::time_point now, std::chrono::milliseconds limit) const
    {
        if (limit <= std::chrono::milliseconds::zero()) {
            return false;
        }
        const Clock::time_point last{Clock::duration(last_.load(std::memory_order_relaxed))};
        return now - last >= limit;
    }

private:
    std::atomic<Clock::rep> last_;
};

} // namespace kivo
