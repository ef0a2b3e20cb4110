#pragma once

#include <filesystem>
#include <string>

namespace kivo {

// A trial load of a model file, run in a process of its own (kivo-model-check) so that a file
// the runtime crashes on, or that asks for more memory or time than is allowed, ends only
// that process.
struct ModelCheck {
    enum class Kind {
        speech,
        language
    };

    struct Result {
        bool usable = false;
        std::string english; // for a usable file what the runtime reports, else what is wrong
        std::string chinese;
    };

    // Checks the headers, then loads the file as the app would. Never throws.
    static Result run(Kind kind, const std::filesystem::path& file);

    // The one JSON line the program prints: {"usable":..,"english":..,"chinese":..}.
    static std::string toJson(const Result& result);
};

} // namespace kivo
