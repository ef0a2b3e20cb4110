// A microphone that stops delivering, through the real path of a desktop: PortAudio, ALSA's
// PulseAudio plugin and a PulseAudio pipe source (run under `test-session.sh --pulse`). The
// recogniser is scripted; what is under test is the device side of the recorder.
#include "app/speech/RecorderFailure.h"
#include "tests/app/speech/RecorderHarness.h"
#include "tests/support/MicrophonePipe.h"

#include <gtest/gtest.h>

namespace kivo {
namespace {

using namespace std::chrono_literals;
using testing::MicrophonePipe;
using testing::result;
using testing::runUntil;
using Status = SpeechSession::Status;

class MicrophoneStall : public ::testing::Test {
protected:
    void SetUp() override
    {
        const auto fifo = MicrophonePipe::ofSession();
        if (!fifo) {
            GTEST_SKIP() << "needs the sound server of test-session.sh --pulse";
        }
        testing::ensureCoreApplication();
        microphone = std::make_unique<MicrophonePipe>(*fifo);
        service = std::make_shared<testing::ScriptedSpeechService>();
        service->finalResults = {result("聽到嘅字", 0.0, 1.0, true)};
        environment.recognizer = service;
        environment.backgroundWait = 2s;
    }
    void TearDown() override
    {
        if (microphone) {
            // A device thread still stuck stopping is let go before the recorder waits for it.
            microphone->setSending(true);
        }
        recorder.reset();
    }

    void startRecording()
    {
        recorder = std::make_unique<SpeechRecorder>(recorded.callbacks(), environment);
        recorder->start({});
        ASSERT_TRUE(runUntil([&] { return recorder->status() == Status::recording; }, 20s)) << recorded.joined();
    }

    // Sound has arrived through the server when the analyzer's input holds some.
    bool heard()
    {
        auto analyzer = service->current();
        return analyzer && analyzer->input && !analyzer->input->drain().empty();
    }

    std::unique_ptr<MicrophonePipe> microphone;
    std::shared_ptr<testing::ScriptedSpeechService> service;
    SpeechRecorder::Environment environment;
    std::unique_ptr<SpeechRecorder> recorder;
    testing::RecorderEvents recorded;
};

TEST_F(MicrophoneStall, ADeviceThatStopsEndsTheRecordingWithAMessageAndKeepsTheWords)
{
    startRecording();
    ASSERT_TRUE(runUntil([&] { return heard(); }, 20s)) << "no sound reached the recorder";
    microphone->setSending(false);
    ASSERT_TRUE(runUntil([&] { return recorded.completions == 1; }, 30s)) << recorded.joined();
    const std::vector<std::string> ending{"error:" + std::string(RecorderFailure::microphoneStopped().what()),
                                          "finalizing",
                                          "text:聽到嘅字",
                                          "final:聽到嘅字",
                                          "idle",
                                          "diagnostics",
                                          "done:聽到嘅字"};
    ASSERT_GE(recorded.lines.size(), ending.size());
    EXPECT_EQ(std::vector<std::string>(recorded.lines.end() - static_cast<long>(ending.size()), recorded.lines.end()),
              ending)
        << recorded.joined();
}

TEST_F(MicrophoneStall, StoppingWhileTheDeviceIsSilentFinishesAtOnce)
{
    environment.microphoneSilenceLimit = 0ms;
    startRecording();
    ASSERT_TRUE(runUntil([&] { return heard(); }, 20s)) << "no sound reached the recorder";
    microphone->setSending(false);
    runUntil([] { return false; }, 500ms);
    recorder->stop();
    ASSERT_TRUE(runUntil([&] { return recorded.completions == 1; }, 30s)) << recorded.joined();
    EXPECT_EQ(recorded.lines.back(), "done:聽到嘅字");
    // The next recording opens the device again while the last stop may still be pending.
    microphone->setSending(true);
    recorded.lines.clear();
    startRecording();
    recorder->stop();
    ASSERT_TRUE(runUntil([&] { return recorded.completions == 2; }, 30s)) << recorded.joined();
    EXPECT_EQ(recorded.lines.back(), "done:聽到嘅字");
}

} // namespace
} // namespace kivo
