#pragma once

#include <filesystem>
#include <map>
#include <optional>
#include <string>

namespace kivo {

// How fast this computer runs each model shape, measured once and kept in
// $XDG_CACHE_HOME/kivo/machine-speed.json. A measurement stands only for the processor and
// the runtime it was made with; another of either measures again.
struct MachineSpeed {
    std::string processor; // the model name and the core count
    std::string runtime;   // the runtimes' versions and the processor features they use
    // Encoder seconds per second of audio, by speech shape (base, small, large-v3-turbo).
    std::map<std::string, double> speechSecondsPerSecond;
    // Seconds for a long conversion, by language shape (0.5b, 1.5b, 3b).
    std::map<std::string, double> languageSeconds;
    // The highest 1-minute load average seen while measuring. Measured at idle priority, a busy
    // computer gives figures far slower than it is; those are shown but not kept.
    double loadAverage = 0.0;
    bool measuredWhileBusy() const;

    static double currentLoadAverage();

    static std::string thisProcessor();
    static std::filesystem::path cacheFile();

    std::string toJson() const;
    // None for text that is not a measurement of this form.
    static std::optional<MachineSpeed> fromJson(const std::string& json);

    // The measurement in `file` when it was made on `processor` with `runtime`.
    static std::optional<MachineSpeed> cached(const std::string& processor, const std::string& runtime,
                                              const std::filesystem::path& file = cacheFile());
    // Written whole through a temporary file; false when it could not be written.
    bool save(const std::filesystem::path& file = cacheFile()) const;
};

} // namespace kivo
