#pragma once

#include <cstdint>
#include <filesystem>

namespace kivo {

// Writes whisper models in the ggml format with random weights: the real layout and vocabulary
// size, so the recogniser runs exactly as with a trained model, only the text is noise.
struct TinyWhisperModel {
    struct Dimensions {
        std::int32_t nVocab = 51866; // the 100-language vocabulary, so "yue" is used
        std::int32_t nAudioCtx = 1500;
        std::int32_t nAudioState = 64;
        std::int32_t nAudioHead = 2;
        std::int32_t nAudioLayer = 1;
        std::int32_t nTextCtx = 448;
        std::int32_t nTextState = 64;
        std::int32_t nTextHead = 2;
        std::int32_t nTextLayer = 1;
        std::int32_t nMels = 80;
    };

    // The size of whisper "base": 512 wide, 8 heads, 6 layers each side.
    static Dimensions base();

    // Weights in 16-bit floats (ftype 1), as whisper's own converted models. Throws
    // std::runtime_error when the file cannot be written.
    static void write(const std::filesystem::path& path, const Dimensions& dimensions, std::uint32_t seed = 1);
};

} // namespace kivo
