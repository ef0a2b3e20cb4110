#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

namespace kivo {

// The whisper model file in ggml format and where it is installed.
struct SpeechModelFile {
    static constexpr const char* fileName = "speech-model.bin";
    static constexpr std::int32_t multilingualVocabulary = 51865;
    static constexpr std::int32_t cantoneseVocabulary = 51866; // the 100-language vocabulary

    struct Header {
        std::int32_t nVocab = 0;
        std::int32_t nAudioCtx = 0;
        std::int32_t nAudioState = 0;
        std::int32_t nAudioHead = 0;
        std::int32_t nAudioLayer = 0;
        std::int32_t nTextCtx = 0;
        std::int32_t nTextState = 0;
        std::int32_t nTextHead = 0;
        std::int32_t nTextLayer = 0;
        std::int32_t nMels = 0;
        std::int32_t fileType = 0; // ggml's ftype with the quantization version (times 1000) added

        bool isMultilingual() const { return nVocab >= multilingualVocabulary; }
        // "yue" needs the 100-language vocabulary; older multilingual models get "zh".
        std::string language() const { return nVocab >= cantoneseVocabulary ? "yue" : "zh"; }
    };

    // $XDG_DATA_HOME/kivo/models (default ~/.local/share/kivo/models), then
    // /usr/share/kivo/models: the first that holds the file.
    static std::optional<std::filesystem::path> locate();

    // The header, or none when the file is missing or is not a whisper ggml model whisper.cpp
    // can load (see WhisperFileCheck).
    static std::optional<Header> readHeader(const std::filesystem::path& path);

    // The published size whose shape the header has ("base", "large-v3-turbo", …); empty for
    // any other shape.
    static std::string sizeName(const Header& header);
};

} // namespace kivo
