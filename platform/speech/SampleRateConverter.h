#pragma once

#include "platform/speech/AnalyzerInputConverter.h"
#include "platform/speech/AudioFormat.h"

#include <cstdint>
#include <optional>

typedef struct SRC_STATE_tag SRC_STATE;

namespace kivo {

// libsamplerate from any capture rate and channel count to the analyzer format (channels are
// averaged). Holds back the filter's delay until flushed.
class SampleRateConverter : public AnalyzerInputConverter {
public:
    explicit SampleRateConverter(AudioFormat target);
    ~SampleRateConverter() override;
    SampleRateConverter(const SampleRateConverter&) = delete;
    SampleRateConverter& operator=(const SampleRateConverter&) = delete;

    std::vector<AnalyzerInput> convert(const PcmBuffer& buffer, double captureSeconds) override;
    std::vector<AnalyzerInput> flush() override;

private:
    std::vector<AnalyzerInput> process(const std::vector<float>& mono, bool endOfInput);

    AudioFormat target_;
    std::optional<double> inputRate_;
    SRC_STATE* state_ = nullptr;
    std::int64_t framesOut_ = 0;
};

} // namespace kivo
