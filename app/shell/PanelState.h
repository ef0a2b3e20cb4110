#pragma once

#include "platform/text/TextRange.h"

#include <QString>

namespace kivo {

// The choices the user makes in the panel and its settings; what the preferences store.
struct PanelSettings {
    bool chinese = false;
    // Output mode and recording shortcut, in the order of their pop-ups.
    int modeIndex = 1;
    int shortcutIndex = 0;
    // The recognition engine that takes hints.
    bool dictation = false;
    QString vocabulary;
    bool autoProcess = true;
    bool autoInsert = true;
    // Whole sentences are converted while the user still speaks (with autoProcess).
    bool convertWhileSpeaking = true;
    // Transcripts in Hong Kong Traditional characters.
    bool hongKongCharacters = true;
    bool editorExpanded = false;

    friend bool operator==(const PanelSettings&, const PanelSettings&) = default;
};

// What the flows are doing; the panel derives which controls are enabled and shown from it.
struct PanelActivity {
    bool converting = false;
    bool speechBusy = false;
    bool recording = false;
    // A stop was asked for and the recorder has not answered yet.
    bool stopping = false;
    bool delivering = false;
    bool restarting = false;
    // Recognition details to show, and a completed transcript to restore.
    bool hasDetails = false;
    bool hasTranscript = false;

    bool idle() const { return !converting && !speechBusy && !delivering && !restarting; }
};

// Everything the panel holds for the session: the texts the flows read and write, the
// settings and the status line.
struct PanelState {
    PanelSettings settings;
    QString source;
    TextRange selection; // of the source, in UTF-16 units
    QString result;
    // Cleared whenever a flow is busy or the result is empty; only a finished result sets it.
    bool resultCopyable = false;
    QString status;
    // What a conversion will take, or what the source shows while recording.
    QString scope;
    // The status line opens the Models window while it shows a missing-model message.
    bool statusOffersModels = false;
    PanelActivity activity;
};

// Which setting the user changed.
enum class PanelSetting {
    language,
    mode,
    speechEngine,
    vocabulary,
    autoProcess,
    autoInsert,
    convertWhileSpeaking,
    hongKongCharacters,
    shortcut,
    editorExpanded,
    windowFrame
};

} // namespace kivo
