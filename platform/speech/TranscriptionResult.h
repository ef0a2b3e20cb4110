#pragma once

#include <optional>
#include <string>
#include <vector>

namespace kivo {

// One result of a transcriber's result stream. Times are seconds from the start of the
// analyzed audio.
struct TranscriptionResult {
    // A stretch of the text; the runs joined make the whole text.
    struct Run {
        std::string text;
        std::optional<double> confidence; // 0...1, the decoder's token probability
    };

    std::vector<Run> runs;
    std::vector<std::string> alternatives;
    double start = 0.0;
    double end = 0.0;
    bool isFinal = false;
    double finalizedThrough = 0.0;
    // A final that kept the latest provisional text because decoding ran out of time.
    bool fromProvisional = false;
    // A final with no text for a stretch that held speech: decoding ran out of time before it
    // and nothing provisional had been shown for it.
    bool untranscribed = false;

    std::string text() const
    {
        std::string out;
        for (const auto& run : runs) {
            out += run.text;
        }
        return out;
    }
};

} // namespace kivo
