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

std::optional<std::filesystem::path> WhisperRecognizer::modelPath() const
{
    return configuration_.modelPath ? configuration_.modelPath : SpeechModelFile::locate();
}

int WhisperRecognizer::threads() const
{
    const int cores = std::max(1, static_cast<int>(std::thread::hardware_concurrency()));
    return configuration_.threads > 0 ? std::min(configuration_.threads, cores) : cores;
}

bool WhisperRecognizer::isSpeechTranscriberAvailable() { return SpeechCpuSupport::meetsRequiredLevel(); }

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

std::optional<AudioFormat> WhisperRecognizer::bestAvailableAudioFormat(const Modules& modules)
{
    if (modules.empty()) {
        return std::nullopt;
    }
    return AudioFormat::recognizerFormat();
}

std::shared_ptr<SpeechAnalyzer> WhisperRecognizer::makeAnalyzer(Modules modules)
{
    return std::make_shared<WhisperAnalyzer>(std::move(modules), [this] { return model(); }, threads(),
                                             configuration_.window);
}

std::unique_ptr<AnalyzerInputConverter> WhisperRecognizer::makeConverter(const AudioFormat& format)
{
    return std::make_unique<SampleRateConverter>(format);
}

std::shared_ptr<WhisperModel> WhisperRecognizer::model()
{
    std::lock_guard lock(modelMutex_);
    if (auto loaded = model_.lock()) {
        return loaded;
    }
    const auto path = modelPath();
    if (!path) {
        throw RecognizerError("No speech model is installed.");
    }
    auto loaded = WhisperModel::load(*path);
    model_ = loaded;
    return loaded;
}

} // namespace kivo
