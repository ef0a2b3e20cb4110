#include "platform/speech/StreamingWindow.h"

#include <algorithm>
#include <cmath>

namespace kivo {

namespace {
constexpr std::size_t frameSamples = 320; // 20 ms
constexpr std::size_t recentFrames = 500; // 10 s of levels for the noise estimate

// The level that one in `divisor` of `levels` lies under; 0 for none.
float levelAt(std::vector<float> levels, std::size_t divisor)
{
    if (levels.empty()) {
        return 0.0f;
    }
    const auto nth = levels.begin() + static_cast<std::ptrdiff_t>(levels.size() / divisor);
    std::nth_element(levels.begin(), nth, levels.end());
    return *nth;
}
} // namespace

StreamingWindow::StreamingWindow(Options options) : options_(options), cap_(options.maxLength) {}

void StreamingWindow::fitCap(double decodeSecondsPerSecond)
{
    if (!(decodeSecondsPerSecond > 0.0)) {
        cap_ = options_.maxLength;
        return;
    }
    const double shortest = std::min(options_.shortestCap, options_.maxLength);
    cap_ = std::clamp(options_.decodeTarget / decodeSecondsPerSecond, shortest, options_.maxLength);
}

double StreamingWindow::hardCap() const
{
    return cap_ < options_.maxLength ? std::min(options_.maxLength, cap_ + options_.dipSearch) : options_.maxLength;
}

std::size_t StreamingWindow::room() const
{
    if (endsAtDip_) {
        return 0;
    }
    const auto cap = static_cast<std::size_t>(hardCap() * sampleRate);
    return cap > samples_.size() ? cap - samples_.size() : 0;
}

// Well under this window's typical level (or quiet outright): a gap between syllables at
// least, so a cut there splits no word.
bool StreamingWindow::isDip(float level) const
{
    return level <= std::max(levelAt(frameLevels_, 2) * 0.5f, threshold());
}

std::size_t StreamingWindow::append(std::span<const float> samples)
{
    const std::size_t limit = std::min(samples.size(), room());
    const auto shorterCap = static_cast<std::size_t>(cap_ * sampleRate);
    const bool seekDip = cap_ < options_.maxLength;
    std::size_t taken = 0;
    // A frame at a time, so the window can stop at the end of the first dip past the shorter cap.
    while (taken < limit) {
        const std::size_t piece = std::min(limit - taken, frameSamples - samples_.size() % frameSamples);
        const auto from = samples.begin() + static_cast<std::ptrdiff_t>(taken);
        samples_.insert(samples_.end(), from, from + static_cast<std::ptrdiff_t>(piece));
        taken += piece;
        if (samples_.size() % frameSamples != 0) {
            continue;
        }
        addFrameLevel();
        if (seekDip && samples_.size() > shorterCap && isDip(frameLevels_.back())) {
            endsAtDip_ = true;
            break;
        }
    }
    return taken;
}

void StreamingWindow::addFrameLevel()
{
    const auto first = samples_.end() - static_cast<std::ptrdiff_t>(frameSamples);
    double energy = 0.0;
    for (auto it = first; it != samples_.end(); ++it) {
        energy += static_cast<double>(*it) * *it;
    }
    const auto level = static_cast<float>(std::sqrt(energy / frameSamples));
    frameLevels_.push_back(level);
    if (recentLevels_.size() < recentFrames) {
        recentLevels_.push_back(level);
    } else {
        recentLevels_[recentNext_] = level;
        recentNext_ = (recentNext_ + 1) % recentFrames;
    }
}

double StreamingWindow::start() const
{
    return seconds(startFrame_);
}
double StreamingWindow::end() const
{
    return seconds(startFrame_ + samples_.size());
}
double StreamingWindow::length() const
{
    return seconds(samples_.size());
}

// A low percentile of the recent frame levels: the gaps between words and phrases.
float StreamingWindow::noiseLevel() const
{
    return levelAt(recentLevels_, 20);
}

// Above the measured noise, so a quiet microphone still records; never more than a level that
// is plainly speech, so speech from the first frame counts; and relative to the loudest frame,
// so steady background noise under loud speech still reads as a pause.
float StreamingWindow::threshold() const
{
    const float peak = frameLevels_.empty() ? 0.0f : *std::max_element(frameLevels_.begin(), frameLevels_.end());
    const float noise = std::min(noiseLevel() * options_.noiseMargin, options_.speechLevel);
    return std::max({options_.floorLevel, noise, peak * 0.1f});
}

bool StreamingWindow::hasSpeech() const
{
    const float level = threshold();
    const auto loud =
        std::count_if(frameLevels_.begin(), frameLevels_.end(), [&](float value) { return value > level; });
    return seconds(static_cast<std::size_t>(loud) * frameSamples) >= options_.minSpeech;
}

bool StreamingWindow::trailingPause() const
{
    const auto needed = static_cast<std::size_t>(std::ceil(options_.pause * sampleRate / frameSamples));
    if (needed == 0 || frameLevels_.size() < needed) {
        return false;
    }
    const float level = threshold();
    return std::all_of(frameLevels_.end() - static_cast<std::ptrdiff_t>(needed), frameLevels_.end(),
                       [&](float value) { return value <= level; });
}

StreamingWindow::Action StreamingWindow::next(bool endOfInput) const
{
    if (samples_.empty()) {
        return Action::wait;
    }
    if (endOfInput || endsAtDip_ || length() >= hardCap()) {
        return Action::close;
    }
    const bool speech = hasSpeech();
    if (trailingPause() && (speech || length() >= options_.pause)) {
        // A pause after speech settles the phrase; pure quiet is dropped as soon as it is a
        // pause long, so silence never grows into a window of its own.
        return Action::close;
    }
    if (speech && seconds(samples_.size() - provisionalAt_) >= options_.step) {
        return Action::provisional;
    }
    return Action::wait;
}

void StreamingWindow::markProvisional()
{
    provisionalAt_ = samples_.size();
}

void StreamingWindow::close()
{
    startFrame_ += samples_.size();
    samples_.clear();
    frameLevels_.clear();
    provisionalAt_ = 0;
    endsAtDip_ = false;
}

} // namespace kivo
