#pragma once

#include "app/conversion/ConversionError.h"
#include "app/conversion/PreparedRequest.h"
#include "app/conversion/SourceLimit.h"
#include "platform/text/TextRange.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace kivo::WrittenChinesePreparation {

// Fenced and inline code, bracketed titles, quotations and http(s) URLs: phrase rules never
// rewrite inside them. Unclosed forms run to the end of the text.
inline constexpr std::string_view protectedRegionPattern =
    "```[\\s\\S]*?(?:```|$)|`[^`]*(?:`|$)|\u300C[^\u300D]*(?:\u300D|$)|\u300E[^\u300F]*(?:\u300F|$)"
    "|\u300A[^\u300B]*(?:\u300B|$)|\u3008[^\u3009]*(?:\u3009|$)|\u201C[^\u201D]*(?:\u201D|$)"
    "|\\\"(?:\\\\.|[^\\\"\\\\])*(?:\\\"|$)|'[^']*(?:'|$)"
    "|https?://[^\\s<>\\\"\uFF0C\u3002\uFF01\uFF1F\u3001]+";

struct Rule {
    std::string from;
    std::string to;
};

using Change = PhraseChange;

struct Normalized {
    std::string text;
    std::vector<Change> changes;
};

class PreparationError : public ConversionError {
public:
    enum class Code {
        emptyOrOversizedSource = 0
    };
    explicit PreparationError(Code code = Code::emptyOrOversizedSource);
};

const std::vector<Rule>& rules();
// ("寫低", "寫下"), applied only at a sentence start.
const Rule& bareWriteRule();

// Matches of the protected-region pattern, left to right without overlap (UTF-16 ranges).
std::vector<TextRange> protectedRegions(std::u16string_view text);

Normalized normalize(const std::string& text);
Normalized normalize(const std::string& text, const std::vector<Rule>& rules, bool includeBareWriteRule);

PreparedRequest request(const std::string& source, const std::filesystem::path& resources,
                        const std::string& instructionsFile = "v8-base.txt", bool protectQuotations = false);

} // namespace kivo::WrittenChinesePreparation
