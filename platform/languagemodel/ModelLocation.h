#pragma once

#include <filesystem>
#include <optional>
#include <vector>

namespace kivo {

// Where the language model file is looked for: the user's XDG data folder first, then the
// system-wide one. The file is always named language-model.gguf.
namespace ModelLocation {

inline constexpr const char* fileName = "language-model.gguf";

// The places searched, in order, for the given environment values (null when unset).
// XDG_DATA_HOME counts only when it is an absolute path, as the XDG rules say.
std::vector<std::filesystem::path> candidates(const char* xdgDataHome, const char* home);

// The same for this process's environment.
std::vector<std::filesystem::path> candidates();

// The first candidate that exists, if any.
std::optional<std::filesystem::path> resolve(const std::vector<std::filesystem::path>& candidates);

} // namespace ModelLocation
} // namespace kivo
