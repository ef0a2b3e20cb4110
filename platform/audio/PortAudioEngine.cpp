#include "platform/audio/PortAudioEngine.h"

#include "platform/audio/AudioEngineError.h"

#include <portaudio.h>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <mutex>
#include <string>

namespace kivo {
namespace {

// PortAudio's library count and stream list are not thread-safe, and an engine may be torn
// down on a background thread while the next one starts on the main thread. Held only around
// calls that never wait on a device.
std::mutex& libraryLock()
{
    static std::mutex lock;
    return lock;
}

void check(PaError error, const char* what)
{
    if (error != paNoError) {
        throw AudioEngineError(std::string(what) + ": " + Pa_GetErrorText(error));
    }
}

// PortAudio probes JACK and every ALSA plug-in at start and prints each failure to standard
// error; none of it is for the person at the terminal. Other threads' messages written in this
// short moment are lost too.
class QuietStandardError {
public:
    QuietStandardError() : saved_(::dup(STDERR_FILENO))
    {
        const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
        if (saved_ >= 0 && null >= 0) {
            ::dup2(null, STDERR_FILENO);
        }
        if (null >= 0) {
            ::close(null);
        }
    }
    ~QuietStandardError()
    {
        if (saved_ >= 0) {
            ::dup2(saved_, STDERR_FILENO);
            ::close(saved_);
        }
    }
    QuietStandardError(const QuietStandardError&) = delete;
    QuietStandardError& operator=(const QuietStandardError&) = delete;

private:
    int saved_;
};

} // namespace

struct PortAudioCallback {
    static int call(const void* input, void*, unsigned long frames, const PaStreamCallbackTimeInfo*,
                    PaStreamCallbackFlags, void* self)
    {
        if (input != nullptr) {
            static_cast<PortAudioEngine*>(self)->deliver(static_cast<const float*>(input), frames);
        }
        return paContinue;
    }
};

PortAudioEngine::PortAudioEngine()
{
    std::lock_guard lock(libraryLock());
    PaError started = paNoError;
    {
        const QuietStandardError quiet;
        started = Pa_Initialize();
    }
    check(started, "The audio system could not be started");
}

PortAudioEngine::~PortAudioEngine()
{
    removeTap();
    stop();
    std::lock_guard lock(libraryLock());
    Pa_Terminate();
}

int PortAudioEngine::device()
{
    const PaDeviceIndex index = Pa_GetDefaultInputDevice();
    if (index == paNoDevice || Pa_GetDeviceInfo(index) == nullptr) {
        throw AudioEngineError("No audio input device was found. Connect a microphone, and choose it as the input "
                               "in the desktop's sound settings.");
    }
    return index;
}

AudioFormat PortAudioEngine::inputFormat()
{
    const PaDeviceInfo* info = Pa_GetDeviceInfo(device());
    if (info->maxInputChannels < 1) {
        throw AudioEngineError("The audio input device has no input channels.");
    }
    // Speech needs one channel; asking for more only makes the converter average them.
    return AudioFormat{info->defaultSampleRate, 1};
}

void PortAudioEngine::installTap(std::size_t bufferFrames, const AudioFormat& format, Tap tap)
{
    if (format.channelCount < 1 || format.sampleRate <= 0.0) {
        throw AudioEngineError("The audio input format is not usable.");
    }
    std::lock_guard lock(tapMutex_);
    bufferFrames_ = std::max<std::size_t>(bufferFrames, 1);
    format_ = format;
    tap_ = std::move(tap);
}

void PortAudioEngine::removeTap()
{
    std::lock_guard lock(tapMutex_);
    tap_ = nullptr;
}

void PortAudioEngine::prepare()
{
    if (stream_ != nullptr || !format_) {
        return;
    }
    const int index = device();
    PaStreamParameters input{};
    input.device = index;
    input.channelCount = format_->channelCount;
    input.sampleFormat = paFloat32;
    input.suggestedLatency = Pa_GetDeviceInfo(index)->defaultLowInputLatency;
    PaStream* stream = nullptr;
    std::lock_guard lock(libraryLock());
    check(Pa_OpenStream(&stream, &input, nullptr, format_->sampleRate, bufferFrames_, paClipOff,
                        &PortAudioCallback::call, this),
          "The audio input could not be opened");
    stream_ = stream;
}

void PortAudioEngine::start()
{
    prepare();
    if (stream_ == nullptr) {
        throw AudioEngineError("The audio input has no tap installed.");
    }
    if (running_) {
        return;
    }
    framesDelivered_ = 0;
    check(Pa_StartStream(static_cast<PaStream*>(stream_)), "The audio input could not be started");
    running_ = true;
}

void PortAudioEngine::stop()
{
    if (stream_ == nullptr) {
        return;
    }
    if (running_) {
        Pa_StopStream(static_cast<PaStream*>(stream_)); // waits for the callback in flight
        running_ = false;
    }
    std::lock_guard lock(libraryLock());
    Pa_CloseStream(static_cast<PaStream*>(stream_));
    stream_ = nullptr;
}

void PortAudioEngine::deliver(const float* samples, unsigned long frames)
{
    std::lock_guard lock(tapMutex_);
    const AudioFormat format = *format_;
    const double seconds = static_cast<double>(framesDelivered_) / format.sampleRate;
    framesDelivered_ += static_cast<std::int64_t>(frames);
    if (tap_) {
        const auto count = static_cast<std::size_t>(frames) * static_cast<std::size_t>(format.channelCount);
        tap_(std::span<const float>(samples, count), format, seconds);
    }
}

} // namespace kivo
