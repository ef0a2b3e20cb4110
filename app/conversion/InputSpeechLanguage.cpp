#include "app/conversion/InputSpeechLanguage.h"

namespace kivo {

std::optional<InputSpeechLanguage> InputSpeechLanguage::fromRawValue(std::string_view raw)
{
    for (const Value value : allCases) {
        if (InputSpeechLanguage(value).rawValue() == raw) {
            return InputSpeechLanguage(value);
        }
    }
    return std::nullopt;
}

std::string_view InputSpeechLanguage::rawValue() const
{
    switch (value_) {
    case cantonese: return "zh-HK";
    }
    return {};
}

} // namespace kivo
