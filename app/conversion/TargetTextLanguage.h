#pragma once

#include "app/conversion/WritingMode.h"

#include <array>
#include <optional>
#include <string_view>

namespace kivo {

// The output language the user picks; the order is the panel's order of choices.
class TargetTextLanguage {
public:
    enum Value : unsigned char { cantonese, traditional, simplified, english };

    constexpr TargetTextLanguage(Value value) : value_(value) {} // NOLINT(google-explicit-constructor)
    constexpr operator Value() const { return value_; }          // NOLINT(google-explicit-constructor)

    static constexpr std::array<Value, 4> allCases{cantonese, traditional, simplified, english};
    static std::optional<TargetTextLanguage> fromRawValue(std::string_view raw);

    std::string_view rawValue() const;
    std::string_view title() const;        // Chinese interface
    std::string_view englishTitle() const;
    WritingMode mode() const;

    // The language a stored preferences record names: unknown raw values fall back to
    // traditional; records from before this key existed only knew "cantonese" as a mode.
    static TargetTextLanguage restored(std::optional<std::string_view> rawValue,
                                       std::optional<std::string_view> legacyMode);

private:
    Value value_;
};

} // namespace kivo
