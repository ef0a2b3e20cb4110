#pragma once

#include "platform/audio/AudioEngine.h"
#include "platform/speech/PcmBuffer.h"

#include <filesystem>
#include <mutex>
#include <optional>
#include <thread>

namespace kivo {

// Plays a sound file (anything libsndfile reads) into the tap as if it were a microphone, in
// buffers of the tap's size, from a thread of its own. `speed` 1 is real time, 2 twice as fast,
// 0 as fast as the tap takes it. After the file, silence follows when `padWithSilence` is set,
// else nothing.
class WavFileEngine : public AudioEngine {
public:
    struct Options {
        double speed = 1.0;
        bool padWithSilence = false;
    };

    explicit WavFileEngine(std::filesystem::path path);
    WavFileEngine(std::filesystem::path path, Options options);
    ~WavFileEngine() override;
    WavFileEngine(const WavFileEngine&) = delete;
    WavFileEngine& operator=(const WavFileEngine&) = delete;

    AudioFormat inputFormat() override;
    void installTap(std::size_t bufferFrames, const AudioFormat& format, Tap tap) override;
    void removeTap() override;
    void prepare() override;
    void start() override;
    void stop() override;

private:
    const PcmBuffer& audio();
    void play(std::stop_token stop);

    std::filesystem::path path_;
    Options options_;
    std::optional<PcmBuffer> audio_;
    std::size_t bufferFrames_ = tapBufferFrames;
    std::mutex tapMutex_;
    Tap tap_;
    std::jthread player_;
};

} // namespace kivo
