#include "platform/speech/StreamingWindow.h"

#include <algorithm>
#include <cmath>

namespace kivo {

namespace {
constexpr std::size_t frameSamples = 320; // 20 ms
}

StreamingWindow::StreamingWindow(Options options) : options_(options) {}

void StreamingWindow::append(std::span<const float> samples)
{
    samples_.insert(samples_.end(), samples.begin(), samples.end());
    while ((frameLevels_.size() + 1) * frameSamples <= samples_.size()) {
        const auto first = samples_.begin() + static_cast<std::ptrdiff_t>(frameLevels_.size() * frameSamples);
        double energy = 0.0;
        for (auto it = first; it != first + frameSamples; ++it) {
            energy += static_cast<double>(*it) * *it;
        }
        frameLevels_.push_back(static_cast<float>(std::sqrt(energy / frameSamples)));
    }
}

double StreamingWindow::start() const { return seconds(startFrame_); }
double StreamingWindow::end() const { return seconds(startFrame_ + samples_.size()); }
double StreamingWindow::length() const { return seconds(samples_.size()); }

// Relative to the loudest frame so far, so steady background noise under loud speech still
// reads as a pause.
float StreamingWindow::threshold() const
{
    const float peak = frameLevels_.empty() ? 0.0f : *std::max_element(frameLevels_.begin(), frameLevels_.end());
    return std::max(options_.speechLevel, peak * 0.1f);
}

bool StreamingWindow::hasSpeech() const
{
    const float level = threshold();
    const auto loud = std::count_if(frameLevels_.begin(), frameLevels_.end(),
                                    [&](float value) { return value > level; });
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
    if (endOfInput || length() >= options_.maxLength) {
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

void StreamingWindow::markProvisional() { provisionalAt_ = samples_.size(); }

void StreamingWindow::close()
{
    startFrame_ += samples_.size();
    samples_.clear();
    frameLevels_.clear();
    provisionalAt_ = 0;
}

} // namespace kivo
