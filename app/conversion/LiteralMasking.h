#pragma once

#include "app/conversion/ConversionError.h"
#include "platform/text/TextRange.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace kivo::LiteralMasking {

// Placeholder tokens: "⟦KIVO7_" + index + "⟧". The prefix is reserved in every source text.
inline constexpr std::string_view tokenPrefix = "\u27E6KIVO7_";

// Appended to the model's instructions whenever a request carries at least one span.
inline constexpr std::string_view protectedLiteralNote =
    "\n\u27E6KIVO7_數字\u27E7 是不可改動的原文片段，必須每個原樣出現一次，維持順序；不可翻譯、刪除或解釋。";

inline constexpr std::string_view literalPattern =
    R"([A-Za-z0-9][A-Za-z0-9_./:%?=&@+#\-]*(?:[ \t]+[A-Za-z0-9][A-Za-z0-9_./:%?=&@+#\-]*)*)";
inline constexpr std::string_view quotationPattern =
    "\u300C[^\u300D]*\u300D|\u300E[^\u300F]*\u300F|\u201C[^\u201D]*\u201D|\"[^\"\\n]*\"";
inline constexpr std::string_view tokenPattern = "\u27E6KIVO7_[^\u27E7]*\u27E7";

struct Span {
    std::string token;
    std::string value;
    friend bool operator==(const Span&, const Span&) = default;
};

struct Masked {
    std::string text;
    std::vector<Span> spans;
};

class ProtectionError : public ConversionError {
public:
    enum class Code {
        reservedMarker = 0,
        literalMismatch = 1
    };
    explicit ProtectionError(Code code);
    Code reason() const { return code_; }

private:
    Code code_;
};

std::string token(std::size_t index);

// Matches of the quotation pattern alone, left to right without overlap (UTF-16 ranges).
std::vector<TextRange> findQuotations(std::u16string_view text);

// Replaces every Latin-script literal (and, on request, every quotation) by a numbered token.
// Throws ProtectionError::reservedMarker when the text already holds the token prefix.
Masked mask(const std::string& text, bool protectQuotations = false);

// Puts the literals back. The model's tokens must equal the spans' tokens exactly, in order.
std::string restore(const std::string& text, const std::vector<Span>& spans);

} // namespace kivo::LiteralMasking
