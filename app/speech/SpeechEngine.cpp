#include "app/speech/SpeechEngine.h"

namespace kivo {

std::optional<SpeechEngine> SpeechEngine::fromRawValue(std::string_view raw)
{
    for (const auto value : allCases) {
        if (SpeechEngine(value).rawValue() == raw) {
            return SpeechEngine(value);
        }
    }
    return std::nullopt;
}

std::string_view SpeechEngine::rawValue() const { return value_ == speech ? "speech" : "dictation"; }

// Both run the installed whisper model; they differ only in whether hints become its prompt.
std::string_view SpeechEngine::title(bool chinese) const
{
    if (chinese) {
        return value_ == speech ? "Whisper 語音模型" : "Whisper＋提示詞";
    }
    return value_ == speech ? "Whisper speech model" : "Whisper with hints";
}

std::string SpeechEngine::title(bool chinese, std::string_view installedModel) const
{
    // Without a model the generic titles stay; the status line already says one is missing.
    if (installedModel.empty()) {
        return std::string(title(chinese));
    }
    // Short enough that the pop-up keeps the width the settings were laid out for.
    const std::string model =
        "Whisper " + std::string(installedModel == "large-v3-turbo" ? "turbo" : installedModel);
    if (value_ == speech) {
        return model;
    }
    return model + (chinese ? "＋提示詞" : " + hints");
}

std::string_view SpeechEngine::detail() const { return value_ == speech ? " · 準確度優先" : " · 可用提示詞"; }

std::string_view SpeechEngine::englishDetail() const
{
    return value_ == speech ? " · Accuracy first" : " · Supports hints";
}

} // namespace kivo
