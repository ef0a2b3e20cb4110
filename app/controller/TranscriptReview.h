#pragma once

#include <optional>
#include <string>

namespace kivo::TranscriptReview {

// Why a final transcript is held back from automatic conversion.
enum class Reason { empty, numbersOnly, hesitationOnly };

// Only the blank transcript is recognised here; the speech subsystem's review policy, with its
// number and hesitation rules, replaces this when it lands.
std::optional<Reason> reason(const std::string& text);

} // namespace kivo::TranscriptReview
