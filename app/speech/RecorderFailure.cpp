#include "app/speech/RecorderFailure.h"

#include <utility>

namespace kivo {

RecorderFailure::RecorderFailure(Case kind, std::string payload, const std::string& message)
    : std::runtime_error(message), case_(kind), payload_(std::move(payload))
{
}

RecorderFailure RecorderFailure::localeNotInstalled(std::string engine)
{
    const std::string message = "The zh-HK " + engine + " asset is not installed. Install it before trying again.";
    return {Case::localeNotInstalled, std::move(engine), message};
}

RecorderFailure RecorderFailure::timeout(std::string stage)
{
    const std::string message = "Speech " + stage + " timed out.";
    return {Case::timeout, std::move(stage), message};
}

RecorderFailure RecorderFailure::capture(std::string description)
{
    const std::string message = "Audio capture failed: " + description;
    return {Case::capture, std::move(description), message};
}

RecorderFailure RecorderFailure::unavailable()
{
    return {Case::unavailable,
            {},
            "This computer's processor lacks the instructions the Whisper speech model needs. Choose Whisper with "
            "hints, which needs fewer."};
}

RecorderFailure RecorderFailure::noAudioFormat()
{
    return {Case::noAudioFormat, {}, "No installed audio format is compatible with the selected transcriber."};
}

RecorderFailure RecorderFailure::microphoneDenied()
{
    return {Case::microphoneDenied, {}, "Microphone access was denied."};
}

RecorderFailure RecorderFailure::microphoneStopped()
{
    return {Case::microphoneStopped,
            {},
            "The microphone stopped sending sound, so the recording ended. The words heard until then are kept."};
}

} // namespace kivo
