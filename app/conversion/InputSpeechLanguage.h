#pragma once

#include <array>
#include <optional>
#include <string_view>

namespace kivo {

// The language the user speaks.
class InputSpeechLanguage {
public:
    enum Value : unsigned char {
        cantonese
    };

    constexpr InputSpeechLanguage(Value value) : value_(value) {} // NOLINT(google-explicit-constructor)
    constexpr operator Value() const { return value_; }           // NOLINT(google-explicit-constructor)

    static constexpr std::array<Value, 1> allCases{cantonese};
    static std::optional<InputSpeechLanguage> fromRawValue(std::string_view raw);
    std::string_view rawValue() const;

private:
    Value value_;
};

} // namespace kivo
