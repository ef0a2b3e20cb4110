#pragma once

#include "platform/audio/AudioEngine.h"

#include <cstdint>
#include <mutex>
#include <optional>

namespace kivo {

// The default input device through PortAudio; the stream callback is the capture thread.
class PortAudioEngine : public AudioEngine {
public:
    // Throws AudioEngineError when PortAudio cannot start.
    PortAudioEngine();
    ~PortAudioEngine() override;
    PortAudioEngine(const PortAudioEngine&) = delete;
    PortAudioEngine& operator=(const PortAudioEngine&) = delete;

    AudioFormat inputFormat() override;
    void installTap(std::size_t bufferFrames, const AudioFormat& format, Tap tap) override;
    void removeTap() override;
    void prepare() override;
    void start() override;
    void stop() override;

private:
    friend struct PortAudioCallback;
    void deliver(const float* samples, unsigned long frames);
    int device();

    std::mutex tapMutex_; // the tap is swapped on the main thread and called on the capture thread
    Tap tap_;
    std::size_t bufferFrames_ = tapBufferFrames;
    std::optional<AudioFormat> format_;
    std::int64_t framesDelivered_ = 0; // capture thread only while running
    void* stream_ = nullptr;
    bool running_ = false;
};

} // namespace kivo
