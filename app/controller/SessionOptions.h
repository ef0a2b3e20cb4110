#pragma once

#include "app/shell/shortcut/GlobalShortcut.h"
#include "app/speech/SpeechRecorder.h"
#include "app/speech/SpeechReviewPolicy.h"
#include "app/speech/SpeechSession.h"

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace kivo {

// Where the session's parts find their programs and services; every empty field means the
// real one, so only tests fill them.
struct SessionOptions {
    // Where rewrite-runner and the instruction files are; empty: the bundle's Resources/.
    std::filesystem::path resourcesDirectory;
    std::chrono::milliseconds modelTimeLimit{30000};
    // Empty: the per-user path under /tmp.
    std::string lockPath;
    // Builds the recorder on first use; empty: the real recorder in `speech`.
    std::function<std::unique_ptr<SpeechSession>(SpeechSession::Callbacks)> makeRecorder;
    SpeechRecorder::Environment speech;
    std::function<std::optional<SpeechReviewPolicy::Reason>(const std::string&)> reviewTranscript;
    // Receives every result that may be inserted instead of the real insertion (tests).
    std::function<void(const std::string&)> deliver;
    // Global keys; empty: the X11 backend.
    std::function<std::unique_ptr<ShortcutBackend>()> makeShortcutBackend;
    // The accessibility trust check and its prompt; empty: the accessibility bus.
    std::function<bool()> isTrusted;
    std::function<bool()> requestTrust;
    std::chrono::milliseconds permissionPollInterval{2000};
    // Ends the application; empty: QCoreApplication::quit.
    std::function<void()> quit;
};

} // namespace kivo
