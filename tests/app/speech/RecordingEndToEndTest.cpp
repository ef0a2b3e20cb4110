// The app controller with the real recorder: the real recogniser on a generated model, a
// sound file of Cantonese speech as the microphone, and a scripted rewrite-runner.
#include "app/controller/Application.h"
#include "app/controller/ModelsAccess.h"
#include "app/controller/Recording.h"
#include "app/models/ModelStore.h"
#include "app/shell/FloatingButton.h"
#include "app/shell/StatusLabel.h"
#include "app/shell/models/ModelsWindow.h"
#include "platform/audio/WavFileEngine.h"
#include "platform/speech/WhisperRecognizer.h"
#include "tests/app/controller/ControllerTestSupport.h"
#include "tests/app/shell/PanelWidgets.h"
#include "tests/platform/speech/SpeechFixtures.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QPlainTextEdit>

#include <gtest/gtest.h>

namespace kivo {
namespace {

using namespace std::chrono_literals;
using kivo::testing::SpeechFixtures;

class RecordingEndToEnd : public ::testing::Test {
protected:
    std::unique_ptr<Application> makeApp(const std::filesystem::path& model)
    {
        test::ensureApplication();
        bundle.setRunnerScript("cat > /dev/null; echo '{\"status\":\"generated\",\"text\":\"轉換完成\"}'");
        Application::Options options;
        options.resourcesDirectory = bundle.resources();
        options.lockPath = bundle.lockPath().string();
        options.speech.recognizer = std::make_shared<WhisperRecognizer>(WhisperRecognizer::Configuration{model, 1, {}});
        options.speech.makeEngine = [] {
            return std::make_unique<WavFileEngine>(SpeechFixtures::shared().speech, WavFileEngine::Options{4.0, true});
        };
        auto app = std::make_unique<Application>(options);
        app->localize();
        test::PanelWidgets(app->panel()).language->setCurrentIndex(0);
        test::PanelWidgets(app->panel()).autoProcess->setChecked(true);
        return app;
    }

    test::TestBundle bundle;
};

TEST_F(RecordingEndToEnd, RecordStopTranscriptThenConversion)
{
    auto app = makeApp(SpeechFixtures::shared().model);
    const test::PanelWidgets panel(app->panel());
    panel.before->setPlainText(QStringLiteral("draft"));

    panel.record->click();
    ASSERT_TRUE(test::waitUntil([&] { return app->recording().status() == SpeechSession::Status::recording; }, 60s))
        << panel.status->text().toStdString();
    EXPECT_EQ(panel.status->text(), QStringLiteral("Recording 0 / 60 s — click Stop recording to finish."));
    // The file plays four times faster than speech; let it end before stopping.
    ASSERT_TRUE(test::waitUntil(
        [&] { return panel.scope->text() == QStringLiteral("Recognizing — provisional transcript"); }, 60s));
    test::spin(1500ms);
    panel.record->click();
    EXPECT_EQ(app->recording().status(), SpeechSession::Status::finalizing);

    ASSERT_TRUE(test::waitUntil([&] { return !app->recording().busy(); }, 60s));
    ASSERT_TRUE(app->recording().transcript().has_value()) << panel.status->text().toStdString();
    EXPECT_EQ(panel.before->toPlainText().toStdString(), *app->recording().transcript());
    EXPECT_NE(*app->recording().transcript(), "draft");
    ASSERT_TRUE(app->recording().diagnostics().has_value());
    EXPECT_EQ(app->recording().diagnostics()->finalText, *app->recording().transcript());
    EXPECT_TRUE(panel.speechInfo->text().contains(QStringLiteral("| Last Whisper speech model, recording + finish: ")));

    if (SpeechReviewPolicy::reason(*app->recording().transcript())) {
        GTEST_SKIP() << "the generated model's text was held back for review";
    }
    ASSERT_TRUE(test::waitUntil([&] { return panel.after->toPlainText() == QStringLiteral("轉換完成"); }, 30s))
        << panel.status->text().toStdString();
    EXPECT_EQ(panel.before->toPlainText().toStdString(), *app->recording().transcript());
}

TEST_F(RecordingEndToEnd, MissingSpeechModelKeepsTheDraftAndSaysSo)
{
    auto app = makeApp(SpeechFixtures::shared().folder / "none.bin");
    const test::PanelWidgets panel(app->panel());
    panel.before->setPlainText(QStringLiteral("draft"));
    panel.record->click();
    ASSERT_TRUE(test::waitUntil([&] { return !app->recording().busy(); }, 30s));
    // Which model, the folder searched first, and the way to the Models window; one full stop.
    const QString folder =
        QString::fromStdString(ModelStore::searched(ModelRole::speech).front().parent_path().string());
    EXPECT_EQ(
        panel.status->text(),
        QStringLiteral("Recognition failed: No speech model is installed. Download one. Previous text retained."));
    EXPECT_TRUE(panel.status->toolTip().contains(folder));
    EXPECT_TRUE(app->panel().state().statusOffersModels);
    QMouseEvent click(QEvent::MouseButtonRelease, QPointF(4, 4), QPointF(4, 4), Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QCoreApplication::sendEvent(panel.status, &click);
    ASSERT_NE(app->models().window(), nullptr);
    EXPECT_TRUE(app->models().window()->isVisible());
    EXPECT_EQ(panel.before->toPlainText(), QStringLiteral("draft"));
    EXPECT_FALSE(app->recording().transcript().has_value());
    EXPECT_TRUE(panel.record->isEnabled());
}

} // namespace
} // namespace kivo
