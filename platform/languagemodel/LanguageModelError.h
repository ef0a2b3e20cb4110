#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

namespace kivo {

// The one error type of the language model layer. what() is the user-facing description;
// debugDescription() names the case and its detail.
class LanguageModelError : public std::runtime_error {
public:
    enum class Case {
        unavailable, // an operation that needs the model ran without one
        tokenizationFailed,
        templateFailed,                // the model's chat template could not be rendered
        grammarFailed,                 // the schema could not be turned into a grammar
        exceededContextWindowSize,     // the rendered prompt does not fit the context
        decodingFailed,                // the runtime failed while evaluating tokens
        exceededMaximumResponseTokens, // the response cap was hit before the record closed
        invalidGeneratedContent,       // the output is not a record of the schema
    };

    static constexpr std::string_view typeName = "kivo.LanguageModelError";

    LanguageModelError(Case errorCase, std::string detail);

    Case errorCase() const { return case_; }
    const std::string& detail() const { return detail_; }
    static std::string_view rawValue(Case errorCase);

    // e.g. LanguageModelError.exceededMaximumResponseTokens("2048 tokens")
    std::string debugDescription() const;

private:
    Case case_;
    std::string detail_;
};

} // namespace kivo
