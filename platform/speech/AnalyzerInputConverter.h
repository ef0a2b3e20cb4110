#pragma once

#include "platform/speech/AnalyzerInput.h"
#include "platform/speech/PcmBuffer.h"

#include <vector>

namespace kivo {

// Turns captured buffers into analyzer input. Both operations may throw.
class AnalyzerInputConverter {
public:
    virtual ~AnalyzerInputConverter() = default;
    virtual std::vector<AnalyzerInput> convert(const PcmBuffer& buffer, double captureSeconds) = 0;
    // What the converter still holds.
    virtual std::vector<AnalyzerInput> flush() = 0;
};

} // namespace kivo
