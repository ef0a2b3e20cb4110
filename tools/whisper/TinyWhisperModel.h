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
    // "small": 768 wide, 12 heads, 12 layers each side.
    static Dimensions small();
    // "large-v3-turbo": 1280 wide, 20 heads, 32 encoder layers, 4 decoder layers, 128 mel bins.
    static Dimensions largeV3Turbo();

    // How the matrices are stored: 16-bit floats as whisper's own converted models, or 8-bit
    // or 5-bit blocks as its quantizer writes them (32 values and one 16-bit scale per block).
    enum class WeightType {
        f16,
        q8_0,
        q5_0
    };

    // Throws std::runtime_error when the file cannot be written.
    static void write(const std::filesystem::path& path, const Dimensions& dimensions, std::uint32_t seed = 1,
                      WeightType weights = WeightType::f16);
};

} // namespace kivo
