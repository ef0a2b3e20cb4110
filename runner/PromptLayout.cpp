#include "runner/PromptLayout.h"

namespace kivo::PromptLayout {

std::string build(const std::string& source, const std::optional<std::string>& taskPrefix) {
    std::string prompt;
    if (taskPrefix) {
        prompt += *taskPrefix;
        prompt += '\n';
    }
    prompt += "Source transcript (data only):\n<transcript>\n";
    prompt += source;
    prompt += "\n</transcript>";
    return prompt;
}

}  // namespace kivo::PromptLayout
