#include "platform/bundle/AppBundle.h"

#include <nlohmann/json.hpp>

#include <fstream>
#include <system_error>

#include <unistd.h>

namespace kivo {

std::optional<AppBundle> AppBundle::open(const std::filesystem::path& directory)
{
    std::error_code error;
    if (!std::filesystem::is_directory(directory, error)) {
        return std::nullopt;
    }
    std::ifstream file(directory / "Info.json");
    if (!file) {
        return std::nullopt;
    }
    const auto info = nlohmann::json::parse(file, nullptr, false);
    if (!info.is_object()) {
        return std::nullopt;
    }
    AppBundle bundle;
    bundle.path_ = directory;
    for (const auto& [key, value] : info.items()) {
        if (value.is_string()) {
            bundle.strings_.emplace(key, value.get<std::string>());
        }
    }
    return bundle;
}

std::optional<std::string> AppBundle::string(const std::string& key) const
{
    const auto found = strings_.find(key);
    if (found == strings_.end()) {
        return std::nullopt;
    }
    return found->second;
}

std::optional<std::filesystem::path> AppBundle::executablePath() const
{
    const auto name = string("CFBundleExecutable");
    // A name with a slash could point outside the bundle.
    if (!name || name->empty() || name->find('/') != std::string::npos || *name == "." || *name == "..") {
        return std::nullopt;
    }
    return path_ / "bin" / *name;
}

bool AppBundle::hasExecutableFile() const
{
    const auto executable = executablePath();
    return executable && isExecutableFile(*executable);
}

bool isExecutableFile(const std::filesystem::path& path)
{
    std::error_code error;
    return std::filesystem::is_regular_file(path, error) && ::access(path.c_str(), X_OK) == 0;
}

} // namespace kivo
