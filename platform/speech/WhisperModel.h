#pragma once

#include "platform/speech/SpeechModelFile.h"

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

struct whisper_context;

namespace kivo {

// A loaded whisper model (weights and vocabulary), shared by the workers that decode with it;
// each worker keeps its own decoding state.
class WhisperModel {
public:
    // Throws RecognizerError when the file cannot be loaded.
    static std::shared_ptr<WhisperModel> load(const std::filesystem::path& path);
    // The runtime's version and the processor features it was built to use: speed measured
    // with one runtime does not carry over to another.
    static std::string runtimeVersion();

    ~WhisperModel();
    WhisperModel(const WhisperModel&) = delete;
    WhisperModel& operator=(const WhisperModel&) = delete;

    whisper_context* context() const { return context_; }
    const std::string& language() const { return language_; }
    const std::filesystem::path& path() const { return path_; }

    // The model's tokens for `text`: none for empty text or text the vocabulary cannot spell.
    // Throws RecognizerError on failure.
    std::vector<int> tokens(const std::string& text) const;
    // How many prompt tokens the decoder keeps (the rest are dropped from the front).
    std::size_t promptCapacity() const;

    class ConstructionKey {
        friend class WhisperModel;
        ConstructionKey() = default;
    };
    WhisperModel(ConstructionKey, whisper_context* context, std::filesystem::path path);

private:
    whisper_context* context_;
    std::filesystem::path path_;
    std::string language_;
};

} // namespace kivo
