#pragma once

#include "app/models/ModelCatalogue.h"
#include "app/models/ModelVerifier.h"

#include <chrono>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <functional>
#include <optional>
#include <stop_token>

namespace kivo {

// Downloads, imports and removals of the two model files. Every new file is written next to
// its fixed path, checked, and only then renamed onto it, so the recorder and the runner read
// the previous file until that moment and never a partial one. One operation per model at a
// time, also across processes.
struct ModelInstaller {
    struct Progress {
        enum class Phase {
            downloading,
            verifying
        };
        Phase phase = Phase::downloading;
        std::uint64_t received = 0;
        std::uint64_t total = 0; // 0 while unknown
        double bytesPerSecond = 0;
        std::optional<double> secondsLeft;
    };
    using ProgressHandler = std::function<void(const Progress&)>;

    struct Result {
        std::filesystem::path file;
        ModelVerifier::Report report;
        std::uint64_t resumedFrom = 0;
        bool restartedFromZero = false; // the server does not resume, so it came whole again
    };

    // Throws ModelError. A failed or cancelled transfer keeps the partial file for a resume;
    // a file that fails its checks is deleted.
    static Result download(const ModelCatalogue::Entry& entry, const ProgressHandler& onProgress,
                           const std::stop_token& stop = {});
    // Copies a local file in with the same checks. Throws ModelError.
    static Result importFile(const std::filesystem::path& source, ModelRole role, const std::stop_token& stop = {});
    // Checks the file the runtime reads now. Throws ModelError (notInstalled, invalidFile).
    static Result verifyInstalled(ModelRole role);
    // Deletes the user's file and any partial download. Throws ModelError (notInstalled when
    // there is no file of the user's to delete).
    static void remove(ModelRole role);

    // Bytes per second over the last few seconds, and the time left at that rate.
    class RateMeter {
    public:
        using Clock = std::chrono::steady_clock;
        void add(Clock::time_point at, std::uint64_t received);
        double bytesPerSecond() const;
        std::optional<double> secondsLeft(std::uint64_t received, std::uint64_t total) const;

    private:
        std::deque<std::pair<Clock::time_point, std::uint64_t>> samples_;
    };
};

} // namespace kivo
