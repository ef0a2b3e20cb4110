#pragma once

#include "platform/speech/AnalysisContext.h"
#include "platform/speech/AnalyzerInput.h"
#include "platform/speech/AudioFormat.h"
#include "platform/speech/Channel.h"

#include <memory>
#include <optional>
#include <stop_token>
#include <string>
#include <vector>

namespace kivo {

// Runs recognition for its modules over one input stream. Calls that may fail throw; the
// caller passes the error on unchanged.
class SpeechAnalyzer {
public:
    virtual ~SpeechAnalyzer() = default;

    virtual void setContext(const AnalysisContext& context) = 0;
    virtual void prepareToAnalyze(const AudioFormat& format) = 0;
    // Consumes `input` until it is finished, delivering results to the modules' streams.
    virtual void start(std::shared_ptr<Channel<AnalyzerInput>> input) = 0;
    // Returns once every result for the finished input has been delivered and the result
    // streams have ended; returns early when `stop` is requested.
    virtual void finalizeThroughEndOfInput(std::stop_token stop) = 0;
    // Stops at once and releases everything; never fails, may be called more than once.
    virtual void cancelAndFinishNow() noexcept = 0;
    // The contextual strings that recognition really uses, when the recogniser has room for only
    // some of them; none when it takes all it was given.
    virtual std::optional<std::vector<std::string>> appliedContextualStrings() const { return std::nullopt; }
};

} // namespace kivo
