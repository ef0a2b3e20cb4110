#include "platform/languagemodel/LanguageModelError.h"

namespace kivo {
namespace {

std::string describe(LanguageModelError::Case errorCase)
{
    using Case = LanguageModelError::Case;
    switch (errorCase) {
    case Case::unavailable: return "The language model is not available.";
    case Case::tokenizationFailed: return "The language model could not read the text.";
    case Case::templateFailed: return "The language model's chat template could not be applied.";
    case Case::grammarFailed: return "The response format could not be prepared.";
    case Case::exceededContextWindowSize: return "The request is too long for the language model.";
    case Case::decodingFailed: return "The language model failed while generating.";
    case Case::exceededMaximumResponseTokens: return "The response reached its length limit before it was complete.";
    case Case::invalidGeneratedContent: return "The language model's response was not in the expected format.";
    }
    return "The language model failed.";
}

std::string quoted(const std::string& text)
{
    std::string out = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
        }
        out += c;
    }
    out += '"';
    return out;
}

} // namespace

LanguageModelError::LanguageModelError(Case errorCase, std::string detail)
    : std::runtime_error(describe(errorCase)), case_(errorCase), detail_(std::move(detail))
{
}

std::string_view LanguageModelError::rawValue(Case errorCase)
{
    switch (errorCase) {
    case Case::unavailable: return "unavailable";
    case Case::tokenizationFailed: return "tokenizationFailed";
    case Case::templateFailed: return "templateFailed";
    case Case::grammarFailed: return "grammarFailed";
    case Case::exceededContextWindowSize: return "exceededContextWindowSize";
    case Case::decodingFailed: return "decodingFailed";
    case Case::exceededMaximumResponseTokens: return "exceededMaximumResponseTokens";
    case Case::invalidGeneratedContent: return "invalidGeneratedContent";
    }
    return "unknown";
}

std::string LanguageModelError::debugDescription() const
{
    return "LanguageModelError." + std::string(rawValue(case_)) + "(" + quoted(detail_) + ")";
}

} // namespace kivo
