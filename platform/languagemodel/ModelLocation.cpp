#include "platform/languagemodel/ModelLocation.h"

#include <cstdlib>
#include <system_error>

namespace kivo::ModelLocation {

std::vector<std::filesystem::path> candidates(const char* xdgDataHome, const char* home)
{
    std::vector<std::filesystem::path> places;
    const std::filesystem::path relative = std::filesystem::path("kivo") / "models" / fileName;
    if (xdgDataHome && std::filesystem::path(xdgDataHome).is_absolute()) {
        places.push_back(std::filesystem::path(xdgDataHome) / relative);
    } else if (home && std::filesystem::path(home).is_absolute()) {
        places.push_back(std::filesystem::path(home) / ".local" / "share" / relative);
    }
    places.push_back(std::filesystem::path("/usr/share") / relative);
    return places;
}

std::vector<std::filesystem::path> candidates()
{
    return candidates(std::getenv("XDG_DATA_HOME"), std::getenv("HOME"));
}

std::optional<std::filesystem::path> resolve(const std::vector<std::filesystem::path>& places)
{
    for (const auto& place : places) {
        std::error_code error;
        if (std::filesystem::exists(place, error)) {
            return place;
        }
    }
    return std::nullopt;
}

} // namespace kivo::ModelLocation
