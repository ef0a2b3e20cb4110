#pragma once

#include "platform/speech/Recognizer.h"
#include "platform/speech/StreamingWindow.h"
#include "platform/speech/WhisperModel.h"

#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>

namespace kivo {

// The speech service on whisper.cpp. "zh-HK" counts as installed for both transcriber kinds
// when a multilingual model is in place (see SpeechModelFile).
class WhisperRecognizer : public Recognizer {
public:
    struct Configuration {
        std::optional<std::filesystem::path> modelPath; // instead of the installed locations
        int threads = 0;                                // 0: every core
        StreamingWindow::Options window;
    };

    WhisperRecognizer();
    explicit WhisperRecognizer(Configuration configuration);

    bool isSpeechTranscriberAvailable() override;
    std::vector<std::string> installedLocales(Transcriber::Kind kind) override;
    std::optional<AudioFormat> bestAvailableAudioFormat(const Modules& modules) override;
    std::shared_ptr<SpeechAnalyzer> makeAnalyzer(Modules modules) override;
    std::unique_ptr<AnalyzerInputConverter> makeConverter(const AudioFormat& format) override;

    // Decoding threads: the configured count, never more than the cores.
    int threads() const;

private:
    std::optional<std::filesystem::path> modelPath() const;
    std::shared_ptr<WhisperModel> model();

    Configuration configuration_;
    std::mutex modelMutex_;
    // Shared while some analyzer uses it; released with the last one, so a large model does not
    // stay resident between recordings while the language model runs.
    std::weak_ptr<WhisperModel> model_;
};

} // namespace kivo
