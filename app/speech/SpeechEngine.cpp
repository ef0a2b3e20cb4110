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

std::string_view SpeechEngine::title() const { return value_ == speech ? "Apple Speech" : "Apple Dictation"; }

std::string_view SpeechEngine::detail() const { return value_ == speech ? " · 準確度優先" : " · 可用提示詞"; }

std::string_view SpeechEngine::englishDetail() const
{
    return value_ == speech ? " · Accuracy first" : " · Supports hints";
}

} // namespace kivo
