#pragma once

#include "platform/speech/WhisperRecognizer.h"

#include <filesystem>
#include <string>

namespace kivo {

// Plays a sound file into the recogniser the way a recording does (microphone-sized buffers,
// the streaming window, finalization after the end, the decoder's filters, Hong Kong
// characters) and folds the results into the final transcript as the recorder does.
struct RecordingReplay {
    struct Outcome {
        std::string text;
        double audioSeconds = 0.0;
        double elapsedSeconds = 0.0;  // from the first buffer to the last final result
        double finalizeSeconds = 0.0; // from the end of the input to the last final result
        std::size_t untranscribedWindows = 0;

        double realTimeFactor() const { return audioSeconds > 0.0 ? elapsedSeconds / audioSeconds : 0.0; }
    };

    bool realtime = true; // feed at the speed of speech, as a microphone does
    bool hongKongCharacters = true;

    // Throws std::runtime_error (or a RecognizerError) when the file or the model cannot be used.
    Outcome run(WhisperRecognizer& recognizer, const std::filesystem::path& wav) const;
};

} // namespace kivo
