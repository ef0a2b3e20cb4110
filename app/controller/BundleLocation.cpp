#include "app/controller/BundleLocation.h"

#include <nlohmann/json.hpp>

#include <fstream>

namespace kivo::BundleLocation {

std::filesystem::path bundleDirectory(const std::filesystem::path& executableDirectory)
{
    return executableDirectory.parent_path();
}

std::filesystem::path resourcesDirectory(const std::filesystem::path& executableDirectory)
{
    return bundleDirectory(executableDirectory) / "Resources";
}

std::string shortVersion(const std::filesystem::path& bundleDirectory)
{
    std::ifstream file(bundleDirectory / "Info.json");
    if (!file) {
        return "dev";
    }
    const auto info = nlohmann::json::parse(file, nullptr, false);
    if (info.is_object()) {
        if (const auto version = info.find("CFBundleShortVersionString");
            version != info.end() && version->is_string()) {
            return version->get<std::string>();
        }
    }
    return "dev";
}

} // namespace kivo::BundleLocation
