#pragma once

#include "platform/speech/AnalyzerInput.h"
#include "platform/speech/AudioFormat.h"
#include "platform/speech/Channel.h"
#include "platform/speech/DictationTranscriber.h"
#include "platform/speech/SpeechAnalyzer.h"
#include "platform/speech/SpeechTranscriber.h"

#include <memory>
#include <string>
#include <variant>
#include <vector>

namespace kivo {

// A started recogniser, ready for audio: whoever holds it must finish the input stream and
// either finalize or cancel the analyzer.
struct PreparedSpeech {
    using Transcriber = std::variant<std::shared_ptr<SpeechTranscriber>, std::shared_ptr<DictationTranscriber>>;

    Transcriber transcriber;
    std::shared_ptr<SpeechAnalyzer> analyzer;
    AudioFormat format;
    std::shared_ptr<Channel<AnalyzerInput>> streamContinuation;
    // Convert results to Hong Kong Traditional, keeping these literals (see HongKongTranscript).
    bool hongKongCharacters = false;
    std::vector<std::string> protectedLiterals;

    // The result stream of whichever transcriber was prepared.
    Channel<TranscriptionResult>& results() const
    {
        return std::visit([](const auto& module) -> Channel<TranscriptionResult>& { return module->results(); },
                          transcriber);
    }
};

} // namespace kivo
