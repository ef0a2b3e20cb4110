#pragma once

#include "platform/speech/AudioFormat.h"

#include <cstddef>
#include <functional>
#include <span>

namespace kivo {

// Captures audio from one input. The tap receives every buffer (valid only during the call) with
// the capture time of its first frame, in seconds from the start of capture, on the engine's own
// thread. Calls that may fail throw AudioEngineError.
class AudioEngine {
public:
    using Tap = std::function<void(std::span<const float> samples, const AudioFormat& format, double seconds)>;

    static constexpr std::size_t tapBufferFrames = 2048;

    virtual ~AudioEngine() = default;

    // The format the input delivers on bus 0.
    virtual AudioFormat inputFormat() = 0;
    virtual void installTap(std::size_t bufferFrames, const AudioFormat& format, Tap tap) = 0;
    // After it returns the tap is never called again.
    virtual void removeTap() = 0;
    virtual void prepare() = 0;
    virtual void start() = 0;
    // Stops capture; harmless when not started.
    virtual void stop() = 0;
};

} // namespace kivo
