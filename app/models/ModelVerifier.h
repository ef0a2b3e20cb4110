#pragma once

#include "app/models/ModelRole.h"

#include <filesystem>
#include <stop_token>
#include <string>

namespace kivo {

// The checks every model file passes before it is put at its fixed path.
struct ModelVerifier {
    // What the runtime reports about a file that passed.
    struct Report {
        std::string english; // e.g. "general(qwen2 1.5B Q4_K - Medium)" or "vocabulary 51866: Cantonese (yue)"
        std::string chinese;
    };

    // The file's header, then the runtime's own availability check (a trial load). Throws
    // ModelError (invalidFile) saying what is wrong, naming the file as `shownAs` (default:
    // its own name), e.g. the imported original rather than its copy.
    static Report check(const std::filesystem::path& file, ModelRole role, const std::string& shownAs = {});

    // Only the header: quick, for refusing an import before copying it.
    static void checkHeader(const std::filesystem::path& file, ModelRole role, const std::string& shownAs = {});

    // Throws ModelError (checksumMismatch; cancelled when stopped) unless the file's SHA-256
    // is `expected`.
    static void checkSum(const std::filesystem::path& file, const std::string& expected,
                         const std::stop_token& stop = {});
};

} // namespace kivo
