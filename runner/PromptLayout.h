#pragma once

#include <cstddef>
#include <optional>
#include <string>

namespace kivo {

// The prompt the model answers: an optional task line, then the source inside a transcript
// block that marks it as data rather than instructions.
namespace PromptLayout {

// [taskPrefix "\n"] "Source transcript (data only):\n<transcript>\n" source "\n</transcript>"
std::string build(const std::string& source, const std::optional<std::string>& taskPrefix);
// Bytes of the prompt before the source: the same for every source.
std::size_t sourceOffset(const std::optional<std::string>& taskPrefix);
// The prompt a preparation run lays out: a one-letter stand-in in place of the source, since a
// transcript begins with a letter and so the tokens before it are the ones a conversion keeps.
std::string withoutSource(const std::optional<std::string>& taskPrefix);

} // namespace PromptLayout
} // namespace kivo
