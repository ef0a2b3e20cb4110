#pragma once

#include "platform/speech/Channel.h"
#include "platform/speech/TranscriptionResult.h"

#include <memory>
#include <string>

namespace kivo {

// A recognition module: what to recognise and how to report it. The analyzer it is handed to
// writes into its result stream; the stream ends after the analyzer has finalized all input.
class Transcriber {
public:
    enum class Kind {
        general,
        dictation
    };

    struct Configuration {
        std::string locale;
        bool volatileResults = false;
        bool alternativeTranscriptions = false;
        bool transcriptionConfidence = false;
        bool punctuation = false; // dictation only; the general kind strips punctuation
        bool shortForm = false;   // content hint of the dictation kind
    };

    virtual ~Transcriber() = default;
    Transcriber(const Transcriber&) = delete;
    Transcriber& operator=(const Transcriber&) = delete;

    Kind kind() const { return kind_; }
    const Configuration& configuration() const { return configuration_; }

    // Both ends of the result stream: the analyzer yields, the recorder reads.
    Channel<TranscriptionResult>& results() { return *results_; }

protected:
    Transcriber(Kind kind, Configuration configuration)
        : kind_(kind), configuration_(std::move(configuration)),
          results_(std::make_unique<Channel<TranscriptionResult>>())
    {
    }

private:
    Kind kind_;
    Configuration configuration_;
    std::unique_ptr<Channel<TranscriptionResult>> results_;
};

} // namespace kivo
