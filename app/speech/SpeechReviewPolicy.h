#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace kivo {

// Decides whether a final transcript carries no real words and must not be converted
// automatically.
namespace SpeechReviewPolicy {

enum class Reason {
    empty,
    numbersOnly,
    hesitationOnly
};

std::string_view rawValue(Reason reason);
std::optional<Reason> reasonFromRawValue(std::string_view raw);

// None: the transcript may be processed normally.
std::optional<Reason> reason(const std::string& text);

} // namespace SpeechReviewPolicy
} // namespace kivo
