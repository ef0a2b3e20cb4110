#pragma once

#include "platform/speech/Recognizer.h"
#include "platform/speech/StreamingWindow.h"
#include "platform/speech/WhisperModel.h"

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

namespace kivo {

// The speech service on whisper.cpp. "zh-HK" counts as installed for both transcriber kinds
// when a multilingual model is in place (see SpeechModelFile).
class WhisperRecognizer : public Recognizer {
public:
    struct Configuration {
        std::optional<std::filesystem::path> modelPath; // instead of the installed locations
        // 0: before each pass, every core that no other process keeps busy (at most 8)
        int threads = 0;
        StreamingWindow::Options window;
        // How long the model stays loaded after its last use, so the next recording starts
        // without reloading it.
        std::chrono::milliseconds keepModelLoaded = std::chrono::minutes(5);
        // Output bound per second of audio: fast Cantonese needs about 5, so a decoder caught in
        // a loop stops early. speech_benchmark measures with the same bound.
        double maxTokensPerSecond = 8.0;
        // Decoding time allowed once the input has ended, well inside the recorder's limit for
        // finalization; a window still undecoded then keeps its latest provisional text.
        std::chrono::milliseconds finalizeBudget = std::chrono::seconds(6);
    };

    WhisperRecognizer();
    explicit WhisperRecognizer(Configuration configuration);
    ~WhisperRecognizer() override;
    WhisperRecognizer(const WhisperRecognizer&) = delete;
    WhisperRecognizer& operator=(const WhisperRecognizer&) = delete;

    bool isSpeechTranscriberAvailable() override;
    std::vector<std::string> installedLocales(Transcriber::Kind kind) override;
    std::optional<AudioFormat> bestAvailableAudioFormat(const Modules& modules) override;
    std::shared_ptr<SpeechAnalyzer> makeAnalyzer(Modules modules) override;
    std::unique_ptr<AnalyzerInputConverter> makeConverter(const AudioFormat& format) override;
    std::string decodingLanguage() override;

    // Decoding threads: the configured count, never more than the cores.
    int threads() const;
    // Whether the model is in memory (in use, or kept after its last use).
    bool isModelLoaded() const;

private:
    std::optional<std::filesystem::path> modelPath() const;
    std::shared_ptr<WhisperModel> model();
    void releaseWhenIdle(const std::stop_token& stop);

    Configuration configuration_;
    mutable std::mutex modelMutex_;
    std::condition_variable_any modelChanged_;
    // Kept between recordings; released once nothing has used it for keepModelLoaded, so a
    // large model does not stay resident for good next to the language model.
    std::shared_ptr<WhisperModel> model_;
    std::chrono::steady_clock::time_point lastUsed_;
    std::jthread janitor_; // last, so it stops before the members it uses go
};

} // namespace kivo
