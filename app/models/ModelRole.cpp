#include "app/models/ModelRole.h"

#include "platform/languagemodel/ModelLocation.h"
#include "platform/speech/SpeechModelFile.h"

namespace kivo::ModelRoles {

std::string_view rawValue(ModelRole role)
{
    return role == ModelRole::speech ? "speech" : "language";
}

std::optional<ModelRole> named(std::string_view name)
{
    for (const ModelRole role : allCases) {
        if (rawValue(role) == name) {
            return role;
        }
    }
    return std::nullopt;
}

std::string_view fileName(ModelRole role)
{
    return role == ModelRole::speech ? SpeechModelFile::fileName : ModelLocation::fileName;
}

} // namespace kivo::ModelRoles
