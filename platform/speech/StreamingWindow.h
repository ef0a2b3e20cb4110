#pragma once

#include <cstddef>
#include <span>
#include <vector>

namespace kivo {

// The sliding window of 16 kHz audio that the streaming recogniser reruns. It decides, after
// each arrival of audio, whether to wait, rerun for provisional text, or close the window into
// a final result (full, a pause after speech, or the end of input). Times are seconds from the
// start of the stream.
class StreamingWindow {
public:
    struct Options {
        double step = 1.0;         // new audio between provisional reruns
        double maxLength = 10.0;   // a window this long is closed
        double pause = 0.6;        // trailing quiet that closes a window after speech
        double minSpeech = 0.25;   // shorter bursts are not taken for speech
        float speechLevel = 0.01f; // RMS of a 20 ms frame above which it may be speech
    };

    enum class Action { wait, provisional, close };

    static constexpr double sampleRate = 16000.0;

    explicit StreamingWindow(Options options);

    void append(std::span<const float> samples);
    Action next(bool endOfInput) const;

    // Call after running a provisional pass on the current contents.
    void markProvisional();
    // Drops the window's audio; the next window starts where this one ended.
    void close();

    std::span<const float> samples() const { return samples_; }
    bool isEmpty() const { return samples_.empty(); }
    double start() const;
    double end() const;
    double length() const;
    // Whether the window holds anything louder than a quiet room for at least minSpeech.
    bool hasSpeech() const;

private:
    double seconds(std::size_t frames) const { return static_cast<double>(frames) / sampleRate; }
    bool trailingPause() const;
    float threshold() const;

    Options options_;
    std::vector<float> samples_;
    std::vector<float> frameLevels_; // RMS of each complete 20 ms frame
    std::size_t startFrame_ = 0;     // samples before this window
    std::size_t provisionalAt_ = 0;  // window length at the last provisional pass
};

} // namespace kivo
