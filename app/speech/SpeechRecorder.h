#pragma once

#include "app/speech/SpeechEngine.h"
#include "app/speech/SpeechSettings.h"

namespace kivo {

// Runs one recording at a time from the microphone to a final transcript.
class SpeechRecorder {
public:
    using Engine = SpeechEngine;
    using Settings = SpeechSettings;
};

} // namespace kivo
