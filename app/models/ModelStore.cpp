#include "app/models/ModelStore.h"

#include "platform/languagemodel/ModelLocation.h"

namespace kivo {

std::vector<std::filesystem::path> ModelStore::searched(ModelRole role)
{
    // One rule for both files: the language model's (an absolute XDG_DATA_HOME, else HOME).
    auto places = ModelLocation::candidates();
    for (auto& place : places) {
        place.replace_filename(std::string(ModelRoles::fileName(role)));
    }
    return places;
}

std::filesystem::path ModelStore::folder()
{
    const auto places = ModelLocation::candidates();
    return places.size() > 1 ? places.front().parent_path() : std::filesystem::path();
}

std::filesystem::path ModelStore::target(ModelRole role)
{
    const auto base = folder();
    return base.empty() ? base : base / std::string(ModelRoles::fileName(role));
}

std::filesystem::path ModelStore::partial(ModelRole role)
{
    const auto base = folder();
    return base.empty() ? base : base / (std::string(ModelRoles::fileName(role)) + ".part");
}

std::optional<std::filesystem::path> ModelStore::installed(ModelRole role)
{
    for (const auto& place : searched(role)) {
        std::error_code error;
        if (std::filesystem::is_regular_file(place, error)) {
            return place;
        }
    }
    return std::nullopt;
}

} // namespace kivo
