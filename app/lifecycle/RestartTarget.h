#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace kivo::RestartTarget {

// The bundle that Restart reopens: the development launcher when it is a bundle of this app
// with an executable program, otherwise the running bundle. Symbolic links are resolved.
std::filesystem::path resolve(const std::filesystem::path& current,
                              const std::optional<std::filesystem::path>& launcher,
                              const std::string& bundleIdentifier);

} // namespace kivo::RestartTarget
