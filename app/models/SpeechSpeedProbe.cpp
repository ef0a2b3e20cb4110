#include "app/models/SpeechSpeedProbe.h"

#include "app/models/DepthExtrapolation.h"
#include "platform/speech/WhisperDecoder.h"
#include "platform/speech/WhisperRecognizer.h"
#include "tools/whisper/TinyWhisperModel.h"

#include <sched.h>

#include <chrono>
#include <cmath>
#include <stdexcept>

namespace kivo::SpeechSpeedProbe {
namespace {

constexpr double windowSeconds = 10.0;

TinyWhisperModel::Dimensions dimensions(const std::string& shape)
{
    if (shape == "base") {
        return TinyWhisperModel::base();
    }
    if (shape == "small") {
        return TinyWhisperModel::small();
    }
    if (shape == "large-v3-turbo") {
        return TinyWhisperModel::largeV3Turbo();
    }
    throw std::invalid_argument("no speech model shape \"" + shape + "\"");
}

// Seconds for one pass over a 10 s window, the best of two after a warm-up.
double passSeconds(const std::filesystem::path& model, int threads, std::stop_token stop)
{
    std::vector<float> audio(static_cast<std::size_t>(windowSeconds * 16000));
    for (std::size_t i = 0; i < audio.size(); ++i) {
        // A quiet tone: the encoder's work does not depend on what it hears.
        audio[i] = 0.1f * static_cast<float>(std::sin(static_cast<double>(i) * 0.05));
    }
    WhisperDecoder decoder(WhisperModel::load(model), threads);
    WhisperDecoder::Request request;
    request.tokensPerSecond = 0.0; // only the fixed minimum of tokens: the encoder dominates
    decoder.decode(std::span<const float>(audio.data(), 16000), request, stop);
    double best = 0.0;
    for (int pass = 0; pass < 2 && !stop.stop_requested(); ++pass) {
        const auto start = std::chrono::steady_clock::now();
        decoder.decode(std::span<const float>(audio), request, stop);
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        best = pass == 0 ? seconds : std::min(best, seconds);
    }
    return best;
}

} // namespace

std::vector<std::string> shapes()
{
    return {"base", "small", "large-v3-turbo"};
}

void runAtIdlePriority()
{
    sched_param parameters{};
    sched_setscheduler(0, SCHED_IDLE, &parameters); // best effort: measuring at normal priority is still right
}

double encoderSecondsPerSecond(const std::string& shape, const std::filesystem::path& scratch, std::stop_token stop)
{
    const auto full = dimensions(shape);
    const int threads = WhisperRecognizer().threads();
    const auto timeAt = [&](int layers, const std::filesystem::path& file) {
        auto reduced = full;
        reduced.nAudioLayer = layers;
        reduced.nTextLayer = 1;
        TinyWhisperModel::write(file, reduced, 1, TinyWhisperModel::WeightType::q5_0);
        return passSeconds(file, threads, stop);
    };
    return DepthExtrapolation::fullDepthSeconds(full.nAudioLayer, scratch, "speech-" + shape, ".bin", timeAt, stop) /
           windowSeconds;
}

} // namespace kivo::SpeechSpeedProbe
