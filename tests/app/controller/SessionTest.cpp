// Recording and the session around it, driven through a scripted recorder.
#include "app/controller/Conversion.h"
#include "app/controller/ModelsAccess.h"
#include "app/controller/Recording.h"
#include "app/models/ModelStore.h"
#include "app/shell/RecognitionDetailsDialog.h"
#include "app/shell/VoicePanel.h"
#include "app/shell/models/ModelsWindow.h"
#include "app/speech/RecorderFailure.h"
#include "tests/app/controller/ControllerFixture.h"
#include "tests/app/shell/PanelWidgets.h"

#include <QCoreApplication>
#include <QKeyEvent>

#include <gtest/gtest.h>

namespace kivo {
namespace {

using namespace std::chrono_literals;
using Status = SpeechSession::Status;

class Session : public test::ControllerFixture {
protected:
    void configure(Application::Options& options) override
    {
        bundle.setRunnerScript("cat > /dev/null; echo '{\"status\":\"generated\",\"text\":\"轉換完成\"}'");
        options.reviewTranscript = [](const std::string& text) -> std::optional<SpeechReviewPolicy::Reason> {
            if (text == "123") {
                return SpeechReviewPolicy::Reason::numbersOnly;
            }
            if (text == "嗯嗯") {
                return SpeechReviewPolicy::Reason::hesitationOnly;
            }
            return SpeechReviewPolicy::reason(text);
        };
    }

    const PanelActivity& activity() { return state().activity; }
};

TEST_F(Session, RecordIsIgnoredWhileStartingAndStopsWhileRecording)
{
    change([](PanelSettings& settings) {
        settings.dictation = true;
        settings.vocabulary = QStringLiteral(" Redis cache ,Codex，\n\n Kivo ,");
    });
    emit panel().recordClicked();
    ASSERT_EQ(recorder->starts, 1);
    EXPECT_EQ(recorder->lastSettings.engine, SpeechSession::Engine::dictation);
    EXPECT_EQ(recorder->lastSettings.contextualStrings, (std::vector<std::string>{"Redis cache", "Codex", "Kivo"}));
    EXPECT_EQ(status(), QStringLiteral("Waiting for microphone permission…"));
    EXPECT_TRUE(activity().speechBusy);
    EXPECT_FALSE(activity().recording);

    emit panel().recordClicked();
    app->recording().pressFromShortcut();
    EXPECT_EQ(recorder->starts, 1);
    EXPECT_EQ(recorder->stops, 0);

    recorder->callbacks.onStatus(Status::recording);
    EXPECT_TRUE(activity().recording);
    EXPECT_EQ(status(), QStringLiteral("Recording 0 / 60 s — click Stop recording to finish."));
    app->recording().pressFromShortcut();
    EXPECT_EQ(recorder->stops, 1);
    EXPECT_TRUE(activity().stopping) << "the button is off until the recorder answers";
    EXPECT_FALSE(activity().idle());
}

TEST_F(Session, CancelledRecordingPutsTheDraftBack)
{
    type(QStringLiteral("before text"));
    select({2, 3});
    panel().setResult(QStringLiteral("old result"), true);

    startRecording();
    recorder->callbacks.onTranscript("provisional words", false);
    EXPECT_EQ(state().source, QStringLiteral("provisional words"));
    EXPECT_EQ(state().scope, QStringLiteral("Recognizing — provisional transcript"));
    EXPECT_TRUE(state().result.isEmpty());

    emit panel().cancelClicked();
    EXPECT_EQ(recorder->cancels, 1);
    EXPECT_FALSE(app->recording().busy());
    EXPECT_EQ(state().source, QStringLiteral("before text"));
    EXPECT_EQ(state().selection, (TextRange{2, 3}));
    EXPECT_EQ(state().result, QStringLiteral("old result"));
    EXPECT_TRUE(state().resultCopyable);
    EXPECT_EQ(status(),
              QStringLiteral(
                  "Recording cancelled or no final text. Previous text retained; nothing sent to the language model."));
    EXPECT_FALSE(state().settings.editorExpanded) << "no text: the editor is left as it was";
}

TEST_F(Session, FailedOrBlankRecordingExplainsAndRestores)
{
    type(QStringLiteral("kept"));
    startRecording();
    recorder->callbacks.onError("Microphone access was denied.");
    EXPECT_EQ(status(), QStringLiteral("辨識未完成：Microphone access was denied."));
    recorder->endWithoutText();
    EXPECT_EQ(status(), QStringLiteral("Recognition failed: Microphone access was denied. Previous text retained."));
    EXPECT_EQ(state().source, QStringLiteral("kept"));

    startRecording();
    recorder->callbacks.onCompletion(std::string(" \n\t "));
    EXPECT_FALSE(app->recording().busy());
    EXPECT_EQ(state().source, QStringLiteral("kept"));
    EXPECT_FALSE(app->recording().transcript().has_value());
    EXPECT_TRUE(state().settings.editorExpanded) << "a blank transcript still opens the editor";
}

TEST_F(Session, HeldBackTranscriptsAreNotConverted)
{
    const std::pair<const char*, QString> cases[] = {
        {"123", QStringLiteral("Numbers-only result. Check recognition, then click Convert. Original unchanged.")},
        {"嗯嗯", QStringLiteral("Hesitation-only result. Review first; not automatically sent to the language model.")},
    };
    for (const auto& [transcript, message] : cases) {
        startRecording();
        recorder->callbacks.onTranscript(transcript, true);
        recorder->callbacks.onCompletion(std::string(transcript));
        EXPECT_EQ(status(), message);
        EXPECT_FALSE(app->conversion().running());
        EXPECT_EQ(state().source, QString::fromUtf8(transcript));
        EXPECT_EQ(state().scope, QStringLiteral("Final STT transcript"));
    }
}

TEST_F(Session, TranscriptIsConvertedAutomaticallyAndCanBeRestored)
{
    change([](PanelSettings& settings) { settings.autoInsert = false; });
    startRecording();
    recorder->callbacks.onCompletion(std::string("今日天氣好好"));
    EXPECT_TRUE(app->conversion().running());
    ASSERT_TRUE(test::waitUntil([this] { return !app->conversion().running(); }));
    EXPECT_EQ(state().result, QStringLiteral("轉換完成"));
    EXPECT_TRUE(activity().hasTranscript);

    // Edits are the user's: they clear the result and say so.
    type(QStringLiteral("改過"));
    EXPECT_TRUE(state().result.isEmpty());
    EXPECT_EQ(status(), QStringLiteral("Original changed. Convert again."));

    emit panel().restoreTranscriptClicked();
    EXPECT_EQ(state().source, QStringLiteral("今日天氣好好"));
    EXPECT_EQ(status(), QStringLiteral("Restored the last completed STT transcript."));
}

// Any change of what would be converted takes the result and its copy away.
TEST_F(Session, EditsAndSelectionsDropTheResult)
{
    type(QStringLiteral("今日好熱"));
    panel().setResult(QStringLiteral("stale"), true);
    select({0, 2});
    EXPECT_TRUE(state().result.isEmpty());
    EXPECT_FALSE(state().resultCopyable);
    EXPECT_EQ(state().scope, QStringLiteral("Convert selection only"));

    panel().setResult(QStringLiteral("stale"), true);
    type(QStringLiteral("今日好凍"));
    EXPECT_TRUE(state().result.isEmpty());
    EXPECT_FALSE(state().resultCopyable);
    EXPECT_EQ(state().scope, QStringLiteral("Convert all text"));

    panel().setResult(QStringLiteral("stale"), true);
    change([](PanelSettings& settings) { settings.modeIndex = 3; });
    EXPECT_TRUE(state().result.isEmpty()) << "a result in another mode";
    EXPECT_FALSE(state().resultCopyable);
}

TEST_F(Session, AModelInstalledOrRemovedRefreshesTheIdleStatusButNotARecordingsOne)
{
    panel().setStatus(QStringLiteral("marker"));
    app->models().changed(ModelRole::speech);
    EXPECT_EQ(status(), QStringLiteral("The speech and language models are not installed yet."));
    startRecording();
    const QString recording = status();
    app->models().changed(ModelRole::language);
    EXPECT_EQ(status(), recording);
}

TEST_F(Session, EditsDuringARunAreNotReported)
{
    bundle.setRunnerScript("exec sleep 40");
    type(QStringLiteral("text"));
    emit panel().convertClicked();
    ASSERT_TRUE(app->conversion().running());
    const QString running = status();
    emit panel().sourceEdited();
    emit panel().selectionChanged();
    emit panel().restoreTranscriptClicked();
    EXPECT_EQ(status(), running);
    emit panel().cancelClicked();
}

TEST_F(Session, TextServiceLoadsTextOnlyWhenIdle)
{
    EXPECT_EQ(app->convertSelection({}), QStringLiteral("沒有收到選取文字。"));
    EXPECT_TRUE(app->convertSelection(QStringLiteral("from another app")).isEmpty());
    EXPECT_EQ(state().source, QStringLiteral("from another app"));
    EXPECT_EQ(state().scope, QStringLiteral("Convert all text"));
    EXPECT_EQ(status(), QStringLiteral("Text loaded. Click Convert manually to process."));
    EXPECT_FALSE(app->conversion().running()) << "nothing is converted automatically";

    startRecording();
    EXPECT_EQ(app->convertSelection(QStringLiteral("more")), QStringLiteral("Kivo 正在處理，請完成或取消後重試。"));
}

TEST_F(Session, WithoutARecorderTheRecordingFailsAndKeepsTheText)
{
    Application::Options options;
    options.resourcesDirectory = bundle.resources();
    options.lockPath = bundle.lockPath().string();
    Application bare(options);
    bare.localize();
    PanelSettings english = bare.panel().state().settings;
    english.chinese = false;
    bare.panel().setSettings(english);
    bare.panel().setSource(QStringLiteral("kept"));
    emit bare.panel().recordClicked();
    EXPECT_TRUE(bare.recording().busy());
    ASSERT_TRUE(test::waitUntil([&bare] { return !bare.recording().busy(); }));
    EXPECT_EQ(bare.panel().state().source, QStringLiteral("kept"));
    EXPECT_TRUE(bare.panel().state().status.startsWith(QStringLiteral("Recognition failed: ")));
}

TEST_F(Session, AMissingSpeechModelSaysWhichAndOpensTheModelsWindowInBothLanguages)
{
    const QString folder =
        QString::fromStdString(ModelStore::searched(ModelRole::speech).front().parent_path().string());
    for (const bool chinese : {false, true}) {
        change([chinese](PanelSettings& settings) { settings.chinese = chinese; });
        startRecording();
        recorder->callbacks.onError(RecorderFailure::localeNotInstalled("speech").what());
        recorder->endWithoutText();
        EXPECT_EQ(status(), chinese ? QStringLiteral("辨識未完成：未安裝語音模型。請下載一個；錄音前文字已保留。")
                                    : QStringLiteral("Recognition failed: No speech model is installed. Download one. "
                                                     "Previous text retained."));
        EXPECT_TRUE(state().statusOffersModels);
        // The way to the Models window has a line of its own; where to put the file is in the tooltip.
        const StatusLabel& line = *test::PanelWidgets(panel()).status;
        EXPECT_EQ(line.action(),
                  chinese ? QStringLiteral("按此處開啟「模型」視窗 ›") : QStringLiteral("Click here to open Models ›"));
        EXPECT_TRUE(line.toolTip().contains(folder)) << line.toolTip().toStdString();
    }
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QCoreApplication::sendEvent(test::PanelWidgets(panel()).status, &enter);
    ModelsWindow* window = app->models().window();
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->windowTitle(), QStringLiteral("模型"));
    window->hide();

    // Between tasks the status keeps saying what is missing; any other status takes the offer
    // back, and the settings keep their button.
    change([](PanelSettings& settings) { settings.chinese = false; });
    EXPECT_EQ(status(), QStringLiteral("The speech and language models are not installed yet."));
    EXPECT_TRUE(state().statusOffersModels);
    type(QStringLiteral("typed"));
    EXPECT_EQ(status(), QStringLiteral("Original changed. Convert again."));
    EXPECT_FALSE(state().statusOffersModels);
    EXPECT_TRUE(test::PanelWidgets(panel()).status->action().isEmpty());
    test::PanelWidgets(panel()).modelsButton->click();
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Models"));
}

// A model that is there but does not load is also the user's to fix in the Models window.
TEST_F(Session, ABrokenSpeechModelOffersTheModelsWindow)
{
    startRecording();
    recorder->callbacks.onError("The speech model could not be loaded: /x/speech-model.bin");
    recorder->callbacks.onCompletion(std::nullopt);
    EXPECT_TRUE(status().startsWith(QStringLiteral("Recognition failed: "))) << status().toStdString();
    EXPECT_TRUE(state().statusOffersModels);
}

// A stop is answered by the transcript itself: the record button comes back for the next one.
TEST_F(Session, AStoppedRecordingLeavesTheRecordButtonReady)
{
    startRecording();
    emit panel().recordClicked();
    ASSERT_TRUE(activity().stopping);
    recorder->callbacks.onCompletion(std::string("123"));
    EXPECT_FALSE(activity().stopping);
    EXPECT_TRUE(activity().idle());
}

// The details dialog opens only when nothing is being recorded or converted.
TEST_F(Session, RecognitionDetailsOpenOnlyWhenIdle)
{
    const auto dialogs = [this] { return panel().window().findChildren<RecognitionDetailsDialog*>().size(); };
    startRecording();
    recorder->callbacks.onTranscript("partial", false);
    emit panel().detailsClicked();
    EXPECT_EQ(dialogs(), 0);
    recorder->cancel();
    ASSERT_TRUE(activity().hasDetails);
    emit panel().detailsClicked();
    EXPECT_EQ(dialogs(), 1);
}

// The recognizer may still report after the recording was cancelled: that text is not taken.
TEST_F(Session, LateTranscriptAfterACancelledRecordingIsIgnored)
{
    type(QStringLiteral("kept"));
    startRecording();
    recorder->callbacks.onTranscript("partial", false);
    EXPECT_EQ(state().source, QStringLiteral("partial"));
    recorder->cancel();
    ASSERT_EQ(state().source, QStringLiteral("kept"));
    recorder->callbacks.onTranscript("late words", true);
    EXPECT_EQ(state().source, QStringLiteral("kept"));
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
        test::waitUntil([&] {
            return std::chrono::steady_clock::now() - started >= std::chrono::milliseconds(1000 * second + 600);
        });
        EXPECT_EQ(status(), shown);
    }
    recorder->callbacks.onStatus(Status::finalizing);
}

} // namespace
} // namespace kivo
