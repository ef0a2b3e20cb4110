#include "app/controller/Recording.h"

#include "app/controller/SessionHost.h"
#include "app/models/ModelAdvice.h"
#include "app/models/ModelStore.h"
#include "app/models/ModelText.h"
#include "app/shell/FloatingPanel.h"
#include "app/shell/RecognitionDetailsDialog.h"
#include "app/shell/VoicePanel.h"
#include "app/speech/RecorderFailure.h"
#include "app/speech/SpeechDetails.h"
#include "app/speech/SpeechReviewPolicy.h"
#include "platform/speech/SpeechModelFile.h"
#include "platform/text/CharacterClass.h"
#include "platform/text/Utf16.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QPointer>
#include <QRegularExpression>
#include <QTimer>

#include <algorithm>

namespace kivo {
namespace {

constexpr double windowWhileConverting = 6.0; // seconds

// The recorder's "asset is not installed" failure, for either transcriber.
bool isMissingSpeechModel(const std::string& failure)
{
    return failure == RecorderFailure::localeNotInstalled("speech").what() ||
           failure == RecorderFailure::localeNotInstalled("dictation").what();
}

bool blank(const std::string& text)
{
    return CharacterClass::trimWhitespaceAndNewlines(Utf16::fromUtf8(text)).empty();
}

std::vector<std::string> splitHints(const QString& field)
{
    std::vector<std::string> hints;
    for (const QString& piece : field.split(QRegularExpression(QStringLiteral("[,，\\n]")))) {
        const std::string trimmed =
            Utf16::toUtf8(CharacterClass::trimWhitespaceAndNewlines(Utf16::fromUtf8(piece.toStdString())));
        if (!trimmed.empty()) {
            hints.push_back(trimmed);
        }
    }
    return hints;
}

} // namespace

Recording::Recording(SessionHost& host, const SessionOptions& options) : host_(host), options_(options) {}

Recording::~Recording() = default;

void Recording::setStatus(const QString& text, const std::optional<QString>& modelsDetails)
{
    host_.panel().setStatus(text, modelsDetails);
}

SpeechSession& Recording::recorder()
{
    if (!recorder_) {
        // The callbacks hold the flow weakly and do nothing once it is gone.
        QPointer<Recording> weak(this);
        SpeechSession::Callbacks callbacks;
        callbacks.onTranscript = [weak](const std::string& text, bool isFinal) {
            if (weak) {
                weak->transcribed(text, isFinal);
            }
        };
        callbacks.onSettled = [weak](const std::string& text) {
            if (weak && weak->busy_) {
                weak->host_.transcriptSettled(text);
            }
        };
        callbacks.onStatus = [weak](SpeechSession::Status status) {
            if (weak) {
                weak->statusChanged(status);
            }
        };
        callbacks.onError = [weak](const std::string& message) {
            if (weak) {
                weak->failure_ = message;
                // Shown in both interface languages as it is, so not in the catalogue.
                weak->setStatus(QStringLiteral("辨識未完成：") + QString::fromStdString(message));
            }
        };
        callbacks.onCompletion = [weak](const std::optional<std::string>& text) {
            if (Recording* recording = weak.data()) {
                recording->complete(text);
                if (recording->afterEnd_) {
                    QMetaObject::invokeMethod(
                        recording, [recording] { recording->afterEnd_(); }, Qt::QueuedConnection);
                }
            }
        };
        callbacks.onDiagnostics = [weak](const SpeechDiagnostics& diagnostics) {
            if (weak && weak->busy_) {
                weak->diagnostics_ = diagnostics;
            }
        };
        recorder_ = options_.makeRecorder ? options_.makeRecorder(std::move(callbacks))
                                          : std::make_unique<SpeechRecorder>(std::move(callbacks), options_.speech);
    }
    return *recorder_;
}

void Recording::transcribed(const std::string& text, bool isFinal)
{
    if (!busy_) {
        return;
    }
    lastPartial_ = text;
    host_.panel().setSource(QString::fromStdString(text));
    host_.panel().setScope(isFinal ? tr("Final STT transcript") : tr("Recognizing — provisional transcript"));
}

void Recording::statusChanged(SpeechSession::Status status)
{
    using Status = SpeechSession::Status;
    if (!busy_) {
        return;
    }
    status_ = status;
    stopping_ = false;
    switch (status) {
    case Status::requestingPermission: setStatus(tr("Waiting for microphone permission…")); break;
    case Status::preparing: setStatus(tr("Preparing local Cantonese speech recognition…")); break;
    case Status::recording: {
        host_.transcriptBegins();
        startedAt_ = std::chrono::steady_clock::now();
        timer_ = std::make_unique<QTimer>();
        timer_->setInterval(1000);
        // A coarse timer may fire up to 5 % early and show the previous second.
        timer_->setTimerType(Qt::PreciseTimer);
        connect(timer_.get(), &QTimer::timeout, this, [this] { updateRecordingStatus(); });
        timer_->start();
        updateRecordingStatus();
        break;
    }
    case Status::finalizing:
        timer_.reset();
        setStatus(tr("Recording stopped. Waiting for final transcript (up to 10 s)…"));
        break;
    case Status::idle: break;
    }
    host_.updateControls();
}

void Recording::press()
{
    const PanelActivity activity = host_.activity();
    if (activity.restarting) {
        return;
    }
    if (busy_) {
        if (status_ == SpeechSession::Status::recording) {
            stopping_ = true;
            host_.updateControls();
            recorder().stop();
        }
        return;
    }
    if (activity.converting || activity.delivering) {
        return;
    }
    FloatingPanel& panel = host_.panel();
    const PanelState& state = panel.state();
    draft_ = SpeechDraft{state.source, state.result, state.selection, state.resultCopyable};
    busy_ = true;
    failure_.reset();
    status_ = SpeechSession::Status::requestingPermission;
    lastPartial_.clear();
    diagnostics_.reset();
    SpeechSession::Settings settings;
    settings.engine = state.settings.dictation ? SpeechSession::Engine::dictation : SpeechSession::Engine::speech;
    settings.contextualStrings = splitHints(state.settings.vocabulary);
    settings.hongKongCharacters = state.settings.hongKongCharacters;
    // Converting while speaking leaves only the last window's text for after the stop, so its
    // windows are kept short enough to convert in a moment (slow models already get 4 s ones).
    if (state.settings.autoProcess && state.settings.convertWhileSpeaking) {
        settings.longestWindow = windowWhileConverting;
    }
    panel.setResult({}, false);
    host_.updateControls();
    updateSpeechInfo();
    recorder().start(settings);
}

void Recording::pressFromShortcut()
{
    const PanelActivity activity = host_.activity();
    if (activity.restarting || activity.converting || activity.delivering) {
        return;
    }
    if (busy_ && status_ != SpeechSession::Status::recording) {
        return;
    }
    press();
}

void Recording::command(RecordingCommand command)
{
    if (RecordingCommands::presses(command, busy_, recording())) {
        pressFromShortcut();
    }
}

void Recording::cancel()
{
    recorder().cancel();
}

void Recording::cancelThen(std::function<void()> ended)
{
    afterEnd_ = ended;
    recorder().cancel();
    // A recorder that never reports back must not keep the app from ending.
    QTimer::singleShot(std::chrono::seconds(5), this, std::move(ended));
}

void Recording::updateRecordingStatus()
{
    if (!busy_ || status_ != SpeechSession::Status::recording || !startedAt_) {
        return;
    }
    const auto elapsed =
        std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - *startedAt_).count();
    const QString n = QString::number(std::clamp<long long>(elapsed, 0, 60));
    setStatus(tr("Recording %1 / 60 s — click Stop recording to finish.").arg(n));
}

void Recording::complete(const std::optional<std::string>& text)
{
    if (!busy_) {
        return;
    }
    timer_.reset();
    stopping_ = false;
    if (text && !blank(*text)) {
        completeWithText(*text);
    } else {
        completeWithoutText();
    }
    if (text) {
        host_.panel().showEditor();
    }
    updateSpeechInfo();
}

void Recording::completeWithText(const std::string& text)
{
    FloatingPanel& panel = host_.panel();
    panel.setSource(QString::fromStdString(text));
    transcript_ = text;
    panel.setScope(tr("Final STT transcript"));
    busy_ = false;
    status_ = SpeechSession::Status::idle;
    draft_.reset();
    host_.updateControls();
    // A recording the microphone ended early still completes; the status says why it ended.
    setStatus(failure_ ? QString::fromStdString(*failure_)
                       : tr("Recognition complete. STT text is available in Original."));
    const auto review = options_.reviewTranscript ? options_.reviewTranscript(text) : SpeechReviewPolicy::reason(text);
    if (review == SpeechReviewPolicy::Reason::empty) {
        setStatus(tr("No words to process. Record again; not automatically sent to the language model."));
    } else if (review == SpeechReviewPolicy::Reason::numbersOnly) {
        setStatus(tr("Numbers-only result. Check recognition, then click Convert. Original unchanged."));
    } else if (review == SpeechReviewPolicy::Reason::hesitationOnly) {
        setStatus(tr("Hesitation-only result. Review first; not automatically sent to the language model."));
    } else if (panel.state().settings.autoProcess) {
        host_.convert();
    }
}

void Recording::completeWithoutText()
{
    FloatingPanel& panel = host_.panel();
    if (draft_) {
        panel.setSource(draft_->source, draft_->selection);
        panel.setResult(draft_->result, draft_->canCopyResult);
    }
    draft_.reset();
    busy_ = false;
    status_ = SpeechSession::Status::idle;
    host_.updateControls();
    host_.updateScope();
    if (!failure_) {
        setStatus(
            tr("Recording cancelled or no final text. Previous text retained; nothing sent to the language model."));
        return;
    }
    std::string failure = *failure_;
    std::optional<QString> modelsDetails;
    if (isMissingSpeechModel(failure)) {
        const auto advice = ModelAdvice::speechMissing();
        failure = advice.status;
        modelsDetails = QString::fromStdString(advice.details);
    } else if (ModelAdvice::isSpeechModelFailure(failure)) {
        const auto advice = ModelAdvice::speechBroken(failure);
        failure = advice.status;
        modelsDetails = QString::fromStdString(advice.details);
    }
    setStatus(tr("Recognition failed: %1. Previous text retained.")
                  .arg(QString::fromStdString(ModelText::withoutFullStop(failure))),
              modelsDetails);
}

void Recording::restoreTranscript()
{
    if (busy_ || host_.activity().converting || !transcript_) {
        return;
    }
    FloatingPanel& panel = host_.panel();
    panel.setSource(QString::fromStdString(*transcript_));
    panel.setResult({}, false);
    host_.updateScope();
    panel.showEditor();
    setStatus(tr("Restored the last completed STT transcript."));
}

void Recording::updateSpeechInfo()
{
    FloatingPanel& panel = host_.panel();
    const SpeechEngine selected = panel.state().settings.dictation ? SpeechEngine::dictation : SpeechEngine::speech;
    // The engine choices name the model that will run.
    std::array<QString, 2> titles;
    const auto installed = ModelStore::installed(ModelRole::speech);
    const auto header = installed ? SpeechModelFile::readHeader(*installed) : std::nullopt;
    const std::string size = header ? SpeechModelFile::sizeName(*header) : std::string();
    for (const auto engine : SpeechEngine::allCases) {
        titles[engine] = QString::fromStdString(SpeechEngine(engine).title(size));
    }
    panel.setSpeechInfo(QString::fromStdString(SpeechDetails::infoLine(selected, diagnostics_)),
                        selected.acceptsHints(), titles);
}

void Recording::showDetails()
{
    if (busy_ || host_.activity().converting) {
        return;
    }
    RecognitionDetailsDialog::Texts texts{
        tr("Recognition details"),
        tr("Alternatives and confidence may be unavailable. They do not prove correctness. Kept in memory only."),
        QString::fromStdString(SpeechDetails::text(diagnostics_, lastPartial_)), tr("Close"), tr("Copy details")};
    // Window-modal and asynchronous: the main loop keeps running while it is open.
    auto* dialog = new RecognitionDetailsDialog(texts, &host_.panel().window());
    connect(dialog, &RecognitionDetailsDialog::copyRequested, this, [](const QString& details) {
        QClipboard* clipboard = QGuiApplication::clipboard();
        clipboard->clear();
        clipboard->setText(details);
    });
    dialog->open();
}

} // namespace kivo
