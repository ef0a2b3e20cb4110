#pragma once

#include <stdexcept>
#include <string>

namespace kivo {

// The errors of the speech subsystem; what() is the message shown to the user (English only).
class RecorderFailure : public std::runtime_error {
public:
    enum class Case {
        localeNotInstalled,
        timeout,
        capture,
        unavailable,
        noAudioFormat,
        microphoneDenied,
        microphoneStopped
    };

    static RecorderFailure localeNotInstalled(std::string engine);
    static RecorderFailure timeout(std::string stage);
    static RecorderFailure capture(std::string description);
    static RecorderFailure unavailable();
    static RecorderFailure noAudioFormat();
    static RecorderFailure microphoneDenied();
    static RecorderFailure microphoneStopped();

    Case kind() const { return case_; }
    // The engine raw value, stage name or converter error text; empty for the other cases.
    const std::string& payload() const { return payload_; }
    std::string localizedDescription() const { return what(); }

private:
    RecorderFailure(Case kind, std::string payload, const std::string& message);

    Case case_;
    std::string payload_;
};

} // namespace kivo
