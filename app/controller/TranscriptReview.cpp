#include "app/controller/TranscriptReview.h"

#include "platform/text/CharacterClass.h"
#include "platform/text/Utf16.h"

namespace kivo::TranscriptReview {

std::optional<Reason> reason(const std::string& text)
{
    if (CharacterClass::trimWhitespaceAndNewlines(Utf16::fromUtf8(text)).empty()) {
        return Reason::empty;
    }
    return std::nullopt;
}

} // namespace kivo::TranscriptReview
