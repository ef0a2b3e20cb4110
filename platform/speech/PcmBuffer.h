#pragma once

#include "platform/speech/AudioFormat.h"

#include <cstddef>
#include <vector>

namespace kivo {

// One captured buffer: interleaved samples in `format`.
struct PcmBuffer {
    AudioFormat format;
    std::vector<float> samples;

    std::size_t frameCount() const
    {
        return format.channelCount > 0 ? samples.size() / static_cast<std::size_t>(format.channelCount) : 0;
    }
};

} // namespace kivo
