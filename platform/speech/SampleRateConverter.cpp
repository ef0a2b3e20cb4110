#include "platform/speech/SampleRateConverter.h"

#include "platform/speech/RecognizerError.h"

#include <samplerate.h>

#include <cmath>
#include <string>

namespace kivo {

SampleRateConverter::SampleRateConverter(AudioFormat target) : target_(target)
{
    if (target_.channelCount != 1 || target_.sampleRate <= 0) {
        throw RecognizerError("The converter produces mono audio only.");
    }
}

SampleRateConverter::~SampleRateConverter()
{
    if (state_ != nullptr) {
        src_delete(state_);
    }
}

std::vector<AnalyzerInput> SampleRateConverter::convert(const PcmBuffer& buffer, double)
{
    const int channels = buffer.format.channelCount;
    if (channels <= 0 || !(buffer.format.sampleRate > 0) ||
        buffer.samples.size() % static_cast<std::size_t>(channels) != 0) {
        throw RecognizerError("Unsupported capture format: " + std::to_string(channels) + " channels at " +
                              std::to_string(buffer.format.sampleRate) + " Hz");
    }
    if (inputRate_ && *inputRate_ != buffer.format.sampleRate) {
        throw RecognizerError("The capture sample rate changed during recording.");
    }
    inputRate_ = buffer.format.sampleRate;

    std::vector<float> mono(buffer.frameCount());
    for (std::size_t frame = 0; frame < mono.size(); ++frame) {
        float sum = 0.0f;
        for (int channel = 0; channel < channels; ++channel) {
            sum += buffer.samples[frame * static_cast<std::size_t>(channels) + static_cast<std::size_t>(channel)];
        }
        mono[frame] = sum / static_cast<float>(channels);
    }
    return process(mono, false);
}

std::vector<AnalyzerInput> SampleRateConverter::flush()
{
    if (!inputRate_) {
        return {};
    }
    return process({}, true);
}

std::vector<AnalyzerInput> SampleRateConverter::process(const std::vector<float>& mono, bool endOfInput)
{
    AnalyzerInput input;
    input.startSeconds = static_cast<double>(framesOut_) / target_.sampleRate;
    if (*inputRate_ == target_.sampleRate) {
        input.samples = mono; // nothing to resample, nothing held back
    } else {
        if (state_ == nullptr) {
            int error = 0;
            state_ = src_new(SRC_SINC_FASTEST, 1, &error);
            if (state_ == nullptr) {
                throw RecognizerError(std::string("Resampler: ") + src_strerror(error));
            }
        }
        const double ratio = target_.sampleRate / *inputRate_;
        SRC_DATA data{};
        data.data_in = mono.data();
        data.input_frames = static_cast<long>(mono.size());
        data.src_ratio = ratio;
        data.end_of_input = endOfInput ? 1 : 0;
        std::vector<float> chunk(static_cast<std::size_t>(std::ceil(static_cast<double>(mono.size()) * ratio)) + 256);
        do {
            data.data_out = chunk.data();
            data.output_frames = static_cast<long>(chunk.size());
            if (const int error = src_process(state_, &data); error != 0) {
                throw RecognizerError(std::string("Resampler: ") + src_strerror(error));
            }
            input.samples.insert(input.samples.end(), chunk.begin(), chunk.begin() + data.output_frames_gen);
            data.data_in += data.input_frames_used;
            data.input_frames -= data.input_frames_used;
        } while (data.input_frames > 0 || (endOfInput && data.output_frames_gen > 0));
    }
    if (input.samples.empty()) {
        return {};
    }
    framesOut_ += static_cast<std::int64_t>(input.samples.size());
    return {std::move(input)};
}

} // namespace kivo
