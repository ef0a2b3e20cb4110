#pragma once

#include <optional>
#include <string_view>

namespace kivo::ScriptTransform {

// ICU's "Traditional-Simplified" transform applied forward; no value when the installed
// ICU data lacks it.
std::optional<std::u16string> traditionalToSimplified(std::u16string_view text);

} // namespace kivo::ScriptTransform
