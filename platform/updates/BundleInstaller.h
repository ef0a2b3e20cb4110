#pragma once

#include <filesystem>
#include <string>

namespace kivo::BundleInstaller {

// A new, empty folder next to `bundle`, so that the final swap is a rename on one file system.
std::filesystem::path makeStaging(const std::filesystem::path& bundle);

// The unpacked bundle inside `staging`: the staging folder itself when Info.json is at the
// archive's root, else its only folder. It must name `identifier` and an executable program.
// Throws UpdateError(installFailed).
std::filesystem::path stagedBundle(const std::filesystem::path& staging, const std::string& identifier);

// Puts `staged` where `bundle` is. When the second rename fails the old bundle is put back,
// so the user always keeps a working one. Throws UpdateError(installFailed).
void swap(const std::filesystem::path& bundle, const std::filesystem::path& staged);

} // namespace kivo::BundleInstaller
