#pragma once

#include "app/speech/SpeechEngine.h"

#include <string>
#include <vector>

namespace kivo {

// What one recording is started with.
struct SpeechSettings {
    SpeechEngine engine = SpeechEngine::speech;
    std::vector<std::string> contextualStrings; // recognition hints, used by dictation only
    // Transcripts of models that decode as Mandarin become Hong Kong Traditional; the hints
    // are kept as given.
    bool hongKongCharacters = true;
    // Seconds of audio at most in one final result; 0 leaves it to the recogniser.
    double longestWindow = 0.0;

    friend bool operator==(const SpeechSettings&, const SpeechSettings&) = default;
};

} // namespace kivo
