#pragma once

#include <QCoreApplication>
#include <QString>

#include <filesystem>
#include <stdexcept>

#include <sys/types.h>

namespace kivo {

// The app's half of Restart: start kivo-relaunch from the bundle's resources with this
// process's id and the bundle to reopen. The caller quits afterwards.
namespace RestartHelper {

inline constexpr const char* fileName = "kivo-relaunch";

class RestartError : public std::runtime_error {
    Q_DECLARE_TR_FUNCTIONS(RestartError)

public:
    enum class Reason {
        helperMissing,
        startFailed
    };
    RestartError(Reason reason, const std::string& description) : std::runtime_error(description), reason_(reason) {}
    Reason reason() const { return reason_; }
    // The status-line text in the interface language.
    QString message() const;

private:
    Reason reason_;
};

// Throws RestartError when the helper is missing or cannot be started.
void start(const std::filesystem::path& resourcesDirectory, pid_t processId, const std::filesystem::path& target);

} // namespace RestartHelper

} // namespace kivo
