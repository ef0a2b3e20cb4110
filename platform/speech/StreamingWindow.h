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
        double step = 1.0;       // new audio between provisional reruns
        double maxLength = 10.0; // a window this long is closed
        // A window whose final decode would take longer than this (at the measured speed) is
        // closed early, at the first dip in the audio after the shorter cap, but never shorter
        // than shortestCap: so that at the end of a recording only a quick decode is left.
        double decodeTarget = 2.0;
        double shortestCap = 4.0;
        double dipSearch = 1.0; // how far past the shorter cap a dip is looked for
        // A provisional pass expected to take longer than this is skipped: its text would come
        // too late to help, and the time goes to final text instead.
        double provisionalLimit = 2.0;
        double pause = 0.6;         // trailing quiet that closes a window after speech
        double minSpeech = 0.25;    // shorter bursts are not taken for speech
        float floorLevel = 0.0005f; // RMS of a 20 ms frame below which nothing is speech
        float noiseMargin = 3.0f;   // speech stands this far above the measured noise level
        float speechLevel = 0.01f;  // a frame this loud may always be speech, however noisy
    };

    enum class Action {
        wait,
        provisional,
        close
    };

    static constexpr double sampleRate = 16000.0;

    explicit StreamingWindow(Options options);

    // Takes as much of `samples` as fits under the length cap, or up to the end of the first
    // dip after the shorter cap; returns how many it took.
    std::size_t append(std::span<const float> samples);
    // Sets the shorter cap from the decoding seconds per second of audio last measured.
    void fitCap(double decodeSecondsPerSecond);
    // Where the window starts looking for a dip to close at (maxLength when it does not).
    double cap() const { return cap_; }
    // Samples the window can still take before it is full.
    std::size_t room() const;
    Action next(bool endOfInput) const;

    // Call after running a provisional pass on the current contents.
    void markProvisional();
    // Drops the window's audio; the next window starts where this one ended. The measured noise
    // level carries over.
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
    bool isDip(float level) const;
    void addFrameLevel(); // of the frame that just became complete
    double hardCap() const;
    float threshold() const;
    float noiseLevel() const;

    Options options_;
    std::vector<float> samples_;
    std::vector<float> frameLevels_; // RMS of each complete 20 ms frame
    std::size_t startFrame_ = 0;     // samples before this window
    std::size_t provisionalAt_ = 0;  // window length at the last provisional pass
    double cap_;
    bool endsAtDip_ = false;          // append stopped at a dip past the shorter cap
    std::vector<float> recentLevels_; // the last seconds of frame levels, over windows
    std::size_t recentNext_ = 0;
};

} // namespace kivo
