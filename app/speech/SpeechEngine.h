#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

namespace kivo {

// Which on-device transcriber a recording uses; the raw value is what the preferences store.
class SpeechEngine {
public:
    enum Value : unsigned char { speech, dictation };

    constexpr SpeechEngine(Value value) : value_(value) {} // NOLINT(google-explicit-constructor)
    constexpr operator Value() const { return value_; }   // NOLINT(google-explicit-constructor)

    static constexpr std::array<Value, 2> allCases{speech, dictation};
    static std::optional<SpeechEngine> fromRawValue(std::string_view raw);

    std::string_view rawValue() const;
    std::string_view title(bool chinese) const;
    // The title naming the installed model by its size ("base"); the plain title when empty.
    std::string title(bool chinese, std::string_view installedModel) const;
    std::string_view detail() const; // Chinese interface
    std::string_view englishDetail() const;
    // Only the dictation transcriber takes recognition hints.
    bool acceptsHints() const { return value_ == dictation; }

private:
    Value value_;
};

} // namespace kivo
