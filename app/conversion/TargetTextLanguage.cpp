#include "app/conversion/TargetTextLanguage.h"

namespace kivo {

std::optional<TargetTextLanguage> TargetTextLanguage::fromRawValue(std::string_view raw)
{
    for (const Value value : allCases) {
        if (TargetTextLanguage(value).rawValue() == raw) {
            return TargetTextLanguage(value);
        }
    }
    return std::nullopt;
}

std::string_view TargetTextLanguage::rawValue() const
{
    switch (value_) {
    case cantonese: return "yue-Hant";
    case traditional: return "zh-Hant";
    case simplified: return "zh-Hans";
    case english: return "en";
    }
    return {};
}

std::string_view TargetTextLanguage::title() const
{
    switch (value_) {
    case cantonese: return "粵語";
    case traditional: return "繁體中文";
    case simplified: return "簡體中文";
    case english: return "英文";
    }
    return {};
}

std::string_view TargetTextLanguage::englishTitle() const
{
    switch (value_) {
    case cantonese: return "Cantonese";
    case traditional: return "Traditional Chinese";
    case simplified: return "Simplified Chinese";
    case english: return "English";
    }
    return {};
}

WritingMode TargetTextLanguage::mode() const
{
    switch (value_) {
    case cantonese: return WritingMode::cantonese;
    case traditional: return WritingMode::written;
    case simplified: return WritingMode::simplified;
    case english: return WritingMode::english;
    }
    return WritingMode::written;
}

TargetTextLanguage TargetTextLanguage::restored(std::optional<std::string_view> rawValue,
                                                std::optional<std::string_view> legacyMode)
{
    if (rawValue) {
        return fromRawValue(*rawValue).value_or(traditional);
    }
    return legacyMode && *legacyMode == "cantonese" ? cantonese : traditional;
}

} // namespace kivo
