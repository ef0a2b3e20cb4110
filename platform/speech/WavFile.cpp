#include "platform/speech/WavFile.h"

#include "platform/speech/RecognizerError.h"

#include <sndfile.h>

namespace kivo {

PcmBuffer WavFile::read(const std::filesystem::path& path)
{
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (file == nullptr) {
        throw RecognizerError("Cannot read " + path.string() + ": " + sf_strerror(nullptr));
    }
    PcmBuffer buffer;
    buffer.format = AudioFormat{static_cast<double>(info.samplerate), info.channels};
    buffer.samples.resize(static_cast<std::size_t>(info.frames) * static_cast<std::size_t>(info.channels));
    const sf_count_t frames = sf_readf_float(file, buffer.samples.data(), info.frames);
    sf_close(file);
    buffer.samples.resize(static_cast<std::size_t>(frames) * static_cast<std::size_t>(info.channels));
    return buffer;
}

} // namespace kivo
