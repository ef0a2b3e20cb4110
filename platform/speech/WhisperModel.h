#pragma once

#include "platform/speech/SpeechModelFile.h"

#include <filesystem>
#include <memory>
#include <string>

struct whisper_context;

namespace kivo {

// A loaded whisper model (weights and vocabulary), shared by the workers that decode with it;
// each worker keeps its own decoding state.
class WhisperModel {
public:
    // Throws RecognizerError when the file cannot be loaded.
    static std::shared_ptr<WhisperModel> load(const std::filesystem::path& path);

    ~WhisperModel();
    WhisperModel(const WhisperModel&) = delete;
    WhisperModel& operator=(const WhisperModel&) = delete;

    whisper_context* context() const { return context_; }
    const std::string& language() const { return language_; }
    const std::filesystem::path& path() const { return path_; }

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
