#pragma once

#include "platform/speech/PcmBuffer.h"

#include <filesystem>

namespace kivo {

// Sound files through libsndfile, for the file mode and for tests.
struct WavFile {
    // The whole file as float samples in its own rate and channel count.
    // Throws RecognizerError when it cannot be read.
    static PcmBuffer read(const std::filesystem::path& path);
};

} // namespace kivo
