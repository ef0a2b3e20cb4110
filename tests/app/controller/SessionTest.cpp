// The session controller driven through a scripted recorder.
#include "app/controller/TrialApp.h"
#include "app/shell/FloatingButton.h"
#include "app/shell/StatusLabel.h"
#include "app/shell/models/ModelStore.h"
#include "app/shell/models/ModelsWindow.h"
#include "app/speech/RecorderFailure.h"
#include "tests/app/controller/ControllerTestSupport.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>

#include <gtest/gtest.h>

namespace kivo {
namespace {

using namespace std::chrono_literals;
using Status = SpeechSession::Status;

// Records what the controller asked for; the test plays the recorder's callbacks.
class ScriptedRecorder : public SpeechSession {
public:
    explicit ScriptedRecorder(Callbacks callbacks, ScriptedRecorder** self) : callbacks(std::move(callbacks))
    {
        *self = this;
    }
    void start(const Settings& settings) override
    {
        ++starts;
        lastSettings = settings;
        callbacks.onStatus(Status::requestingPermission);
    }
    void stop() override { ++stops; }
    void cancel() override
    {
        ++cancels;
        callbacks.onStatus(Status::idle);
        callbacks.onCompletion(std::nullopt);
    }

    Callbacks callbacks;
    Settings lastSettings;
    int starts = 0;
    int stops = 0;
    int cancels = 0;
};

class Session : public ::testing::Test {
protected:
    void SetUp() override
    {
        test::ensureApplication();
        bundle.setRunnerScript("cat > /dev/null; echo '{\"status\":\"generated\",\"text\":\"轉換完成\"}'");
        TrialApp::Options options;
        options.resourcesDirectory = bundle.resources();
        options.lockPath = bundle.lockPath().string();
        options.makeRecorder = [this](SpeechSession::Callbacks callbacks) {
            return std::make_unique<ScriptedRecorder>(std::move(callbacks), &recorder);
        };
        options.reviewTranscript = [this](const std::string& text) -> std::optional<SpeechReviewPolicy::Reason> {
            if (text == "123") {
                return SpeechReviewPolicy::Reason::numbersOnly;
            }
            if (text == "嗯嗯") {
                return SpeechReviewPolicy::Reason::hesitationOnly;
            }
            return SpeechReviewPolicy::reason(text);
        };
        app = std::make_unique<TrialApp>(options);
        app->localize();
        panel().language->setCurrentIndex(0);
        panel().mode->setCurrentIndex(1);
    }

    FloatingPanel& panel() { return app->panel(); }
    QString status() { return panel().status->text(); }

    // Starts a recording and plays the recorder up to `recording`.
    void startRecording()
    {
        panel().record->click();
        ASSERT_NE(recorder, nullptr);
        recorder->callbacks.onStatus(Status::preparing);
        recorder->callbacks.onStatus(Status::recording);
    }

    test::TestBundle bundle;
    ScriptedRecorder* recorder = nullptr;
    std::unique_ptr<TrialApp> app;
};

TEST_F(Session, RecordIsIgnoredWhileStartingAndStopsWhileRecording)
{
    panel().speechEngine->setCurrentIndex(1);
    panel().vocabulary->setText(QStringLiteral(" Redis cache ,Codex，\n\n Kivo ,"));
    panel().record->click();
    ASSERT_EQ(recorder->starts, 1);
    EXPECT_EQ(recorder->lastSettings.engine, SpeechSession::Engine::dictation);
    EXPECT_EQ(recorder->lastSettings.contextualStrings, (std::vector<std::string>{"Redis cache", "Codex", "Kivo"}));
    EXPECT_EQ(status(), QStringLiteral("Waiting for microphone permission…"));
    EXPECT_FALSE(panel().record->isEnabled());
    EXPECT_EQ(panel().headline->text(), QStringLiteral("One moment…"));

    app->recordPressed();
    app->recordFromShortcut();
    EXPECT_EQ(recorder->starts, 1);
    EXPECT_EQ(recorder->stops, 0);

    recorder->callbacks.onStatus(Status::recording);
    EXPECT_TRUE(panel().record->isEnabled());
    EXPECT_TRUE(panel().record->recording());
    EXPECT_EQ(panel().headline->text(), QStringLiteral("Listening…"));
    EXPECT_EQ(status(), QStringLiteral("Recording 0 / 60 s — click Stop recording to finish."));
    app->recordFromShortcut();
    EXPECT_EQ(recorder->stops, 1);
    EXPECT_FALSE(panel().record->isEnabled());
    EXPECT_FALSE(panel().run->isEnabled());
}

TEST_F(Session, CancelledRecordingPutsTheDraftBack)
{
    panel().before->setPlainText(QStringLiteral("before text"));
    QTextCursor cursor = panel().before->textCursor();
    cursor.setPosition(2);
    cursor.setPosition(5, QTextCursor::KeepAnchor);
    panel().before->setTextCursor(cursor);
    panel().after->setPlainText(QStringLiteral("old result"));
    panel().copyResult->setEnabled(true);

    startRecording();
    recorder->callbacks.onTranscript("provisional words", false);
    EXPECT_EQ(panel().before->toPlainText(), QStringLiteral("provisional words"));
    EXPECT_EQ(panel().scope->text(), QStringLiteral("Recognizing — provisional transcript"));
    EXPECT_TRUE(panel().after->toPlainText().isEmpty());
    EXPECT_TRUE(panel().cancel->isEnabled());

    panel().cancel->click();
    EXPECT_EQ(recorder->cancels, 1);
    EXPECT_FALSE(app->speechBusy());
    EXPECT_EQ(panel().before->toPlainText(), QStringLiteral("before text"));
    EXPECT_EQ(panel().before->textCursor().selectionStart(), 2);
    EXPECT_EQ(panel().before->textCursor().selectionEnd(), 5);
    EXPECT_EQ(panel().after->toPlainText(), QStringLiteral("old result"));
    EXPECT_TRUE(panel().copyResult->isEnabled());
    EXPECT_EQ(status(), QStringLiteral("Recording cancelled or no final text. Previous text retained; nothing sent to the language model."));
    EXPECT_FALSE(panel().editorExpanded()) << "no text: the editor is left as it was";
}

TEST_F(Session, FailedOrBlankRecordingExplainsAndRestores)
{
    panel().before->setPlainText(QStringLiteral("kept"));
    startRecording();
    recorder->callbacks.onError("Microphone access was denied.");
    EXPECT_EQ(status(), QStringLiteral("辨識未完成：Microphone access was denied."));
    recorder->callbacks.onStatus(Status::idle);
    recorder->callbacks.onCompletion(std::nullopt);
    EXPECT_EQ(status(), QStringLiteral("Recognition failed: Microphone access was denied. Previous text retained."));
    EXPECT_EQ(panel().before->toPlainText(), QStringLiteral("kept"));

    startRecording();
    recorder->callbacks.onCompletion(std::string(" \n\t "));
    EXPECT_FALSE(app->speechBusy());
    EXPECT_EQ(panel().before->toPlainText(), QStringLiteral("kept"));
    EXPECT_FALSE(app->originalSpeechText().has_value());
    EXPECT_TRUE(panel().editorExpanded()) << "a blank transcript still opens the editor";
}

TEST_F(Session, HeldBackTranscriptsAreNotConverted)
{
    panel().autoProcess->setChecked(true);
    const std::pair<const char*, QString> cases[] = {
        {"123", QStringLiteral("Numbers-only result. Check recognition, then click Convert. Original unchanged.")},
        {"嗯嗯", QStringLiteral("Hesitation-only result. Review first; not automatically sent to the language model.")},
    };
    for (const auto& [transcript, message] : cases) {
        startRecording();
        recorder->callbacks.onTranscript(transcript, true);
        recorder->callbacks.onCompletion(std::string(transcript));
        EXPECT_EQ(status(), message);
        EXPECT_FALSE(app->hasProcess());
        EXPECT_EQ(panel().before->toPlainText(), QString::fromUtf8(transcript));
        EXPECT_EQ(panel().scope->text(), QStringLiteral("Final STT transcript"));
    }
}

TEST_F(Session, TranscriptIsConvertedAutomaticallyAndCanBeRestored)
{
    panel().autoProcess->setChecked(true);
    panel().autoInsert->setChecked(false);
    startRecording();
    recorder->callbacks.onCompletion(std::string("今日天氣好好"));
    EXPECT_TRUE(app->hasProcess());
    ASSERT_TRUE(test::waitUntil([this] { return !app->hasProcess(); }));
    EXPECT_EQ(panel().after->toPlainText(), QStringLiteral("轉換完成"));
    EXPECT_TRUE(panel().restoreTranscript->isEnabled());

    // Edits are the user's: they clear the result and say so.
    panel().before->setFocus();
    panel().before->selectAll();
    panel().before->insertPlainText(QStringLiteral("改過"));
    EXPECT_TRUE(panel().after->toPlainText().isEmpty());
    EXPECT_EQ(status(), QStringLiteral("Original changed. Convert again."));

    panel().restoreTranscript->click();
    EXPECT_EQ(panel().before->toPlainText(), QStringLiteral("今日天氣好好"));
    EXPECT_EQ(status(), QStringLiteral("Restored the last completed STT transcript."));
}

TEST_F(Session, EditsDuringARunAreNotReported)
{
    bundle.setRunnerScript("exec sleep 40");
    panel().before->setPlainText(QStringLiteral("text"));
    panel().run->click();
    ASSERT_TRUE(app->hasProcess());
    const QString running = status();
    app->textDidChange();
    app->textViewDidChangeSelection();
    app->restoreSpeechOriginal();
    EXPECT_EQ(status(), running);
    app->copyBefore();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("text")) << "Copy original works while busy";
    app->cancelRun();
}

TEST_F(Session, TextServiceLoadsTextOnlyWhenIdle)
{
    QMimeData empty;
    QString error;
    app->convertSelection(&empty, &error);
    EXPECT_EQ(error, QStringLiteral("沒有收到選取文字。"));

    QMimeData selection;
    selection.setText(QStringLiteral("from another app"));
    error.clear();
    app->convertSelection(&selection, &error);
    EXPECT_TRUE(error.isEmpty());
    EXPECT_EQ(panel().before->toPlainText(), QStringLiteral("from another app"));
    EXPECT_EQ(status(), QStringLiteral("Text loaded. Click Convert manually to process."));
    EXPECT_EQ(panel().scope->text(), QStringLiteral("Convert all text"));
    EXPECT_FALSE(app->hasProcess()) << "nothing is converted automatically";

    startRecording();
    app->convertSelection(&selection, &error);
    EXPECT_EQ(error, QStringLiteral("Kivo 正在處理，請完成或取消後重試。"));
}

TEST_F(Session, CopyResultOnlyWhenAResultIsShown)
{
    QGuiApplication::clipboard()->setText(QStringLiteral("untouched"));
    app->copyAfter();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("untouched"));

    panel().before->setPlainText(QStringLiteral("你好"));
    panel().autoInsert->setChecked(false);
    panel().run->click();
    ASSERT_TRUE(test::waitUntil([this] { return !app->hasProcess(); }));
    panel().copyResult->click();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("轉換完成"));
    EXPECT_EQ(status(), QStringLiteral("Result copied."));
}

TEST_F(Session, WithoutARecorderTheRecordingFailsAndKeepsTheText)
{
    TrialApp::Options options;
    options.resourcesDirectory = bundle.resources();
    options.lockPath = bundle.lockPath().string();
    TrialApp bare(options);
    bare.localize();
    bare.panel().language->setCurrentIndex(0);
    bare.panel().before->setPlainText(QStringLiteral("kept"));
    bare.recordPressed();
    EXPECT_TRUE(bare.speechBusy());
    ASSERT_TRUE(test::waitUntil([&bare] { return !bare.speechBusy(); }));
    EXPECT_EQ(bare.panel().before->toPlainText(), QStringLiteral("kept"));
    EXPECT_TRUE(bare.panel().status->text().startsWith(QStringLiteral("Recognition failed: ")));
}

} // namespace
} // namespace kivo

namespace kivo {
namespace {

TEST_F(Session, AMissingSpeechModelSaysWhichAndOpensTheModelsWindowInBothLanguages)
{
    const QString folder = QString::fromStdString(ModelStore::searched(ModelRole::speech).front().parent_path().string());
    for (const bool chinese : {false, true}) {
        panel().language->setCurrentIndex(chinese ? 1 : 0);
        startRecording();
        recorder->callbacks.onError(RecorderFailure::localeNotInstalled("speech").what());
        recorder->callbacks.onStatus(Status::idle);
        recorder->callbacks.onCompletion(std::nullopt);
        EXPECT_EQ(status(), chinese ? QStringLiteral("辨識未完成：未安裝語音模型。請下載一個；錄音前文字已保留。")
                                    : QStringLiteral("Recognition failed: No speech model is installed. Download one. "
                                                     "Previous text retained."));
        EXPECT_TRUE(app->statusOffersModels());
        // The way to the Models window has a line of its own; where to put the file is in the tooltip.
        EXPECT_EQ(panel().status->action(), chinese ? QStringLiteral("按此處開啟「模型」視窗 ›")
                                                    : QStringLiteral("Click here to open Models ›"));
        EXPECT_TRUE(panel().status->toolTip().contains(folder)) << panel().status->toolTip().toStdString();
    }
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QCoreApplication::sendEvent(panel().status, &enter);
    ASSERT_NE(app->modelsWindow(), nullptr);
    EXPECT_TRUE(app->modelsWindow()->isVisible());
    EXPECT_EQ(app->modelsWindow()->windowTitle(), QStringLiteral("模型"));
    app->modelsWindow()->hide();

    // Between tasks the status keeps saying what is missing; any other status takes the offer
    // back, and the settings keep their button.
    panel().language->setCurrentIndex(0);
    EXPECT_EQ(status(), QStringLiteral("The speech and language models are not installed yet."));
    EXPECT_TRUE(app->statusOffersModels());
    panel().before->setPlainText(QStringLiteral("typed"));
    EXPECT_EQ(status(), QStringLiteral("Original changed. Convert again."));
    EXPECT_FALSE(app->statusOffersModels());
    EXPECT_TRUE(panel().status->action().isEmpty());
    EXPECT_EQ(app->modelsButton()->text(), QStringLiteral("Models…"));
    app->modelsButton()->click();
    EXPECT_TRUE(app->modelsWindow()->isVisible());
    EXPECT_EQ(app->modelsWindow()->windowTitle(), QStringLiteral("Models"));
}

// The recognizer may still report after the recording was cancelled: that text is not taken.
TEST_F(Session, LateTranscriptAfterACancelledRecordingIsIgnored)
{
    panel().before->setPlainText(QStringLiteral("kept"));
    startRecording();
    recorder->callbacks.onTranscript("partial", false);
    EXPECT_EQ(panel().before->toPlainText(), QStringLiteral("partial"));
    recorder->cancel();
    ASSERT_EQ(panel().before->toPlainText(), QStringLiteral("kept"));
    recorder->callbacks.onTranscript("late words", true);
    EXPECT_EQ(panel().before->toPlainText(), QStringLiteral("kept"));
}

TEST_F(Session, CopyOriginalIsOffOnlyWhileRecording)
{
    app->updateControls();
    EXPECT_TRUE(panel().copySource->isEnabled());
    startRecording();
    EXPECT_FALSE(panel().copySource->isEnabled());
    recorder->cancel();
    EXPECT_TRUE(panel().copySource->isEnabled());
}

// Selection changes that leave the caret where it was still change the scope and drop the
// result: select all with the caret at the end, and collapsing a selection onto its start.
TEST_F(Session, SelectionChangesWithoutACaretMoveAreSeen)
{
    panel().before->setPlainText(QStringLiteral("今日好熱"));
    QTextCursor cursor = panel().before->textCursor();
    cursor.movePosition(QTextCursor::End);
    panel().before->setTextCursor(cursor);
    panel().after->setPlainText(QStringLiteral("stale result"));
    panel().copyResult->setEnabled(true);
    app->updateScope();
    ASSERT_EQ(panel().scope->text(), QStringLiteral("Convert all text"));

    panel().before->selectAll();
    EXPECT_EQ(panel().scope->text(), QStringLiteral("Convert selection only"));
    EXPECT_TRUE(panel().after->toPlainText().isEmpty());
    EXPECT_FALSE(panel().copyResult->isEnabled());

    // A selection made from the end back to the start, then collapsed where the caret is.
    cursor.setPosition(4);
    cursor.setPosition(0, QTextCursor::KeepAnchor);
    panel().before->setTextCursor(cursor);
    ASSERT_EQ(panel().scope->text(), QStringLiteral("Convert selection only"));
    panel().after->setPlainText(QStringLiteral("result of the selection"));
    panel().copyResult->setEnabled(true);
    cursor.clearSelection();
    panel().before->setTextCursor(cursor);
    EXPECT_EQ(panel().scope->text(), QStringLiteral("Convert all text"));
    EXPECT_TRUE(panel().after->toPlainText().isEmpty());
    EXPECT_FALSE(panel().copyResult->isEnabled());
}

// The ticker neither shows a second before it has passed nor lags most of a second behind
// (a tick that comes early shows the previous second for one more second).
TEST_F(Session, RecordingTickerCountsWholeSeconds)
{
    startRecording();
    const auto started = std::chrono::steady_clock::now();
    ASSERT_EQ(status(), QStringLiteral("Recording 0 / 60 s — click Stop recording to finish."));
    for (const int second : {1, 2, 3}) {
        const QString shown = QStringLiteral("Recording %1 / 60 s — click Stop recording to finish.").arg(second);
        test::waitUntil([&] { return std::chrono::steady_clock::now() - started >= std::chrono::milliseconds(1000 * second + 600); });
        EXPECT_EQ(status(), shown);
    }
    recorder->callbacks.onStatus(Status::finalizing);
}

} // namespace
} // namespace kivo
