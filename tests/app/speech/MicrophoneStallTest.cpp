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
        SpeechSession::Callbacks callbacks;
        callbacks.onTranscript = [this](const std::string& text, bool isFinal) {
            events.push_back((isFinal ? "final:" : "text:") + text);
        };
        callbacks.onStatus = [this](Status status) { events.push_back(std::string(SpeechSession::rawValue(status))); };
        callbacks.onError = [this](const std::string& message) { events.push_back("error:" + message); };
        callbacks.onCompletion = [this](const std::optional<std::string>& text) {
            events.push_back(text ? "done:" + *text : "done:none");
            ++completions;
        };
        callbacks.onDiagnostics = [](const SpeechDiagnostics&) {};
        recorder = std::make_unique<SpeechRecorder>(std::move(callbacks), environment);
        recorder->start({});
        ASSERT_TRUE(runUntil([&] { return recorder->status() == Status::recording; }, 20s)) << joined();
    }

    // Sound has arrived through the server when the analyzer's input holds some.
    bool heard()
    {
        auto analyzer = service->current();
        return analyzer && analyzer->input && !analyzer->input->drain().empty();
    }

    std::string joined() const
    {
        std::string all;
        for (const auto& event : events) {
            all += event + " | ";
        }
        return all;
    }

    std::unique_ptr<MicrophonePipe> microphone;
    std::shared_ptr<testing::ScriptedSpeechService> service;
    SpeechRecorder::Environment environment;
    std::unique_ptr<SpeechRecorder> recorder;
    std::vector<std::string> events;
    int completions = 0;
};

TEST_F(MicrophoneStall, ADeviceThatStopsEndsTheRecordingWithAMessageAndKeepsTheWords)
{
    startRecording();
    ASSERT_TRUE(runUntil([&] { return heard(); }, 20s)) << "no sound reached the recorder";
    microphone->setSending(false);
    ASSERT_TRUE(runUntil([&] { return completions == 1; }, 30s)) << joined();
    const std::vector<std::string> ending{"error:" + std::string(RecorderFailure::microphoneStopped().what()),
                                          "finalizing", "text:聽到嘅字", "final:聽到嘅字", "idle", "done:聽到嘅字"};
    ASSERT_GE(events.size(), ending.size());
    EXPECT_EQ(std::vector<std::string>(events.end() - static_cast<long>(ending.size()), events.end()), ending)
        << joined();
}

TEST_F(MicrophoneStall, StoppingWhileTheDeviceIsSilentFinishesAtOnce)
{
    environment.microphoneSilenceLimit = 0ms;
    startRecording();
    ASSERT_TRUE(runUntil([&] { return heard(); }, 20s)) << "no sound reached the recorder";
    microphone->setSending(false);
    runUntil([] { return false; }, 500ms);
    recorder->stop();
    ASSERT_TRUE(runUntil([&] { return completions == 1; }, 30s)) << joined();
    EXPECT_EQ(events.back(), "done:聽到嘅字");
    // The next recording opens the device again while the last stop may still be pending.
    microphone->setSending(true);
    events.clear();
    startRecording();
    recorder->stop();
    ASSERT_TRUE(runUntil([&] { return completions == 2; }, 30s)) << joined();
    EXPECT_EQ(events.back(), "done:聽到嘅字");
}

} // namespace
} // namespace kivo
