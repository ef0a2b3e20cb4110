#pragma once

#include "platform/speech/TranscriptionResult.h"
#include "platform/speech/WhisperModel.h"

#include <functional>
#include <memory>
#include <span>
#include <stop_token>
#include <string>
#include <vector>

struct whisper_state;

namespace kivo {

// One worker's decoding state over a shared model: decodes a stretch of 16 kHz audio into text
// runs carrying token probabilities, with the inventions whisper produces on quiet audio removed.
class WhisperDecoder {
public:
    struct Request {
        bool beamSearch = false; // accuracy first; greedy otherwise
        bool keepPunctuation = true;
        std::vector<int> prompt;       // tokens that condition the decoder (hints, the previous final text)
        double tokensPerSecond = 12.0; // output bound, so a decoder caught in a loop stops early
        std::function<bool()> abandon; // polled while decoding; true gives up the pass
        int threads = 0;               // 0: the decoder's own count
    };

    struct Decoded {
        std::vector<TranscriptionResult::Run> runs;
        bool suppressed = false; // the decoder's text was dropped as an invention
        bool abandoned = false;  // stopped or given up before it finished
        std::string text() const;
    };

    WhisperDecoder(std::shared_ptr<WhisperModel> model, int threads);
    ~WhisperDecoder();
    WhisperDecoder(const WhisperDecoder&) = delete;
    WhisperDecoder& operator=(const WhisperDecoder&) = delete;

    // Returns no runs when `stop` was requested or the request abandoned meanwhile. Throws
    // RecognizerError on failure.
    Decoded decode(std::span<const float> samples, const Request& request, std::stop_token stop);

    int threads() const { return threads_; }
    const WhisperModel& model() const { return *model_; }

private:
    std::shared_ptr<WhisperModel> model_;
    whisper_state* state_;
    int threads_;
};

} // namespace kivo
