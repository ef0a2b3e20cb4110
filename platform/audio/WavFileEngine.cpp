#include "platform/audio/WavFileEngine.h"

#include "platform/audio/AudioEngineError.h"
#include "platform/speech/WavFile.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>

namespace kivo {

WavFileEngine::WavFileEngine(std::filesystem::path path) : WavFileEngine(std::move(path), Options{}) {}

WavFileEngine::WavFileEngine(std::filesystem::path path, Options options) : path_(std::move(path)), options_(options) {}

WavFileEngine::~WavFileEngine()
{
    stop();
}

const PcmBuffer& WavFileEngine::audio()
{
    if (!audio_) {
        try {
            audio_ = WavFile::read(path_);
        } catch (const std::exception& error) {
            throw AudioEngineError(error.what());
        }
    }
    return *audio_;
}

AudioFormat WavFileEngine::inputFormat()
{
    return audio().format;
}

void WavFileEngine::installTap(std::size_t bufferFrames, const AudioFormat& format, Tap tap)
{
    if (!(format == audio().format)) {
        throw AudioEngineError("The tap format does not match the sound file.");
    }
    std::lock_guard lock(tapMutex_);
    bufferFrames_ = std::max<std::size_t>(bufferFrames, 1);
    tap_ = std::move(tap);
}

void WavFileEngine::removeTap()
{
    std::lock_guard lock(tapMutex_);
    tap_ = nullptr;
}

void WavFileEngine::prepare()
{
    audio();
}

void WavFileEngine::start()
{
    audio();
    if (!player_.joinable()) {
        player_ = std::jthread([this](std::stop_token stop) { play(stop); });
    }
}

void WavFileEngine::stop()
{
    if (player_.joinable()) {
        player_.request_stop();
        player_.join();
    }
}

void WavFileEngine::play(std::stop_token stop)
{
    const PcmBuffer& file = *audio_;
    const auto channels = static_cast<std::size_t>(file.format.channelCount);
    const std::size_t frames = file.frameCount();
    std::vector<float> silence(bufferFrames_ * channels, 0.0f);
    const auto begin = std::chrono::steady_clock::now();
    std::mutex sleepMutex;
    std::condition_variable_any sleeper;

    for (std::size_t at = 0; !stop.stop_requested(); at += bufferFrames_) {
        if (at >= frames && !options_.padWithSilence) {
            return;
        }
        if (options_.speed > 0.0) {
            // Deliver each buffer once its last frame would have been captured.
            const double due = static_cast<double>(at + bufferFrames_) / file.format.sampleRate / options_.speed;
            std::unique_lock lock(sleepMutex);
            sleeper.wait_until(lock, stop,
                               begin + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                           std::chrono::duration<double>(due)),
                               [] { return false; });
            if (stop.stop_requested()) {
                return;
            }
        }
        std::span<const float> samples;
        if (at < frames) {
            const std::size_t count = std::min(bufferFrames_, frames - at);
            samples = std::span<const float>(file.samples).subspan(at * channels, count * channels);
        } else {
            samples = silence;
        }
        std::lock_guard lock(tapMutex_);
        if (tap_) {
            tap_(samples, file.format, static_cast<double>(at) / file.format.sampleRate);
        }
    }
}

} // namespace kivo
