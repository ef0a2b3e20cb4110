#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <thread>
#include <vector>

namespace kivo::testing {

// The microphone of a test session started with `test-session.sh --pulse`: the FIFO its
// PulseAudio reads as the default source (16 kHz mono s16le). Speech handed to say() is sent in
// real time, silence between, as a device would; while not sending, nothing at all reaches the
// sound server, as with a device that was unplugged or suspended.
class MicrophonePipe {
public:
    static constexpr int sampleRate = 16000;

    // The session's pipe, when there is one.
    static std::optional<std::filesystem::path> ofSession()
    {
        const char* path = std::getenv("KIVO_MICROPHONE_PIPE");
        if (path == nullptr || *path == '\0' || !std::filesystem::is_fifo(path)) {
            return std::nullopt;
        }
        return std::filesystem::path(path);
    }

    explicit MicrophonePipe(const std::filesystem::path& fifo)
    {
        // The sound server holds the FIFO open for reading and writing, so this never waits; a
        // full pipe (a stream the server stopped reading) drops audio rather than blocking.
        descriptor_ = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
        if (descriptor_ < 0) {
            throw std::runtime_error("cannot open the microphone pipe " + fifo.string());
        }
        sender_ = std::jthread([this](std::stop_token stop) { send(stop); });
    }
    ~MicrophonePipe()
    {
        sender_.request_stop();
        sender_.join();
        ::close(descriptor_);
    }
    MicrophonePipe(const MicrophonePipe&) = delete;
    MicrophonePipe& operator=(const MicrophonePipe&) = delete;

    // Queues 16 kHz mono speech after what is still queued.
    void say(const std::vector<float>& samples)
    {
        std::lock_guard lock(mutex_);
        queued_.insert(queued_.end(), samples.begin(), samples.end());
    }
    void setSending(bool sending) { sending_ = sending; }
    // Whether everything handed to say() has been sent.
    bool spoken()
    {
        std::lock_guard lock(mutex_);
        return queued_.empty();
    }

private:
    void send(std::stop_token stop)
    {
        constexpr std::size_t tick = sampleRate / 50; // 20 ms
        std::vector<std::int16_t> chunk(tick);
        auto next = std::chrono::steady_clock::now();
        while (!stop.stop_requested()) {
            next += std::chrono::milliseconds(20);
            std::this_thread::sleep_until(next);
            if (!sending_) {
                continue;
            }
            {
                std::lock_guard lock(mutex_);
                for (auto& sample : chunk) {
                    float value = 0.0f;
                    if (!queued_.empty()) {
                        value = queued_.front();
                        queued_.pop_front();
                    }
                    sample = static_cast<std::int16_t>(std::lround(std::clamp(value, -1.0f, 1.0f) * 32767.0f));
                }
            }
            [[maybe_unused]] const auto written =
                ::write(descriptor_, chunk.data(), chunk.size() * sizeof(std::int16_t));
        }
    }

    int descriptor_ = -1;
    std::atomic<bool> sending_ = true;
    std::mutex mutex_;
    std::deque<float> queued_;
    std::jthread sender_;
};

} // namespace kivo::testing
