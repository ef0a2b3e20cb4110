#include "runner/PromptLayout.h"

namespace kivo::PromptLayout {

namespace {

std::string opening(const std::optional<std::string>& taskPrefix)
{
    std::string text;
    if (taskPrefix) {
        text += *taskPrefix;
        text += '\n';
    }
    text += "Source transcript (data only):\n<transcript>\n";
    return text;
}

} // namespace

std::size_t sourceOffset(const std::optional<std::string>& taskPrefix)
{
    return opening(taskPrefix).size();
}

std::string build(const std::string& source, const std::optional<std::string>& taskPrefix)
{
    std::string prompt = opening(taskPrefix);
    prompt += source;
    prompt += "\n</transcript>";
    return prompt;
}

std::string withoutSource(const std::optional<std::string>& taskPrefix)
{
    return build("好", taskPrefix);
}

} // namespace kivo::PromptLayout
