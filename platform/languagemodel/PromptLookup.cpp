#include "platform/languagemodel/PromptLookup.h"

#include <algorithm>
#include <optional>

namespace kivo {

PromptLookup::PromptLookup(std::vector<Token> source) : source_(std::move(source)) {}

std::vector<PromptLookup::Token> PromptLookup::draft(const std::vector<Token>& answer, std::size_t count)
{
    if (count == 0) {
        return {};
    }
    for (std::size_t length = std::min(longestMatch, answer.size()); length > 0; --length) {
        const auto tail = answer.end() - static_cast<std::ptrdiff_t>(length);
        std::optional<std::size_t> first;
        std::optional<std::size_t> forward;
        // A match is only useful with at least one token after it.
        for (std::size_t at = 0; at + length < source_.size(); ++at) {
            if (!std::equal(tail, answer.end(), source_.begin() + static_cast<std::ptrdiff_t>(at))) {
                continue;
            }
            if (!first) {
                first = at;
            }
            if (at + length >= cursor_) {
                forward = at;
                break;
            }
        }
        if (first) {
            draftStart_ = forward.value_or(*first) + length;
            const std::size_t end = std::min(source_.size(), draftStart_ + count);
            return {source_.begin() + static_cast<std::ptrdiff_t>(draftStart_),
                    source_.begin() + static_cast<std::ptrdiff_t>(end)};
        }
    }
    return {};
}

void PromptLookup::accepted(std::size_t count)
{
    cursor_ = draftStart_ + count;
}

} // namespace kivo
