#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace kivo {

// What the controller needs from the speech recorder: start, stop and cancel a recording, and
// five callbacks on the main thread. The recorder itself comes with the speech subsystem; until
// then UnavailableSpeechSession answers every start with a failure.
class SpeechSession {
public:
    enum class Status { idle, requestingPermission, preparing, recording, finalizing };
    enum class Engine { speech, dictation };

    struct Settings {
        Engine engine = Engine::speech;
        std::vector<std::string> contextualStrings;
    };

    // Summary of a finished recording; the speech subsystem replaces it with its diagnostics.
    struct Diagnostics {
        std::string transcript;
    };

    struct Callbacks {
        std::function<void(const std::string& text, bool isFinal)> onTranscript;
        std::function<void(Status)> onStatus;
        std::function<void(const std::string& message)> onError;
        std::function<void(const std::optional<std::string>& text)> onCompletion;
        std::function<void(const Diagnostics&)> onDiagnostics;
    };

    virtual ~SpeechSession() = default;
    // None of these block: everything that follows arrives through the callbacks.
    virtual void start(const Settings& settings) = 0;
    virtual void stop() = 0;
    virtual void cancel() = 0;
};

} // namespace kivo
