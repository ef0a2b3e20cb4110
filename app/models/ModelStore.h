#pragma once

#include "app/models/ModelRole.h"

#include <filesystem>
#include <optional>
#include <vector>

namespace kivo {

// Where the models live: the places the recorder and the runner search, in their order, and
// the user's folder Kivo installs into.
struct ModelStore {
    // The places searched for the role's file: $XDG_DATA_HOME/kivo/models (default
    // ~/.local/share/kivo/models), then /usr/share/kivo/models.
    static std::vector<std::filesystem::path> searched(ModelRole role);
    // The user's folder; empty when neither XDG_DATA_HOME nor HOME is an absolute path.
    static std::filesystem::path folder();
    // The fixed path in the user's folder, and the partial download next to it.
    static std::filesystem::path target(ModelRole role);
    static std::filesystem::path partial(ModelRole role);
    // The file the runtime would read now, if any.
    static std::optional<std::filesystem::path> installed(ModelRole role);
};

} // namespace kivo
