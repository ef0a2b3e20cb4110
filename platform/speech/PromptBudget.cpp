#include "platform/speech/PromptBudget.h"

#include <algorithm>

namespace kivo::PromptBudget {

Plan fit(const std::vector<Tokens>& hints, const Tokens& separator, std::size_t budget)
{
    Plan plan;
    for (std::size_t index = 0; index < hints.size(); ++index) {
        const Tokens& hint = hints[index];
        if (hint.empty()) {
            continue;
        }
        const bool repeated = std::any_of(plan.chosen.begin(), plan.chosen.end(),
                                          [&](std::size_t earlier) { return hints[earlier] == hint; });
        const std::size_t cost = hint.size() + separator.size();
        if (repeated || plan.tokens.size() + cost > budget) {
            continue;
        }
        plan.chosen.push_back(index);
        plan.tokens.insert(plan.tokens.end(), hint.begin(), hint.end());
        plan.tokens.insert(plan.tokens.end(), separator.begin(), separator.end());
    }
    return plan;
}

Tokens prompt(const Tokens& hints, const Tokens& previous, std::size_t capacity)
{
    Tokens out(hints.begin(), hints.begin() + static_cast<std::ptrdiff_t>(std::min(hints.size(), capacity)));
    const std::size_t room = capacity - out.size();
    const std::size_t taken = std::min(room, previous.size());
    out.insert(out.end(), previous.end() - static_cast<std::ptrdiff_t>(taken), previous.end());
    return out;
}

} // namespace kivo::PromptBudget
