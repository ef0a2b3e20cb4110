#pragma once

#include "app/conversion/ConversionError.h"
#include "app/conversion/RequestDictionary.h"
#include "app/conversion/V7Literals.h"
#include "platform/text/TextRange.h"

#include <array>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kivo {

// The conversion style derived from the output language: how the request is built, how the
// model's answer is post-processed and when it must be reviewed.
class WritingMode {
public:
    enum Value : unsigned char { cantonese, written, simplified, english };

    class InputError : public ConversionError {
    public:
        enum class Code { invalidSelection = 0, emptyOrTooLong = 1, cleanupChangedWords = 2 };
        explicit InputError(Code code);
        Code reason() const { return code_; }

    private:
        Code code_;
    };

    static constexpr std::size_t sourceByteLimit = 24000;
    static constexpr std::string_view cantoneseTaskPrefix = "只輸出處理後的正文。";
    static constexpr std::string_view writtenTaskPrefix =
        "將以下口述文字整理成自然流暢的繁體書面語，保留原意與必要細節，補好斷句及標點。";

    constexpr WritingMode(Value value) : value_(value) {} // NOLINT(google-explicit-constructor)
    constexpr operator Value() const { return value_; }   // NOLINT(google-explicit-constructor)

    static constexpr std::array<Value, 4> allCases{cantonese, written, simplified, english};
    static std::optional<WritingMode> fromRawValue(std::string_view raw);

    std::string_view rawValue() const;
    std::string_view title() const;
    std::string_view detail() const; // Chinese interface
    std::string_view englishDetail() const;

    // The part of `text` inside the UTF-16 `range`; a range of length 0 or less selects all.
    // Throws InputError::invalidSelection for a range outside the text or splitting a character.
    static std::string selectedSource(const std::string& text, TextRange range);

    // The request sent to the rewrite runner. Reads the instruction and example files from
    // `resources` on every call.
    RequestDictionary request(const std::string& source, const std::filesystem::path& resources) const;

    // The model's answer with this mode's fixes applied and the literals put back.
    std::string restore(const std::string& modelText, const std::string& source,
                        const std::vector<V7Literals::Span>& spans) const;

    // Whether the user must compare the result with the source before it may be used.
    bool needsReview(const std::string& result, const std::optional<std::string>& source) const;

private:
    bool needsReviewUnchecked(const std::string& result, const std::optional<std::string>& source) const;

    Value value_;
};

} // namespace kivo
