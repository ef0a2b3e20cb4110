#pragma once

#include "platform/speech/Transcriber.h"

namespace kivo {

// The dictation transcriber: takes hints through the analysis context and keeps punctuation.
class DictationTranscriber : public Transcriber {
public:
    DictationTranscriber(std::string locale, bool shortForm, bool punctuation, bool volatileResults,
                         bool alternativeTranscriptions, bool transcriptionConfidence)
        : Transcriber(Kind::dictation, Configuration{std::move(locale), volatileResults, alternativeTranscriptions,
                                                     transcriptionConfidence, punctuation, shortForm})
    {
    }
};

} // namespace kivo
