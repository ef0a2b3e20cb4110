#pragma once

#include "app/models/ModelRole.h"

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

namespace kivo {

// Loads a model file in a child process (kivo-model-check) with an address-space and a time
// limit: the runtimes abort, allocate without bound or spin on some damaged files, and that
// must end the child, never the panel.
struct ModelTrialLoad {
    struct Limits {
        std::uint64_t addressSpace = 0; // bytes
        std::chrono::milliseconds time{0};
    };
    // 1 GiB for the runtime and its threads plus twice the file (mapped, or read and copied).
    static Limits limitsFor(std::uint64_t fileSize);

    struct Outcome {
        bool usable = false;
        std::string english; // the runtime's report, or what is wrong (after the file's name)
        std::string chinese;
    };

    // $KIVO_MODEL_CHECK when set, else kivo-model-check in the bundle's Resources (next to the
    // bin/ holding this program); none when neither exists.
    static std::optional<std::filesystem::path> checker();

    // Runs `checker` on `file`. A crash, a limit reached or no verdict is an unusable file.
    static Outcome run(const std::filesystem::path& checker, ModelRole role, const std::filesystem::path& file,
                       const Limits& limits);
};

} // namespace kivo
