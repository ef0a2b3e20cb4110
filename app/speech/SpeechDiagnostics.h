#pragma once

#include "app/speech/SpeechEngine.h"

#include <string>
#include <utility>
#include <vector>

namespace kivo {

// What a successful recording leaves for the details window: the final text, its segments with
// the recogniser's alternatives and confidence values, and a one-line summary.
struct SpeechDiagnostics {
    struct Segment {
        std::string text;
        double startSeconds = 0.0;
        double endSeconds = 0.0;
        std::vector<std::string> alternatives;
        std::vector<double> confidenceSamples;
        bool fromProvisional = false; // finishing ran out of time; the provisional text was kept

        friend bool operator==(const Segment&, const Segment&) = default;
    };

    SpeechEngine engine = SpeechEngine::speech;
    std::string locale = "zh-HK";
    std::string finalText;
    double elapsedSeconds = 0.0;
    std::vector<Segment> finalSegments;
    // Stretches of the recording (start, end seconds) left without text because finishing ran
    // out of time before they were decoded.
    std::vector<std::pair<double, double>> untranscribed;
    bool contextualStringsApplied = false;
    // When applied: the hints the recogniser had room for, out of contextualStringCount.
    std::vector<std::string> contextualStringsUsed;
    std::size_t contextualStringCount = 0;
    std::string description;
};

} // namespace kivo
