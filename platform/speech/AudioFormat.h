#pragma once

namespace kivo {

// Interleaved 32-bit float PCM at a sample rate and channel count.
struct AudioFormat {
    double sampleRate = 16000.0;
    int channelCount = 1;

    // What every whisper model consumes.
    static constexpr AudioFormat recognizerFormat() { return AudioFormat{16000.0, 1}; }

    friend bool operator==(const AudioFormat&, const AudioFormat&) = default;
};

} // namespace kivo
