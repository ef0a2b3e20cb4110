#pragma once

#include <filesystem>
#include <string>

namespace kivo::BundleLocation {

// The installed bundle is one folder: bin/Kivo, Resources/ and Info.json at its root.
std::filesystem::path bundleDirectory(const std::filesystem::path& executableDirectory);
std::filesystem::path resourcesDirectory(const std::filesystem::path& executableDirectory);

// "CFBundleShortVersionString" of the bundle's Info.json, or "dev" without one.
std::string shortVersion(const std::filesystem::path& bundleDirectory);

} // namespace kivo::BundleLocation
