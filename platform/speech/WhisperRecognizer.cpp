#include "platform/speech/WhisperRecognizer.h"

#include "platform/speech/RecognizerError.h"
#include "platform/speech/SampleRateConverter.h"
#include "platform/speech/SpeechCpuSupport.h"
#include "platform/speech/SpeechModelFile.h"
#include "platform/speech/WhisperAnalyzer.h"

#include <algorithm>
#include <thread>

namespace kivo {

WhisperRecognizer::WhisperRecognizer() : WhisperRecognizer(Configuration{}) {}

WhisperRecognizer::WhisperRecognizer(Configuration configuration) : configuration_(std::move(configuration)) {}

WhisperRecognizer::~WhisperRecognizer()
{
    if (janitor_.joinable()) {
        janitor_.request_stop();
        janitor_.join();
    }
}

bool WhisperRecognizer::isModelLoaded() const
{
    std::lock_guard lock(modelMutex_);
    return model_ != nullptr;
}

std::optional<std::filesystem::path> WhisperRecognizer::modelPath() const
{
    return configuration_.modelPath ? configuration_.modelPath : SpeechModelFile::locate();
}

int WhisperRecognizer::threads() const
{
    const int cores = std::max(1, static_cast<int>(std::thread::hardware_concurrency()));
    if (configuration_.threads > 0) {
        return std::min(configuration_.threads, cores);
    }
    // The most a pass may take; each pass takes only the cores no other process keeps busy,
    // since whisper's threads wait for each other at every step and one that has to wait for a
    // core slows the pass many times over (on a busy 2-core machine, 2 threads decoded 20 times
    // slower than 1).
    return std::clamp(cores, 1, 8);
}

bool WhisperRecognizer::isSpeechTranscriberAvailable()
{
    return SpeechCpuSupport::meetsRequiredLevel();
}

std::vector<std::string> WhisperRecognizer::installedLocales(Transcriber::Kind)
{
    const auto path = modelPath();
    if (!path) {
        return {};
    }
    const auto header = SpeechModelFile::readHeader(*path);
    if (!header || !header->isMultilingual()) {
        return {};
    }
    return {"zh-HK"};
}

std::string WhisperRecognizer::decodingLanguage()
{
    const auto path = modelPath();
    const auto header = path ? SpeechModelFile::readHeader(*path) : std::nullopt;
    return header && header->isMultilingual() ? header->language() : std::string();
}

std::optional<AudioFormat> WhisperRecognizer::bestAvailableAudioFormat(const Modules& modules)
{
    if (modules.empty()) {
        return std::nullopt;
    }
    return AudioFormat::recognizerFormat();
}

std::shared_ptr<SpeechAnalyzer> WhisperRecognizer::makeAnalyzer(Modules modules)
{
    return std::make_shared<WhisperAnalyzer>(
        std::move(modules), [this] { return model(); }, threads(), configuration_.window,
        configuration_.maxTokensPerSecond, configuration_.finalizeBudget, configuration_.threads <= 0);
}

std::unique_ptr<AnalyzerInputConverter> WhisperRecognizer::makeConverter(const AudioFormat& format)
{
    return std::make_unique<SampleRateConverter>(format);
}

std::shared_ptr<WhisperModel> WhisperRecognizer::model()
{
    std::lock_guard lock(modelMutex_);
    lastUsed_ = std::chrono::steady_clock::now();
    const auto path = modelPath();
    // Another model file chosen since the last load replaces the kept one.
    if (model_ && path && model_->path() == *path) {
        return model_;
    }
    if (!path) {
        throw RecognizerError("No speech model is installed.");
    }
    model_.reset();
    model_ = WhisperModel::load(*path);
    if (!janitor_.joinable()) {
        janitor_ = std::jthread([this](std::stop_token stop) { releaseWhenIdle(std::move(stop)); });
    }
    modelChanged_.notify_all();
    return model_;
}

void WhisperRecognizer::releaseWhenIdle(const std::stop_token& stop)
{
    const auto keep = configuration_.keepModelLoaded;
    // Checked a few times per period: an analyzer's release is not announced.
    const auto period = std::max<std::chrono::milliseconds>(std::chrono::milliseconds(10),
                                                            std::min(keep / 4, std::chrono::milliseconds(15000)));
    std::unique_lock lock(modelMutex_);
    while (!stop.stop_requested()) {
        modelChanged_.wait_for(lock, stop, period, [] { return false; });
        if (!model_) {
            continue;
        }
        const auto now = std::chrono::steady_clock::now();
        if (model_.use_count() > 1) {
            lastUsed_ = now; // an analyzer still holds it
        } else if (now - lastUsed_ >= keep) {
            model_.reset();
        }
    }
}

} // namespace kivo
