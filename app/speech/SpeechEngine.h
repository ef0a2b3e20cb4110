#pragma once

#include <QCoreApplication>

#include <array>
#include <optional>
#include <string>
#include <string_view>

namespace kivo {

// Which on-device transcriber a recording uses; the raw value is what the preferences store.
class SpeechEngine {
    Q_DECLARE_TR_FUNCTIONS(SpeechEngine)

public:
    enum Value : unsigned char {
        speech,
        dictation
    };

    constexpr SpeechEngine(Value value) : value_(value) {} // NOLINT(google-explicit-constructor)
    constexpr operator Value() const { return value_; }    // NOLINT(google-explicit-constructor)

    static constexpr std::array<Value, 2> allCases{speech, dictation};
    static std::optional<SpeechEngine> fromRawValue(std::string_view raw);

    std::string_view rawValue() const;
    // Titles and detail are in the interface language.
    std::string title() const;
    // The title naming the installed model by its size ("base"); the plain title when empty.
    std::string title(std::string_view installedModel) const;
    std::string detail() const;
    // Only the dictation transcriber takes recognition hints.
    bool acceptsHints() const { return value_ == dictation; }

private:
    Value value_;
};

} // namespace kivo
