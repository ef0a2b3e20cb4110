// Desktop shortcuts drive the recording of the running Kivo over the session bus: the real
// Kivo program sends, an app controller with the real recorder (a sound file as microphone,
// a generated speech model) receives.
#include "app/lifecycle/RecordingCommand.h"
#include "app/controller/Application.h"
#include "app/controller/Conversion.h"
#include "app/controller/Recording.h"
#include "app/lifecycle/SingleInstance.h"
#include "app/lifecycle/TextService.h"
#include "platform/audio/WavFileEngine.h"
#include "platform/speech/WhisperRecognizer.h"
#include "tests/app/controller/ControllerTestSupport.h"
#include "tests/platform/speech/SpeechFixtures.h"

#include <gtest/gtest.h>

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QProcess>

namespace kivo {
namespace {

using namespace std::chrono_literals;
using kivo::testing::SpeechFixtures;

TEST(RecordingCommands, ArgumentsAndWhenTheyPressRecord)
{
    EXPECT_EQ(RecordingCommands::fromArgument("--toggle-recording"), RecordingCommand::toggle);
    EXPECT_EQ(RecordingCommands::fromArgument("--start-recording"), RecordingCommand::start);
    EXPECT_EQ(RecordingCommands::fromArgument("--stop-recording"), RecordingCommand::stop);
    EXPECT_FALSE(RecordingCommands::fromArgument("--recording"));
    EXPECT_FALSE(RecordingCommands::fromArgument("toggle"));
    EXPECT_FALSE(RecordingCommands::fromArgument("--toggle-recording "));

    // (busy, recording): idle, preparing or finishing, recording.
    EXPECT_TRUE(RecordingCommands::presses(RecordingCommand::start, false, false));
    EXPECT_FALSE(RecordingCommands::presses(RecordingCommand::start, true, false));
    EXPECT_FALSE(RecordingCommands::presses(RecordingCommand::start, true, true));
    EXPECT_FALSE(RecordingCommands::presses(RecordingCommand::stop, false, false));
    EXPECT_FALSE(RecordingCommands::presses(RecordingCommand::stop, true, false));
    EXPECT_TRUE(RecordingCommands::presses(RecordingCommand::stop, true, true));
    EXPECT_TRUE(RecordingCommands::presses(RecordingCommand::toggle, false, false));
    EXPECT_TRUE(RecordingCommands::presses(RecordingCommand::toggle, true, true));
}

// Runs the real Kivo with one argument and serves the bus until it ends; its exit status.
int runKivo(const QString& argument)
{
    QProcess kivo;
    kivo.setProcessChannelMode(QProcess::ForwardedChannels);
    kivo.start(QStringLiteral(KIVO_APP), {argument});
    if (!kivo.waitForStarted(5000)) {
        return -1;
    }
    if (!test::waitUntil([&] { return kivo.state() == QProcess::NotRunning; }, 20s)) {
        kivo.kill();
        kivo.waitForFinished();
        return -2;
    }
    return kivo.exitStatus() == QProcess::NormalExit ? kivo.exitCode() : -3;
}

class RecordingCommandTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        test::ensureApplication();
        ASSERT_TRUE(QDBusConnection::sessionBus().isConnected()) << "needs the session bus of test-session.sh";
        bundle.setRunnerScript("cat > /dev/null; echo '{\"status\":\"generated\",\"text\":\"轉換完成\"}'");
        Application::Options options;
        options.resourcesDirectory = bundle.resources();
        options.lockPath = bundle.lockPath().string();
        options.speech.recognizer = std::make_shared<WhisperRecognizer>(
            WhisperRecognizer::Configuration{SpeechFixtures::shared().model, 1, {}});
        // Speech at real pace, so the recording is still running when the stop arrives.
        options.speech.makeEngine = [] {
            return std::make_unique<WavFileEngine>(SpeechFixtures::shared().speech, WavFileEngine::Options{1.0, true});
        };
        app = std::make_unique<Application>(options);
        service.onRecordingCommand = [this](RecordingCommand command) { app->recordingCommand(command); };
        ASSERT_EQ(SingleInstance::claim(QDBusConnection::sessionBus(), service), SingleInstance::Claim::primary);
    }

    void TearDown() override
    {
        QDBusConnection::sessionBus().unregisterObject(QString::fromLatin1(TextService::objectPath));
        QDBusConnection::sessionBus().unregisterService(SingleInstance::serviceName);
        if (app && app->recording().busy()) {
            app->recordingCommand(RecordingCommand::stop);
            test::waitUntil([&] { return !app->recording().busy(); }, 30s);
        }
    }

    bool recording() const { return app->recording().status() == SpeechSession::Status::recording; }

    test::TestBundle bundle;
    TextService service;
    std::unique_ptr<Application> app;
};

TEST_F(RecordingCommandTest, TheRunningInstanceStartsAndStopsOnCommand)
{
    EXPECT_EQ(runKivo(QStringLiteral("--stop-recording")), 0);
    test::spin(200ms);
    EXPECT_FALSE(app->recording().busy()) << "stop while idle does nothing";

    EXPECT_EQ(runKivo(QStringLiteral("--toggle-recording")), 0);
    ASSERT_TRUE(test::waitUntil([&] { return recording(); }, 60s));

    EXPECT_EQ(runKivo(QStringLiteral("--start-recording")), 0);
    test::spin(200ms);
    EXPECT_TRUE(recording()) << "start while recording leaves it running";

    EXPECT_EQ(runKivo(QStringLiteral("--toggle-recording")), 0);
    EXPECT_NE(app->recording().status(), SpeechSession::Status::recording);
    ASSERT_TRUE(test::waitUntil([&] { return !app->recording().busy(); }, 60s));
    EXPECT_TRUE(app->recording().diagnostics().has_value()) << "the recording was finished, not cancelled";
    // The transcript may be converted next; a start then is ignored, as the shortcut's is.
    ASSERT_TRUE(test::waitUntil([&] { return !app->conversion().running(); }, 30s));

    EXPECT_EQ(runKivo(QStringLiteral("--start-recording")), 0);
    ASSERT_TRUE(test::waitUntil([&] { return recording(); }, 60s));
    EXPECT_EQ(runKivo(QStringLiteral("--stop-recording")), 0);
    ASSERT_TRUE(test::waitUntil([&] { return !app->recording().busy(); }, 60s));
}

TEST(RecordingCommandLaunch, WithoutARunningKivoTheCommandStartsOne)
{
    test::ensureApplication();
    QDBusConnection bus = QDBusConnection::sessionBus();
    ASSERT_TRUE(bus.isConnected());
    ASSERT_FALSE(SingleInstance::running(bus));
    QProcess kivo;
    kivo.setProcessChannelMode(QProcess::ForwardedChannels);
    kivo.start(QStringLiteral(KIVO_APP), {QStringLiteral("--toggle-recording")});
    ASSERT_TRUE(kivo.waitForStarted(5000));
    const bool owned = test::waitUntil(
        [&] {
            const auto owner = bus.interface()->servicePid(QString::fromLatin1(SingleInstance::serviceName));
            return owner.isValid() && static_cast<qint64>(owner.value()) == kivo.processId();
        },
        20s);
    EXPECT_TRUE(owned) << "the launched Kivo took the name";
    EXPECT_EQ(kivo.state(), QProcess::Running);
    kivo.terminate();
    if (!kivo.waitForFinished(5000)) {
        kivo.kill();
        kivo.waitForFinished();
    }
}

} // namespace
} // namespace kivo
