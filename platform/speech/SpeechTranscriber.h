#pragma once

#include "platform/speech/Transcriber.h"

namespace kivo {

// The general transcriber: accuracy first (beam search for settled text), no hints, no
// punctuation.
class SpeechTranscriber : public Transcriber {
public:
    SpeechTranscriber(std::string locale, bool volatileResults, bool alternativeTranscriptions,
                      bool transcriptionConfidence)
        : Transcriber(Kind::general, Configuration{std::move(locale), volatileResults, alternativeTranscriptions,
                                                   transcriptionConfidence, false, false})
    {
    }
};

} // namespace kivo
