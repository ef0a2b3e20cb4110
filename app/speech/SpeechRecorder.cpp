#include "app/speech/SpeechRecorder.h"

#include "app/speech/AudioBridge.h"
#include "app/speech/CancellationError.h"
#include "app/speech/HongKongTranscript.h"
#include "app/speech/MicrophoneWatch.h"
#include "app/speech/PrepareSpeech.h"
#include "app/speech/RecorderFailure.h"
#include "app/speech/SpeechBounded.h"
#include "app/speech/SpeechConfiguration.h"
#include "platform/audio/MicrophoneAccess.h"
#include "platform/audio/PortAudioEngine.h"
#include "platform/speech/WhisperRecognizer.h"
#include "platform/time/PhaseTrace.h"

#include <QTimer>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <thread>

namespace kivo {
namespace {

using namespace std::chrono_literals;

std::string messageOf(const std::exception_ptr& error)
{
    try {
        std::rethrow_exception(error);
    } catch (const std::exception& e) {
        return e.what();
    } catch (...) {
        return "Unknown error.";
    }
}

std::string formatted(const char* format, double value)
{
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, format, value);
    return buffer;
}

} // namespace

SpeechRecorder::SpeechRecorder(Callbacks callbacks) : SpeechRecorder(std::move(callbacks), Environment{}) {}

SpeechRecorder::SpeechRecorder(Callbacks callbacks, Environment environment)
    : callbacks_(std::move(callbacks)), environment_(std::move(environment)),
      queue_(std::make_shared<MainThreadQueue>())
{
    if (!environment_.requestMicrophoneAccess) {
        environment_.requestMicrophoneAccess = MicrophoneAccess::request;
    }
    if (!environment_.makeEngine) {
        environment_.makeEngine = [] { return std::make_unique<PortAudioEngine>(); };
    }
    if (!callbacks_.onDiagnostics) {
        callbacks_.onDiagnostics = [](const SpeechDiagnostics&) {};
    }
}

// Analyzer clean-up may wait for its worker, so it runs off the main thread; the recorder's
// owner still waits for it before going away.
void SpeechRecorder::cancelAnalyzer(std::shared_ptr<SpeechAnalyzer> analyzer)
{
    if (analyzer) {
        work_->start([analyzer = std::move(analyzer)] { analyzer->cancelAndFinishNow(); });
    }
}

void SpeechRecorder::discard(const PreparedSpeech& prepared)
{
    prepared.streamContinuation->finish();
    cancelAnalyzer(prepared.analyzer);
}

bool SpeechRecorder::waitForBackgroundWork(std::chrono::milliseconds limit)
{
    return work_->waitFor(limit);
}

SpeechRecorder::~SpeechRecorder()
{
    queue_->close();
    limitTask_.reset();
    microphoneTask_.reset();
    cancelTask(preparationTask_);
    cancelTask(finalizationTask_);
    cancelTask(resultTask_);
    stopCapture();
    if (bridge_) {
        bridge_->abort();
    }
    cancelAnalyzer(std::move(analyzer_));
    // Quitting waits (bounded) for the analyzer's worker: a decode still running while the
    // process tears down its statics crashes it.
    work_->waitFor(environment_.backgroundWait);
}

Recognizer& SpeechRecorder::recognizer()
{
    if (!environment_.recognizer) {
        environment_.recognizer = std::make_shared<WhisperRecognizer>();
    }
    return *environment_.recognizer;
}

void SpeechRecorder::setStatus(Status status)
{
    status_ = status;
    callbacks_.onStatus(status);
}

void SpeechRecorder::clearLimit()
{
    // The timer's own timeout may be what is running now.
    for (auto* task : {&limitTask_, &microphoneTask_}) {
        if (*task) {
            (*task)->stop();
            task->release()->deleteLater();
        }
    }
}

void SpeechRecorder::cancelTask(std::optional<std::stop_source>& task)
{
    if (task) {
        task->request_stop();
        task.reset();
    }
}

void SpeechRecorder::start(const Settings& settings)
{
    if (status_ != Status::idle) {
        return;
    }
    const QUuid token = QUuid::createUuid();
    epoch_ = token;
    reducer_ = TranscriptReducer();
    settled_.clear();
    settings_ = settings;
    evidence_.clear();
    finalEvidenceKeys_.clear();
    untranscribed_.clear();
    recordingStartedAt_.reset();

    if (settings.engine == SpeechEngine::dictation) {
        try {
            SpeechConfiguration::validate(settings.contextualStrings);
        } catch (...) {
            fail(std::current_exception(), token);
            return;
        }
    }
    setStatus(Status::requestingPermission);
    std::weak_ptr<MainThreadQueue> queue = queue_;
    environment_.requestMicrophoneAccess([this, queue, token](bool granted) {
        if (auto alive = queue.lock()) {
            alive->post([this, token, granted] { permissionAnswered(token, granted); });
        }
    });
}

void SpeechRecorder::permissionAnswered(QUuid token, bool granted)
{
    if (epoch_ != token) {
        return;
    }
    if (!granted) {
        fail(std::make_exception_ptr(RecorderFailure::microphoneDenied()), token);
        return;
    }
    setStatus(Status::preparing);

    std::stop_source stop;
    preparationTask_ = stop;
    recognizer(); // made here, on the main thread
    auto recognizer = environment_.recognizer;
    const Settings settings = settings_;
    const double seconds = environment_.preparationSeconds;
    work_->start([this, queue = queue_, token, recognizer, settings, seconds, caller = stop.get_token()] {
        std::shared_ptr<PreparedSpeech> prepared;
        std::exception_ptr error;
        try {
            prepared = std::make_shared<PreparedSpeech>(speechBounded(
                seconds, "preparation", [this](PreparedSpeech late) { discard(late); },
                [recognizer, settings](std::stop_token operationStop) {
                    return prepareSpeech(settings, *recognizer, operationStop);
                },
                caller, work_.get()));
        } catch (...) {
            error = std::current_exception();
        }
        if (!queue->post([this, token, prepared, error] { preparationEnded(token, prepared, error); }) && prepared) {
            discard(*prepared);
        }
    });
}

void SpeechRecorder::preparationEnded(QUuid token, std::shared_ptr<PreparedSpeech> prepared, std::exception_ptr error)
{
    if (error) {
        fail(error, token);
        return;
    }
    if (epoch_ != token) {
        discard(*prepared);
        return;
    }
    preparationTask_.reset();
    analyzer_ = prepared->analyzer;

    std::unique_ptr<AnalyzerInputConverter> converter;
    try {
        converter = recognizer().makeConverter(prepared->format);
    } catch (...) {
        prepared->streamContinuation->finish();
        fail(std::current_exception(), token);
        return;
    }
    std::weak_ptr<MainThreadQueue> queue = queue_;
    bridge_ = std::make_shared<AudioBridge>(
        std::move(converter), prepared->streamContinuation, [this, queue, token](const std::string& text) {
            if (auto alive = queue.lock()) {
                alive->post(
                    [this, token, text] { fail(std::make_exception_ptr(RecorderFailure::capture(text)), token); });
            }
        });
    startReading(token, *prepared);

    microphone_ = std::make_shared<MicrophoneWatch>(MicrophoneWatch::Clock::now());
    try {
        engine_ = environment_.makeEngine();
        const AudioFormat format = engine_->inputFormat();
        engine_->installTap(AudioEngine::tapBufferFrames, format,
                            [bridge = bridge_, microphone = microphone_](std::span<const float> samples,
                                                                         const AudioFormat& captured, double seconds) {
                                microphone->delivered(MicrophoneWatch::Clock::now());
                                bridge->submit(samples, captured, seconds);
                            });
    } catch (...) {
        fail(std::current_exception(), token);
        return;
    }
    tapInstalled_ = true;
    try {
        engine_->prepare();
        engine_->start();
    } catch (...) {
        fail(std::current_exception(), token);
        return;
    }
    recordingStartedAt_ = std::chrono::steady_clock::now();
    microphone_->delivered(MicrophoneWatch::Clock::now()); // opening the device may have taken a while
    PhaseTrace::mark("recording");
    setStatus(Status::recording);
    if (epoch_ != token || status_ != Status::recording) {
        return; // the status callback ended the recording
    }

    limitTask_ = std::make_unique<QTimer>();
    limitTask_->setSingleShot(true);
    limitTask_->setInterval(std::chrono::duration_cast<std::chrono::milliseconds>(environment_.recordingLimit));
    QObject::connect(limitTask_.get(), &QTimer::timeout, limitTask_.get(), [this, token] {
        if (epoch_ == token && status_ == Status::recording) {
            stop();
        }
    });
    limitTask_->start();
    watchMicrophone(token);
}

void SpeechRecorder::watchMicrophone(QUuid token)
{
    const auto limit = environment_.microphoneSilenceLimit;
    if (limit <= std::chrono::milliseconds::zero()) {
        return;
    }
    microphoneTask_ = std::make_unique<QTimer>();
    microphoneTask_->setInterval(std::max<std::chrono::milliseconds>(limit / 4, 20ms));
    QObject::connect(microphoneTask_.get(), &QTimer::timeout, microphoneTask_.get(), [this, token, limit] {
        if (epoch_ == token && status_ == Status::recording && microphone_ &&
            microphone_->silentFor(MicrophoneWatch::Clock::now(), limit)) {
            microphoneStopped(token);
        }
    });
    microphoneTask_->start();
}

// The words heard so far are finalized as after a stop; the message says why it ended early.
void SpeechRecorder::microphoneStopped(QUuid token)
{
    callbacks_.onError(RecorderFailure::microphoneStopped().what());
    if (epoch_ == token && status_ == Status::recording) {
        stop();
    }
}

void SpeechRecorder::startReading(QUuid token, const PreparedSpeech& prepared)
{
    std::stop_source stop;
    resultTask_ = stop;
    auto read = std::make_shared<std::promise<void>>();
    resultsRead_ = read->get_future().share();
    work_->start([this, queue = queue_, token, transcriber = prepared.transcriber, read, stop = stop.get_token(),
                  hongKong = prepared.hongKongCharacters, literals = prepared.protectedLiterals] {
        Channel<TranscriptionResult>& results = std::visit(
            [](const auto& module) -> Channel<TranscriptionResult>& { return module->results(); }, transcriber);
        try {
            while (auto result = results.next(stop)) {
                if (hongKong) {
                    HongKongTranscript::apply(*result, literals); // off the main thread: it takes a while
                }
                queue->post([this, token, result = std::move(*result)] {
                    if (epoch_ == token) {
                        accept(result);
                    }
                });
            }
        } catch (...) {
            queue->post([this, token, error = std::current_exception()] { fail(error, token); });
        }
        read->set_value();
    });
}

void SpeechRecorder::accept(const TranscriptionResult& result)
{
    const std::string plain = result.text();
    reducer_.consume(plain, result.start, result.end, result.isFinal, result.finalizedThrough);

    const RangeKey key{result.start, result.end};
    if (result.isFinal && result.untranscribed && std::isfinite(result.start) && std::isfinite(result.end)) {
        untranscribed_.emplace_back(result.start, result.end);
    }
    if (std::isfinite(result.start) && std::isfinite(result.end) && result.start < result.end &&
        !finalEvidenceKeys_.contains(key)) {
        ResultEvidence evidence;
        evidence.alternatives = SpeechConfiguration::distinctAlternatives(plain, result.alternatives);
        evidence.fromProvisional = result.isFinal && result.fromProvisional;
        for (const auto& run : result.runs) {
            if (run.confidence) {
                evidence.confidenceSamples.push_back(*run.confidence);
            }
        }
        evidence_[key] = std::move(evidence);
        if (result.isFinal) {
            finalEvidenceKeys_.insert(key);
        }
    }
    callbacks_.onTranscript(reducer_.displayText(), false);
    if (std::string settled = reducer_.finalText(); settled != settled_ && status_ == Status::recording) {
        settled_ = std::move(settled);
        if (callbacks_.onSettled) {
            callbacks_.onSettled(settled_);
        }
    }
}

void SpeechRecorder::stop()
{
    if (status_ != Status::recording || !analyzer_) {
        return;
    }
    PhaseTrace::mark("stop");
    const QUuid token = epoch_;
    setStatus(Status::finalizing);
    if (epoch_ != token) {
        return;
    }
    clearLimit();
    stopCapture();

    std::stop_source stop;
    finalizationTask_ = stop;
    const double seconds = environment_.finalizationSeconds;
    work_->start([this, queue = queue_, token, seconds, bridge = bridge_, analyzer = analyzer_,
                  resultsRead = resultsRead_, caller = stop.get_token()] {
        std::exception_ptr error;
        try {
            speechBounded(
                seconds, "finalization", {},
                [bridge, analyzer, resultsRead](std::stop_token operationStop) {
                    if (bridge) {
                        bridge->finish();
                    }
                    analyzer->finalizeThroughEndOfInput(operationStop);
                    // Every final result has been handed to the main thread once the reader ends.
                    while (resultsRead && resultsRead->wait_for(20ms) != std::future_status::ready) {
                        if (operationStop.stop_requested()) {
                            throw CancellationError();
                        }
                    }
                    return true;
                },
                caller, work_.get());
        } catch (...) {
            error = std::current_exception();
        }
        queue->post([this, token, error] { finalizationEnded(token, error); });
    });
}

void SpeechRecorder::finalizationEnded(QUuid token, std::exception_ptr error)
{
    if (error) {
        fail(error, token);
        return;
    }
    if (epoch_ != token) {
        return;
    }
    finalizationTask_.reset();
    reducer_.finishFinalizedInput();
    const std::string text = reducer_.finalText();
    PhaseTrace::mark("transcript");
    callbacks_.onTranscript(text, true);
    if (epoch_ != token) {
        return;
    }
    SpeechDiagnostics diagnostics = makeDiagnostics(text);
    finish(token, text, std::move(diagnostics));
}

void SpeechRecorder::cancel()
{
    if (status_ == Status::idle) {
        return;
    }
    epoch_ = QUuid::createUuid();
    clearLimit();
    cancelTask(preparationTask_);
    cancelTask(finalizationTask_);
    stopCapture();
    if (bridge_) {
        bridge_->abort();
    }
    cancelTask(resultTask_);
    resultsRead_.reset();
    std::shared_ptr<SpeechAnalyzer> analyzer = std::move(analyzer_);
    analyzer_.reset();
    bridge_.reset();
    reducer_ = TranscriptReducer();
    settled_.clear();
    setStatus(Status::idle);
    callbacks_.onCompletion(std::nullopt);
    cancelAnalyzer(std::move(analyzer));
}

void SpeechRecorder::fail(std::exception_ptr error, QUuid token)
{
    if (epoch_ != token) {
        return;
    }
    stopCapture();
    cancelTask(preparationTask_);
    cancelTask(finalizationTask_);
    if (bridge_) {
        bridge_->abort();
    }
    cancelAnalyzer(analyzer_);
    callbacks_.onError(messageOf(error));
    finish(token, std::nullopt, std::nullopt);
}

void SpeechRecorder::finish(QUuid token, std::optional<std::string> text, std::optional<SpeechDiagnostics> diagnostics)
{
    if (epoch_ != token) {
        return;
    }
    epoch_ = QUuid::createUuid();
    cancelTask(resultTask_);
    resultsRead_.reset();
    cancelTask(preparationTask_);
    cancelTask(finalizationTask_);
    analyzer_.reset();
    bridge_.reset();
    engine_.reset();
    setStatus(Status::idle);
    if (diagnostics) {
        callbacks_.onDiagnostics(*diagnostics);
    }
    callbacks_.onCompletion(text);
}

void SpeechRecorder::stopCapture()
{
    if (engine_) {
        if (tapInstalled_) {
            engine_->removeTap();
        }
        // Stopping waits for the device's capture thread, which a device that stopped
        // delivering holds indefinitely: never on the main thread. The tap is gone already.
        work_->start([engine = std::shared_ptr<AudioEngine>(std::move(engine_))]() mutable {
            engine->stop();
            engine.reset();
        });
    }
    engine_.reset();
    tapInstalled_ = false;
}

SpeechDiagnostics SpeechRecorder::makeDiagnostics(const std::string& text) const
{
    SpeechDiagnostics diagnostics;
    std::size_t alternatives = 0;
    std::size_t samples = 0;
    for (const auto& segment : reducer_.finalSegments()) {
        SpeechDiagnostics::Segment entry{segment.text, segment.startSeconds, segment.endSeconds, {}, {}};
        if (auto found = evidence_.find({segment.startSeconds, segment.endSeconds}); found != evidence_.end()) {
            entry.alternatives = found->second.alternatives;
            entry.confidenceSamples = found->second.confidenceSamples;
            entry.fromProvisional = found->second.fromProvisional;
        }
        alternatives += entry.alternatives.size();
        samples += entry.confidenceSamples.size();
        diagnostics.finalSegments.push_back(std::move(entry));
    }
    diagnostics.untranscribed = untranscribed_;
    double elapsed = 0.0;
    if (recordingStartedAt_) {
        elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - *recordingStartedAt_).count();
    }
    const bool hasHints = !settings_.contextualStrings.empty();
    const bool applied = settings_.engine == SpeechEngine::dictation && hasHints;
    const char* note = !hasHints ? "no contextual phrases"
                       : applied ? "contextual phrases applied"
                                 : "contextual phrases ignored by SpeechTranscriber";

    diagnostics.engine = settings_.engine;
    diagnostics.locale = std::string(SpeechConfiguration::locale);
    diagnostics.finalText = text;
    diagnostics.elapsedSeconds = std::max(0.0, elapsed);
    diagnostics.contextualStringsApplied = applied;
    if (applied) {
        const auto used = analyzer_ ? analyzer_->appliedContextualStrings() : std::nullopt;
        diagnostics.contextualStringsUsed = used ? *used : settings_.contextualStrings;
        diagnostics.contextualStringCount = settings_.contextualStrings.size();
    }
    diagnostics.description = std::string(settings_.engine.rawValue()) + " · zh-HK · " +
                              formatted("%.1f", diagnostics.elapsedSeconds) + "s · " +
                              std::to_string(diagnostics.finalSegments.size()) + " final segments · " +
                              std::to_string(alternatives) + " alternatives · " + std::to_string(samples) +
                              " SDK confidence values · " + note;
    return diagnostics;
}

} // namespace kivo
