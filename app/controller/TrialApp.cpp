#include "app/controller/TrialApp.h"
#include "app/shell/lifecycle/UpdateController.h"

#include "app/controller/BundleLocation.h"
#include "app/controller/RunLock.h"
#include "app/controller/RunnerPreparation.h"
#include "app/controller/RunnerProcess.h"
#include "app/shell/FloatingButton.h"
#include "app/shell/Localization.h"
#include "app/shell/RecognitionDetailsDialog.h"
#include "app/shell/SettingsPopover.h"
#include "app/shell/StatusLabel.h"
#include "app/shell/VoicePanel.h"
#include "app/shell/models/ModelAdvice.h"
#include "app/shell/models/ModelText.h"
#include "app/shell/models/ModelsLink.h"
#include "app/shell/models/ModelsWindow.h"
#include "app/speech/RecorderFailure.h"
#include "app/speech/SpeechDetails.h"
#include "platform/text/CharacterClass.h"
#include "platform/text/Utf16.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalBlocker>
#include <QTextBlock>
#include <QTimer>

#include <algorithm>
#include <utility>

namespace kivo {
namespace {

// The recorder's "asset is not installed" failure, for either transcriber.
bool isMissingSpeechModel(const std::string& failure)
{
    return failure == RecorderFailure::localeNotInstalled("speech").what()
           || failure == RecorderFailure::localeNotInstalled("dictation").what();
}

bool blank(const std::string& text)
{
    return CharacterClass::trimWhitespaceAndNewlines(Utf16::fromUtf8(text)).empty();
}

std::vector<std::string> splitHints(const QString& field)
{
    std::vector<std::string> hints;
    for (const QString& piece : field.split(QRegularExpression(QStringLiteral("[,，\\n]")))) {
        const std::string trimmed = Utf16::toUtf8(
            CharacterClass::trimWhitespaceAndNewlines(Utf16::fromUtf8(piece.toStdString())));
        if (!trimmed.empty()) {
            hints.push_back(trimmed);
        }
    }
    return hints;
}

} // namespace

TrialApp::TrialApp() : TrialApp(Options{}) {}

TrialApp::TrialApp(Options options)
    : options_(std::move(options)), panel_(std::make_unique<FloatingPanel>())
{
    const std::filesystem::path executableDirectory = QCoreApplication::applicationDirPath().toStdString();
    resourcesDirectory_ = options_.resourcesDirectory.empty()
                              ? BundleLocation::resourcesDirectory(executableDirectory)
                              : options_.resourcesDirectory;
    lockPath_ = options_.lockPath.empty() ? RunLock::defaultPath() : options_.lockPath;
    appVersion_ = QString::fromStdString(
        BundleLocation::shortVersion(BundleLocation::bundleDirectory(executableDirectory)));
    connectActions();
    connectModels();
    panel_->updateFloatingControls({});
}

TrialApp::~TrialApp()
{
    preparation_.reset();
    timer_.reset();
    process_.reset();
    unlock();
}

QString TrialApp::tr(const char* chineseText, const char* englishText) const
{
    return panel_->tr(chineseText, englishText);
}

void TrialApp::setStatus(const QString& text)
{
    panel_->status->setText(text);
    const auto offer = std::exchange(offerModelsWithStatus_, std::nullopt);
    if (offer) {
        panel_->status->setAction(QString::fromStdString(ModelAdvice::openModelsAction(chinese())), *offer);
    }
    if (modelsLink_) {
        modelsLink_->setOffered(offer.has_value());
    }
}

void TrialApp::connectActions()
{
    FloatingPanel& p = *panel_;
    connect(p.settingsButton, &QAbstractButton::clicked, this, [this] { panel_->toggleSettings(); });
    connect(p.closeButton, &QAbstractButton::clicked, this, [this] { closePanel(); });
    connect(p.window.get(), &VoicePanel::closeRequested, this, [this] { closePanel(); });
    connect(p.record, &QAbstractButton::clicked, this, [this] { recordPressed(); });
    connect(p.cancel, &QAbstractButton::clicked, this, [this] { cancelRun(); });
    connect(p.mode, &QComboBox::currentIndexChanged, this, [this] { modeChanged(); });
    connect(p.editorToggle, &QAbstractButton::clicked, this, [this] { panel_->toggleEditor(); });
    connect(p.copyResult, &QAbstractButton::clicked, this, [this] { copyAfter(); });
    connect(p.copySource, &QAbstractButton::clicked, this, [this] { copyBefore(); });
    connect(p.restoreTranscript, &QAbstractButton::clicked, this, [this] { restoreSpeechOriginal(); });
    connect(p.run, &QPushButton::clicked, this, [this] { runModel(); });
    connect(p.before, &QPlainTextEdit::textChanged, this, [this] { textDidChange(); });
    connect(p.before, &QPlainTextEdit::cursorPositionChanged, this, [this] { textViewDidChangeSelection(); });
    // Select all with the caret already at the end, or a selection collapsed onto its start,
    // leaves the caret where it was.
    connect(p.before, &QPlainTextEdit::selectionChanged, this, [this] { textViewDidChangeSelection(); });
    connect(p.language, &QComboBox::currentIndexChanged, this, [this] { languageChanged(); });
    connect(p.speechEngine, &QComboBox::currentIndexChanged, this, [this] { speechEngineChanged(); });
    connect(p.autoProcess, &QCheckBox::toggled, this, [this] { savePreferences(); });
    connect(p.autoInsert, &QCheckBox::toggled, this, [this] { autoInsertChanged(); });
    connect(p.hongKongCharacters, &QCheckBox::toggled, this, [this] { savePreferences(); });
    connect(p.shortcutChoice, &QComboBox::currentIndexChanged, this, [this] { shortcutChanged(); });
    connect(p.shortcutPermission, &QAbstractButton::clicked, this, [this] { requestShortcutPermission(); });
    connect(qApp, &QGuiApplication::applicationStateChanged, this, [this](Qt::ApplicationState state) {
        if (state == Qt::ApplicationActive) {
            applicationDidBecomeActive();
        }
    });
    connect(p.vocabulary, &QLineEdit::textChanged, this, [this] { savePreferences(); });
    connect(p.window.get(), &VoicePanel::moved, this, [this] { preferences_->windowMoved(*panel_); });
    p.onEditorExpandedChanged = [this](bool) { savePreferences(); };
    connect(p.checkUpdatesButton, &QPushButton::clicked, this, [this] { checkForUpdates(); });
    connect(p.restartButton, &QPushButton::clicked, this, [this] { restartApp(); });
    connect(p.details, &QAbstractButton::clicked, this, [this] { showSpeechDetails(); });
    // Updates and restart come with their own subsystems; until then their controls are laid
    // out and do nothing.
}

void TrialApp::applicationDidFinishLaunching()
{
    buildMainMenu();
    restorePreferences();
    startUpdateService();
    startShortcutMonitoring();
    showWindow();
    if (QWidget* focused = QApplication::focusWidget()) {
        focused->clearFocus();
    }
    launched_ = true;
    prepareModel();
}

void TrialApp::applicationWillTerminate()
{
    cancelDelivery();
    stopShortcutMonitoring();
    savePreferences();
    stopModelPreparation();
    stopModel(QString());
}

void TrialApp::restorePreferences()
{
    preferences_->restore(*panel_, [this] { localize(); });
}

void TrialApp::savePreferences()
{
    preferences_->save(*panel_);
}

void TrialApp::showWindow()
{
    panel_->window->show();
    panel_->window->raise();
    panel_->window->activateWindow();
}

void TrialApp::closePanel()
{
    requestQuit();
}

bool TrialApp::busy() const
{
    return restartInProgress_ || process_ || speechBusy_ || deliveryTask_;
}

SpeechSession& TrialApp::recorder()
{
    if (!recorder_) {
        // The callbacks hold the controller weakly and do nothing once it is gone.
        QPointer<TrialApp> weak(this);
        SpeechSession::Callbacks callbacks;
        callbacks.onTranscript = [weak](const std::string& text, bool isFinal) {
            TrialApp* app = weak.data();
            if (!app || !app->speechBusy_) {
                return;
            }
            app->lastPartial_ = text;
            app->setBeforeText(QString::fromStdString(text));
            app->panel_->scope->setText(isFinal ? app->tr("STT 最終原文", "Final STT transcript")
                                                : app->tr("辨識中 — 暫定原文", "Recognizing — provisional transcript"));
        };
        callbacks.onStatus = [weak](SpeechSession::Status status) {
            if (TrialApp* app = weak.data()) {
                app->onRecorderStatus(status);
            }
        };
        callbacks.onError = [weak](const std::string& message) {
            if (TrialApp* app = weak.data()) {
                app->speechFailure_ = message;
                app->setStatus(QStringLiteral("辨識未完成：") + QString::fromStdString(message));
            }
        };
        callbacks.onCompletion = [weak](const std::optional<std::string>& text) {
            if (TrialApp* app = weak.data()) {
                app->completeRecording(text);
                if (app->quitAfterRecording_) {
                    QMetaObject::invokeMethod(app, [app] { app->quit(); }, Qt::QueuedConnection);
                }
            }
        };
        callbacks.onDiagnostics = [weak](const SpeechDiagnostics& diagnostics) {
            TrialApp* app = weak.data();
            if (app && app->speechBusy_) {
                app->speechDiagnostics_ = diagnostics;
            }
        };
        recorder_ = options_.makeRecorder ? options_.makeRecorder(std::move(callbacks))
                                          : std::make_unique<SpeechRecorder>(std::move(callbacks), options_.speech);
    }
    return *recorder_;
}

void TrialApp::onRecorderStatus(SpeechSession::Status status)
{
    using Status = SpeechSession::Status;
    if (!speechBusy_) {
        return;
    }
    speechStatus_ = status;
    switch (status) {
    case Status::requestingPermission:
        setStatus(tr("等候麥克風權限…", "Waiting for microphone permission…"));
        break;
    case Status::preparing:
        setStatus(tr("準備本機粵語辨識模型…", "Preparing local Cantonese speech recognition…"));
        break;
    case Status::recording: {
        recordingStartedAt_ = std::chrono::steady_clock::now();
        recordingTimer_ = std::make_unique<QTimer>();
        recordingTimer_->setInterval(1000);
        // A coarse timer may fire up to 5 % early and show the previous second.
        recordingTimer_->setTimerType(Qt::PreciseTimer);
        QPointer<TrialApp> weak(this);
        connect(recordingTimer_.get(), &QTimer::timeout, this, [weak] {
            if (weak) {
                weak->updateRecordingStatus();
            }
        });
        recordingTimer_->start();
        updateRecordingStatus();
        break;
    }
    case Status::finalizing:
        recordingTimer_.reset();
        setStatus(tr("已停止錄音，等待最終辨識（最多 10 秒）…",
                     "Recording stopped. Waiting for final transcript (up to 10 s)…"));
        break;
    case Status::idle:
        break;
    }
    updateControls();
}

void TrialApp::recordPressed()
{
    if (restartInProgress_) {
        return;
    }
    if (speechBusy_) {
        if (speechStatus_ == SpeechSession::Status::recording) {
            panel_->record->setEnabled(false);
            recorder().stop();
        }
        return;
    }
    if (process_ || deliveryTask_) {
        return;
    }
    speechDraft_ = SpeechDraft{panel_->before->toPlainText(), panel_->after->toPlainText(), beforeSelection(),
                               panel_->copyResult->isEnabled()};
    speechBusy_ = true;
    speechFailure_.reset();
    speechStatus_ = SpeechSession::Status::requestingPermission;
    lastPartial_.clear();
    speechDiagnostics_.reset();
    SpeechSession::Settings settings;
    settings.engine = panel_->speechEngine->currentIndex() == 1 ? SpeechSession::Engine::dictation
                                                                : SpeechSession::Engine::speech;
    settings.contextualStrings = splitHints(panel_->vocabulary->text());
    settings.hongKongCharacters = panel_->hongKongCharacters->isChecked();
    invalidateResult();
    updateControls();
    updateSpeechInfo();
    recorder().start(settings);
}

void TrialApp::recordFromShortcut()
{
    if (restartInProgress_ || process_ || deliveryTask_) {
        return;
    }
    if (speechBusy_ && speechStatus_ != SpeechSession::Status::recording) {
        return;
    }
    recordPressed();
}

void TrialApp::updateRecordingStatus()
{
    if (!speechBusy_ || speechStatus_ != SpeechSession::Status::recording || !recordingStartedAt_) {
        return;
    }
    const auto elapsed = std::chrono::duration_cast<std::chrono::seconds>(
        std::chrono::steady_clock::now() - *recordingStartedAt_).count();
    const QString n = QString::number(std::clamp<long long>(elapsed, 0, 60));
    setStatus(chinese() ? QStringLiteral("錄音中 ") + n + QStringLiteral(" / 60 秒 — 按「停止錄音」完成。")
                        : QStringLiteral("Recording ") + n + QStringLiteral(" / 60 s — click Stop recording to finish."));
}

void TrialApp::completeRecording(const std::optional<std::string>& text)
{
    if (!speechBusy_) {
        return;
    }
    recordingTimer_.reset();
    if (text && !blank(*text)) {
        setBeforeText(QString::fromStdString(*text));
        originalSpeechText_ = *text;
        panel_->scope->setText(tr("STT 最終原文", "Final STT transcript"));
        speechBusy_ = false;
        speechStatus_ = SpeechSession::Status::idle;
        speechDraft_.reset();
        updateControls();
        // A recording the microphone ended early still completes; the status says why it ended.
        setStatus(speechFailure_ ? QString::fromStdString(*speechFailure_)
                                 : tr("辨識完成；原文區保留 STT 文字。", "Recognition complete. STT text is available in Original."));
        const auto review = options_.reviewTranscript ? options_.reviewTranscript(*text)
                                                      : SpeechReviewPolicy::reason(*text);
        if (review == SpeechReviewPolicy::Reason::empty) {
            setStatus(tr("沒有可處理的文字，請重新錄音；沒有自動交給語言模型。",
                         "No words to process. Record again; not automatically sent to the language model."));
        } else if (review == SpeechReviewPolicy::Reason::numbersOnly) {
            setStatus(tr("結果只有數字，請先確認是否聽錯；確認後按「轉換文字」。原文未改動。",
                         "Numbers-only result. Check recognition, then click Convert. Original unchanged."));
        } else if (review == SpeechReviewPolicy::Reason::hesitationOnly) {
            setStatus(tr("結果只有語氣聲，請先檢閱；沒有自動交給語言模型。",
                         "Hesitation-only result. Review first; not automatically sent to the language model."));
        } else if (panel_->autoProcess->isChecked()) {
            runModel();
        }
    } else {
        if (speechDraft_) {
            setBeforeText(speechDraft_->source);
            selectBefore(speechDraft_->selection);
            panel_->after->setPlainText(speechDraft_->result);
            panel_->copyResult->setEnabled(speechDraft_->canCopyResult);
        }
        speechDraft_.reset();
        speechBusy_ = false;
        speechStatus_ = SpeechSession::Status::idle;
        updateControls();
        updateScope();
        if (speechFailure_) {
            std::string failure = *speechFailure_;
            if (isMissingSpeechModel(failure)) {
                const auto advice = ModelAdvice::speechMissing(chinese());
                failure = advice.status;
                offerModelsWithStatus_ = QString::fromStdString(advice.details);
            } else if (ModelAdvice::isSpeechModelFailure(failure)) {
                const auto advice = ModelAdvice::speechBroken(failure, chinese());
                failure = advice.status;
                offerModelsWithStatus_ = QString::fromStdString(advice.details);
            }
            setStatus(QString::fromStdString(
                chinese() ? "辨識未完成：" + ModelText::withoutFullStop(failure) + "；錄音前文字已保留。"
                          : ModelText::joined("Recognition failed: " + failure, ". Previous text retained.")));
        } else {
            setStatus(tr("錄音已取消或沒有最終文字；錄音前文字已保留，未交給語言模型。",
                         "Recording cancelled or no final text. Previous text retained; nothing sent to the language model."));
        }
    }
    if (text) {
        panel_->showEditor();
    }
    updateSpeechInfo();
}

void TrialApp::updateScope()
{
    panel_->scope->setText(beforeSelection().length == 0 ? tr("轉換全文", "Convert all text")
                                                         : tr("只轉換選取文字", "Convert selection only"));
}

void TrialApp::updateControls()
{
    FloatingPanel& p = *panel_;
    const bool isIdle = idle();
    for (QWidget* control : {static_cast<QWidget*>(p.speechEngine), static_cast<QWidget*>(p.run),
                             static_cast<QWidget*>(p.mode), static_cast<QWidget*>(p.inputLanguage),
                             static_cast<QWidget*>(p.autoProcess), static_cast<QWidget*>(p.autoInsert),
                             static_cast<QWidget*>(p.language)}) {
        control->setEnabled(isIdle);
    }
    p.before->setReadOnly(!isIdle);
    p.vocabulary->setEnabled(isIdle && p.speechEngine->currentIndex() == 1);
    p.details->setEnabled(isIdle && (speechDiagnostics_ || !lastPartial_.empty()));
    p.restoreTranscript->setEnabled(isIdle && originalSpeechText_.has_value());
    p.cancel->setEnabled(process_ || speechBusy_);
    p.record->setEnabled(!restartInProgress_ && !deliveryTask_ && !process_ &&
                         (!speechBusy_ || speechStatus_ == SpeechSession::Status::recording));
    updateUpdateControls();
    p.updateFloatingControls({process_ != nullptr, speechBusy_, speechStatus_ == SpeechSession::Status::recording});
    p.copySource->setEnabled(!speechBusy_ && !deliveryTask_);
    if (!isIdle || p.after->toPlainText().isEmpty()) {
        p.copyResult->setEnabled(false);
    }
}

void TrialApp::invalidateResult()
{
    panel_->after->clear();
    panel_->copyResult->setEnabled(false);
}

void TrialApp::textDidChange()
{
    if (process_ || speechBusy_ || deliveryTask_) {
        return;
    }
    invalidateResult();
    setStatus(tr("原文已修改；請重新轉換。", "Original changed. Convert again."));
    updateScope();
}

void TrialApp::textViewDidChangeSelection()
{
    if (process_ || speechBusy_ || deliveryTask_) {
        return;
    }
    invalidateResult();
    updateScope();
}

void TrialApp::receiveText(const QString& text)
{
    setBeforeText(text);
    invalidateResult();
    updateScope();
    setStatus(tr("已載入文字；按「手動轉換」處理。", "Text loaded. Click Convert manually to process."));
    panel_->showEditor();
    showWindow();
}

void TrialApp::convertSelection(const QMimeData* pasteboard, QString* error)
{
    if (busy()) {
        if (error) {
            *error = QStringLiteral("Kivo 正在處理，請完成或取消後重試。");
        }
        return;
    }
    const QString text = pasteboard && pasteboard->hasText() ? pasteboard->text() : QString();
    if (text.isEmpty()) {
        if (error) {
            *error = QStringLiteral("沒有收到選取文字。");
        }
        return;
    }
    receiveText(text);
}

void TrialApp::restoreSpeechOriginal()
{
    if (speechBusy_ || process_ || !originalSpeechText_) {
        return;
    }
    setBeforeText(QString::fromStdString(*originalSpeechText_));
    invalidateResult();
    updateScope();
    panel_->showEditor();
    setStatus(tr("已還原最近一次成功的 STT 原文。", "Restored the last completed STT transcript."));
}

void TrialApp::copyBefore()
{
    QClipboard* clipboard = QGuiApplication::clipboard();
    clipboard->clear();
    clipboard->setText(panel_->before->toPlainText());
}

void TrialApp::copyAfter()
{
    if (!panel_->copyResult->isEnabled()) {
        return;
    }
    QClipboard* clipboard = QGuiApplication::clipboard();
    clipboard->clear();
    clipboard->setText(panel_->after->toPlainText());
    setStatus(tr("結果已複製。", "Result copied."));
}

void TrialApp::modeChanged()
{
    invalidateResult();
    localize();
    savePreferences();
    if (launched_) {
        prepareModel();
    }
}

void TrialApp::speechEngineChanged()
{
    updateSpeechInfo();
    updateControls();
    panel_->updateSettingsLayout();
    savePreferences();
}

void TrialApp::languageChanged()
{
    localize();
    savePreferences();
}

void TrialApp::updateSpeechInfo()
{
    const SpeechEngine selected = panel_->speechEngine->currentIndex() == 1 ? SpeechEngine::dictation : SpeechEngine::speech;
    panel_->vocabularyRow->setVisible(selected.acceptsHints());
    for (const auto engine : SpeechEngine::allCases) {
        panel_->speechEngine->setItemText(static_cast<int>(engine), QString::fromUtf8(SpeechEngine(engine).title(chinese())));
    }
    panel_->speechInfo->setText(QString::fromStdString(SpeechDetails::infoLine(selected, speechDiagnostics_, chinese())));
}

void TrialApp::showSpeechDetails()
{
    if (speechBusy_ || process_) {
        return;
    }
    RecognitionDetailsDialog::Texts texts{
        tr("本次辨識明細", "Recognition details"),
        tr("候選及信心值由辨識引擎提供，可能沒有；它們不能證明文字正確。只保留於記憶體。",
           "Alternatives and confidence may be unavailable. They do not prove correctness. Kept in memory only."),
        QString::fromStdString(SpeechDetails::text(speechDiagnostics_, lastPartial_, chinese())),
        tr("關閉", "Close"),
        tr("複製明細", "Copy details")};
    // Window-modal and asynchronous: the main loop keeps running while it is open.
    auto* dialog = new RecognitionDetailsDialog(texts, panel_->window.get());
    connect(dialog, &RecognitionDetailsDialog::copyRequested, this, [](const QString& details) {
        QClipboard* clipboard = QGuiApplication::clipboard();
        clipboard->clear();
        clipboard->setText(details);
    });
    dialog->open();
}

void TrialApp::localize()
{
    panel_->localizeLabels(appVersion_);
    updateSpeechInfo();
    panel_->localizeFloatingInterface();
    updateControls();
    updateScope();
    panel_->updateSettingsLayout();
    localizeUpdateControls();
    updateShortcutLabels();
    localizeModels();
    if (!process_ && !speechBusy_ && !deliveryTask_) {
        showIdleStatus();
    }
}

void TrialApp::setBeforeText(const QString& text)
{
    // Programmatic changes are not user edits: they must not invalidate anything.
    const QSignalBlocker quiet(panel_->before);
    panel_->before->setPlainText(text);
    QTextCursor cursor = panel_->before->textCursor();
    cursor.setPosition(0);
    panel_->before->setTextCursor(cursor);
}

TextRange TrialApp::beforeSelection() const
{
    const QTextCursor cursor = panel_->before->textCursor();
    return {cursor.selectionStart(), cursor.selectionEnd() - cursor.selectionStart()};
}

void TrialApp::selectBefore(TextRange range)
{
    const QSignalBlocker quiet(panel_->before);
    QTextCursor cursor = panel_->before->textCursor();
    const int size = static_cast<int>(panel_->before->toPlainText().size());
    cursor.setPosition(std::clamp(static_cast<int>(range.location), 0, size));
    cursor.setPosition(std::clamp(static_cast<int>(range.end()), 0, size), QTextCursor::KeepAnchor);
    panel_->before->setTextCursor(cursor);
}

OutputMode TrialApp::selectedMode() const
{
    return OutputMode::at(std::clamp(panel_->mode->currentIndex(), 0, static_cast<int>(OutputMode::all().size()) - 1));
}

} // namespace kivo
