#pragma once

#include "app/speech/SpeechDiagnostics.h"
#include "app/speech/SpeechEngine.h"
#include "app/speech/SpeechSettings.h"

#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace kivo {

// What the controller drives: one recording at a time, reported through five callbacks on the
// main thread. None of the operations block.
class SpeechSession {
public:
    enum class Status {
        idle,
        requestingPermission,
        preparing,
        recording,
        finalizing
    };
    using Engine = SpeechEngine;
    using Settings = SpeechSettings;
    using Diagnostics = SpeechDiagnostics;

    struct Callbacks {
        std::function<void(const std::string& text, bool isFinal)> onTranscript;
        // While recording: the start of the transcript no later audio can change, as it grows.
        std::function<void(const std::string& settled)> onSettled;
        std::function<void(Status)> onStatus;
        std::function<void(const std::string& message)> onError;
        std::function<void(const std::optional<std::string>& text)> onCompletion;
        std::function<void(const SpeechDiagnostics&)> onDiagnostics;
    };

    static std::string_view rawValue(Status status);

    virtual ~SpeechSession() = default;
    virtual void start(const Settings& settings) = 0;
    virtual void stop() = 0;
    virtual void cancel() = 0;
};

} // namespace kivo
