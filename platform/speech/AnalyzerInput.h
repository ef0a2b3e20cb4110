#pragma once

#include <vector>

namespace kivo {

// Audio in the analyzer's format (16 kHz mono float), with the capture time of its first sample.
struct AnalyzerInput {
    std::vector<float> samples;
    double startSeconds = 0.0;
};

} // namespace kivo
