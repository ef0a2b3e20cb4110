#pragma once

#include "app/speech/BackgroundWork.h"
#include "app/speech/MainThreadQueue.h"
#include "app/speech/PreparedSpeech.h"
#include "app/speech/SpeechSession.h"
#include "app/speech/TranscriptReducer.h"
#include "platform/audio/AudioEngine.h"
#include "platform/speech/Recognizer.h"
#include "platform/speech/TranscriptionResult.h"

#include <QUuid>

#include <chrono>
#include <exception>
#include <future>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <stop_token>
#include <utility>

class QTimer;

namespace kivo {

class AudioBridge;
class MicrophoneWatch;

// Runs one recording at a time from the microphone through recognition to a final transcript.
// Lives on the Qt main thread and calls back only there. Every step that resumes after a wait
// checks the recording's token first, so answers for an abandoned recording change nothing.
class SpeechRecorder : public SpeechSession {
public:
    // What the recorder talks to; the defaults are the real microphone and recogniser.
    struct Environment {
        std::function<void(std::function<void(bool)>)> requestMicrophoneAccess;
        std::shared_ptr<Recognizer> recognizer;
        std::function<std::unique_ptr<AudioEngine>()> makeEngine;
        std::chrono::duration<double> recordingLimit{60.0};
        double preparationSeconds = 30.0;
        double finalizationSeconds = 10.0;
        // A microphone that sends nothing for this long during a recording has stopped
        // (unplugged, suspended, its stream paused): the recording ends with what was heard.
        // Zero never ends it.
        std::chrono::milliseconds microphoneSilenceLimit{2000};
        // How long destruction waits for background work (the analyzer's worker above all).
        std::chrono::milliseconds backgroundWait{5000};
    };

    explicit SpeechRecorder(Callbacks callbacks);
    SpeechRecorder(Callbacks callbacks, Environment environment);
    ~SpeechRecorder() override;
    SpeechRecorder(const SpeechRecorder&) = delete;
    SpeechRecorder& operator=(const SpeechRecorder&) = delete;

    void start(const Settings& settings) override;
    void stop() override;
    void cancel() override;
    Status status() const { return status_; }
    // Waits until the recorder's background threads have ended or `limit` has passed; true
    // when none is left.
    bool waitForBackgroundWork(std::chrono::milliseconds limit);

private:
    using RangeKey = std::pair<double, double>; // exact start and end, no tolerance
    struct ResultEvidence {
        std::vector<std::string> alternatives;
        std::vector<double> confidenceSamples;
        bool fromProvisional = false;
    };

    void setStatus(Status status);
    void permissionAnswered(QUuid token, bool granted);
    void preparationEnded(QUuid token, std::shared_ptr<PreparedSpeech> prepared, std::exception_ptr error);
    void startReading(QUuid token, const PreparedSpeech& prepared);
    void finalizationEnded(QUuid token, std::exception_ptr error);
    void accept(const TranscriptionResult& result);
    void fail(std::exception_ptr error, QUuid token);
    void finish(QUuid token, std::optional<std::string> text, std::optional<SpeechDiagnostics> diagnostics);
    void stopCapture();
    void clearLimit();
    void watchMicrophone(QUuid token);
    void microphoneStopped(QUuid token);
    void cancelTask(std::optional<std::stop_source>& task);
    void cancelAnalyzer(std::shared_ptr<SpeechAnalyzer> analyzer);
    void discard(const PreparedSpeech& prepared);
    SpeechDiagnostics makeDiagnostics(const std::string& text) const;
    Recognizer& recognizer();

    // First, so it is destroyed last: its threads use the members below.
    std::unique_ptr<BackgroundWork> work_ = std::make_unique<BackgroundWork>();
    Callbacks callbacks_;
    Environment environment_;
    Status status_ = Status::idle;
    QUuid epoch_ = QUuid::createUuid();
    std::shared_ptr<SpeechAnalyzer> analyzer_;
    std::unique_ptr<AudioEngine> engine_;
    bool tapInstalled_ = false;
    std::shared_ptr<AudioBridge> bridge_;
    std::optional<std::stop_source> resultTask_;
    std::optional<std::shared_future<void>> resultsRead_;
    std::unique_ptr<QTimer> limitTask_;
    std::shared_ptr<MicrophoneWatch> microphone_;
    std::unique_ptr<QTimer> microphoneTask_;
    std::optional<std::stop_source> preparationTask_;
    std::optional<std::stop_source> finalizationTask_;
    TranscriptReducer reducer_;
    std::string settled_;
    std::map<RangeKey, ResultEvidence> evidence_;
    std::set<RangeKey> finalEvidenceKeys_;
    std::vector<std::pair<double, double>> untranscribed_; // finals the recogniser had no time for
    Settings settings_;
    std::optional<std::chrono::steady_clock::time_point> recordingStartedAt_;
    std::shared_ptr<MainThreadQueue> queue_;
};

} // namespace kivo
