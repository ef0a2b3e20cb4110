// The recorder's lifecycle over a scripted recogniser and a sound file played as the microphone.
#include "app/speech/RecorderFailure.h"
#include "platform/audio/AudioEngineError.h"
#include "platform/audio/PortAudioEngine.h"
#include "tests/app/speech/RecorderHarness.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <future>

namespace kivo {
namespace {

using namespace std::chrono_literals;
using testing::result;
using testing::runUntil;
using Status = SpeechSession::Status;

class Recorder : public ::testing::Test {
protected:
    void SetUp() override
    {
        testing::ensureCoreApplication();
        std::string pattern = (std::filesystem::temp_directory_path() / "kivo-recorder-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        folder = pattern;
        testing::writeWav(folder / "tone.wav", 0.5);
        service = std::make_shared<testing::ScriptedSpeechService>();
        environment.recognizer = service;
        environment.makeEngine = [this] {
            return std::make_unique<WavFileEngine>(wav.empty() ? folder / "tone.wav" : wav,
                                                   WavFileEngine::Options{8.0, true});
        };
    }
    void TearDown() override
    {
        service->release();
        recorder.reset();
        std::filesystem::remove_all(folder);
    }

    void make() { recorder = std::make_unique<SpeechRecorder>(recorded.callbacks(), environment); }

    // Starts (on a new recorder unless `again`) and waits until capture runs.
    void startRecording(SpeechSettings settings = {}, bool again = false)
    {
        if (!again) {
            make();
        }
        recorder->start(settings);
        ASSERT_TRUE(runUntil([&] { return recorder->status() == Status::recording; }));
    }
    void cancelRecording()
    {
        recorder->cancel();
        ASSERT_TRUE(runUntil([&] { return recorder->status() == Status::idle; }));
    }

    void push(const TranscriptionResult& r) { service->current()->results().yield(r); }

    std::vector<std::string> eventsSince(std::size_t at) const
    {
        return {events.begin() + static_cast<long>(at), events.end()};
    }

    // Lets anything still in flight arrive.
    void settle()
    {
        runUntil([] { return false; }, 300ms);
    }

    std::filesystem::path folder;
    std::filesystem::path wav;
    std::shared_ptr<testing::ScriptedSpeechService> service;
    SpeechRecorder::Environment environment;
    std::unique_ptr<SpeechRecorder> recorder;
    testing::RecorderEvents recorded;
    std::vector<std::string>& events = recorded.lines;
    std::optional<SpeechDiagnostics>& diagnostics = recorded.diagnostics;
    int& completions = recorded.completions;
};

TEST_F(Recorder, SuccessfulRecordingReportsInOrderAndKeepsFinalEvidence)
{
    make();
    recorder->start({SpeechEngine::dictation, {"灣仔"}});
    startRecording({}, true); // a second press while asking for access changes nothing
    EXPECT_EQ(events, (std::vector<std::string>{"requestingPermission", "preparing", "recording"}));
    EXPECT_EQ(service->current()->context.contextualStrings.at("general"), std::vector<std::string>{"灣仔"});

    push(result("你好", 0.0, 1.0, false, {"你好", "李好"}, {0.4}));
    push(result("你好呀", 0.0, 1.0, true, {"你好呀", "你好啊"}, {0.9, 0.8}));
    push(result("你好嗎", 0.0, 1.0, false, {"泥好嗎"}, {0.1})); // the final evidence stays
    push(result("去銀行", 1.0, 2.0, false));
    ASSERT_TRUE(runUntil([&] { return events.size() == 7; }));
    EXPECT_EQ(events[3], "text:你好");
    EXPECT_EQ(events[6], "text:你好呀去銀行");

    // Audio from the file reached the analyzer through the bridge.
    ASSERT_TRUE(runUntil([&] { return service->current()->input && !service->current()->input->drain().empty(); }));

    service->finalResults = {result("去銀行攞錢", 1.0, 2.5, true, {}, {0.7})};
    service->finalResults.back().fromProvisional = true; // finishing ran out of time
    service->finalResults.push_back(result("", 2.5, 4.0, true));
    service->finalResults.back().untranscribed = true; // and had no time at all for this
    const std::size_t before = events.size();
    recorder->stop();
    recorder->stop();
    EXPECT_EQ(recorder->status(), Status::finalizing);
    ASSERT_TRUE(runUntil([&] { return completions == 1; }));
    EXPECT_EQ(eventsSince(before),
              (std::vector<std::string>{"finalizing", "text:你好呀去銀行攞錢", "text:你好呀去銀行攞錢",
                                        "final:你好呀去銀行攞錢", "idle", "diagnostics", "done:你好呀去銀行攞錢"}));

    ASSERT_TRUE(diagnostics);
    EXPECT_EQ(diagnostics->finalText, "你好呀去銀行攞錢");
    EXPECT_TRUE(diagnostics->contextualStringsApplied);
    EXPECT_EQ(diagnostics->contextualStringsUsed, std::vector<std::string>{"灣仔"});
    EXPECT_EQ(diagnostics->contextualStringCount, 1u);
    ASSERT_EQ(diagnostics->finalSegments.size(), 2u);
    EXPECT_EQ(diagnostics->finalSegments[0].alternatives, std::vector<std::string>{"你好啊"});
    EXPECT_EQ(diagnostics->finalSegments[0].confidenceSamples, (std::vector<double>{0.9, 0.8}));
    EXPECT_EQ(diagnostics->finalSegments[1].endSeconds, 2.5);
    EXPECT_FALSE(diagnostics->finalSegments[0].fromProvisional);
    EXPECT_TRUE(diagnostics->finalSegments[1].fromProvisional);
    EXPECT_EQ(diagnostics->untranscribed, (std::vector<std::pair<double, double>>{{2.5, 4.0}}));
    EXPECT_TRUE(diagnostics->description.starts_with("dictation · zh-HK · "));
    EXPECT_TRUE(diagnostics->description.ends_with(
        "s · 2 final segments · 1 alternatives · 3 SDK confidence values · contextual phrases applied"))
        << diagnostics->description;

    // Ready for the next recording.
    recorder->start({});
    EXPECT_EQ(recorder->status(), Status::requestingPermission);
}

TEST_F(Recorder, MandarinDecodingReachesThePanelInHongKongCharactersExceptTheHints)
{
    service->language = "zh";
    SpeechSettings settings{SpeechEngine::dictation, {"发哥"}};
    startRecording(settings);
    push(result("同发哥剪头发", 0.0, 1.0, false, {"同发哥剪头发"}));
    ASSERT_TRUE(runUntil([&] { return !events.empty() && events.back().starts_with("text:"); }));
    EXPECT_EQ(events.back(), "text:同发哥剪頭髮");
    cancelRecording();

    // Turned off, or a model that knows "yue": the text stays as decoded.
    settings.hongKongCharacters = false;
    startRecording(settings, true);
    push(result("剪头发", 0.0, 1.0, false));
    ASSERT_TRUE(runUntil([&] { return events.back() == "text:剪头发"; }));
    cancelRecording();
    service->language = "yue";
    startRecording({}, true);
    push(result("头发", 0.0, 1.0, false));
    ASSERT_TRUE(runUntil([&] { return events.back() == "text:头发"; }));
    recorder->cancel();
}

TEST_F(Recorder, EmptyRecordingCompletesWithEmptyTextAndNoSegments)
{
    startRecording({SpeechEngine::speech, {"灣仔"}});
    recorder->stop();
    ASSERT_TRUE(runUntil([&] { return completions == 1; }));
    EXPECT_EQ(events.back(), "done:");
    ASSERT_TRUE(diagnostics);
    EXPECT_TRUE(diagnostics->finalSegments.empty());
    EXPECT_FALSE(diagnostics->contextualStringsApplied);
    EXPECT_TRUE(diagnostics->description.ends_with(" · 0 final segments · 0 alternatives · 0 SDK confidence values · "
                                                   "contextual phrases ignored by SpeechTranscriber"));

    events.clear();
    diagnostics.reset();
    startRecording();
    recorder->stop();
    ASSERT_TRUE(runUntil([&] { return completions == 2; }));
    EXPECT_TRUE(diagnostics->description.ends_with("no contextual phrases"));
}

TEST_F(Recorder, TheLimitStopsCaptureAndCompletesLikeStop)
{
    environment.recordingLimit = 300ms;
    service->finalResults = {result("夠鐘", 0.0, 1.0, true)};
    startRecording();
    ASSERT_TRUE(runUntil([&] { return completions == 1; }));
    EXPECT_EQ(eventsSince(2), (std::vector<std::string>{"recording", "finalizing", "text:夠鐘", "final:夠鐘", "idle",
                                                        "diagnostics", "done:夠鐘"}));
    EXPECT_GT(service->current()->buffersAnalyzed.load(), 0);
}

TEST_F(Recorder, CancelInEveryPhaseEndsWithIdleAndCompletionOnly)
{
    // While asking for access; the late answer changes nothing.
    std::function<void(bool)> answer;
    environment.requestMicrophoneAccess = [&](std::function<void(bool)> reply) { answer = std::move(reply); };
    make();
    recorder->start({});
    recorder->cancel();
    recorder->cancel();
    answer(true);
    settle();
    EXPECT_EQ(events, (std::vector<std::string>{"requestingPermission", "idle", "done:none"}));

    // While preparing; the analyzer prepared afterwards is cancelled and its input ended.
    environment.requestMicrophoneAccess = {};
    service->hold("prepare");
    events.clear();
    make();
    recorder->start({});
    ASSERT_TRUE(runUntil([&] { return service->current() != nullptr; }));
    recorder->cancel();
    service->release();
    ASSERT_TRUE(runUntil([&] { return service->current()->isCancelled(); }));
    EXPECT_TRUE(!service->current()->input || service->current()->input->isFinished());
    settle();
    EXPECT_EQ(events, (std::vector<std::string>{"requestingPermission", "preparing", "idle", "done:none"}));

    // While recording; results after the cancel are not shown.
    events.clear();
    startRecording();
    auto analyzer = service->current();
    recorder->cancel();
    analyzer->results().yield(result("遲到", 0.0, 1.0, true));
    settle();
    EXPECT_EQ(eventsSince(3), (std::vector<std::string>{"idle", "done:none"}));
    EXPECT_TRUE(analyzer->isCancelled());

    // While finalizing; the finalization that ends later reports nothing.
    events.clear();
    service->hold("finalize");
    startRecording();
    recorder->stop();
    recorder->cancel();
    service->release();
    settle();
    EXPECT_EQ(eventsSince(3), (std::vector<std::string>{"finalizing", "idle", "done:none"}));
}

TEST_F(Recorder, FailuresReportTheMessageThenIdleThenNoText)
{
    const auto failed = [&](const std::string& message) {
        return std::vector<std::string>{"error:" + message, "idle", "done:none"};
    };

    environment.requestMicrophoneAccess = [](std::function<void(bool)> reply) {
        std::thread([reply] { reply(false); }).detach();
    };
    make();
    recorder->start({});
    ASSERT_TRUE(runUntil([&] { return completions == 1; }));
    EXPECT_EQ(eventsSince(1), failed("Microphone access was denied."));

    // Invalid hints fail before anything is asked.
    environment.requestMicrophoneAccess = {};
    events.clear();
    make();
    recorder->start({SpeechEngine::dictation, {"灣仔", " "}});
    EXPECT_EQ(events.size(), 3u);
    EXPECT_EQ(events[1], "idle");

    events.clear();
    service->locales = {};
    make();
    recorder->start({});
    ASSERT_TRUE(runUntil([&] { return completions == 3; }));
    EXPECT_EQ(eventsSince(2), failed("The zh-HK speech asset is not installed. Install it before trying again."));
    service->locales = {"zh-HK"};

    events.clear();
    wav = folder / "missing.wav";
    make();
    recorder->start({});
    ASSERT_TRUE(runUntil([&] { return completions == 4; }));
    ASSERT_EQ(events.size(), 5u);
    EXPECT_TRUE(events[2].starts_with("error:Cannot read ")) << events[2];
    EXPECT_TRUE(runUntil([&] { return service->current()->isCancelled(); }));
}

TEST_F(Recorder, DestructionWaitsForTheAnalyzerBeingCancelled)
{
    // Quitting right after a cancel: the analyzer's worker must be done before the process
    // tears down, not left running on a thread nobody waits for.
    service->cancelTakes = 400ms;
    startRecording();
    auto analyzer = service->current();
    recorder->cancel();
    recorder.reset();
    EXPECT_TRUE(analyzer->isCancelled());

    // The same after a finalization timeout.
    environment.finalizationSeconds = 0.2;
    service->hold("finalize");
    startRecording();
    analyzer = service->current();
    recorder->stop();
    ASSERT_TRUE(runUntil([&] { return completions == 2; }));
    recorder.reset();
    EXPECT_TRUE(analyzer->isCancelled());
}

TEST_F(Recorder, SlowPreparationAndFinalizationTimeOut)
{
    environment.preparationSeconds = 0.2;
    service->hold("prepare");
    make();
    recorder->start({});
    ASSERT_TRUE(runUntil([&] { return completions == 1; }));
    EXPECT_EQ(eventsSince(2), (std::vector<std::string>{"error:Speech preparation timed out.", "idle", "done:none"}));
    auto late = service->current();
    service->release();
    ASSERT_TRUE(runUntil([&] { return late->isCancelled(); }));
    EXPECT_TRUE(!late->input || late->input->isFinished());

    environment.finalizationSeconds = 0.2;
    events.clear();
    service->hold("finalize");
    startRecording();
    recorder->stop();
    ASSERT_TRUE(runUntil([&] { return completions == 2; }));
    EXPECT_EQ(eventsSince(4), (std::vector<std::string>{"error:Speech finalization timed out.", "idle", "done:none"}));
}

// With the real microphone layer and no input device, the start fails through the callbacks.
TEST_F(Recorder, WithoutAMicrophoneTheStartFailsClearly)
{
    try {
        PortAudioEngine().inputFormat();
        GTEST_SKIP() << "this machine has an audio input device";
    } catch (const AudioEngineError&) {
    }
    environment.makeEngine = {};
    make();
    recorder->start({});
    ASSERT_TRUE(runUntil([&] { return completions == 1; }));
    ASSERT_EQ(events.size(), 5u);
    // What happened and what to check.
    EXPECT_EQ(events[2], "error:No audio input device was found. Connect a microphone, and choose it as the input in "
                         "the desktop's sound settings.");
    EXPECT_EQ(events[3], "idle");
    EXPECT_EQ(events[4], "done:none");
}

// A device that sends a little sound and then nothing, and whose stop() waits until the test
// lets it go, as PortAudio waits for a capture thread stuck in poll().
class StallingEngine : public AudioEngine {
public:
    StallingEngine(int buffers, std::shared_future<void> released) : buffers_(buffers), released_(std::move(released))
    {
    }
    ~StallingEngine() override
    {
        if (sender_.joinable()) {
            sender_.join();
        }
    }
    AudioFormat inputFormat() override { return AudioFormat::recognizerFormat(); }
    void installTap(std::size_t frames, const AudioFormat& format, Tap tap) override
    {
        std::lock_guard lock(mutex_);
        frames_ = frames;
        format_ = format;
        tap_ = std::move(tap);
    }
    void removeTap() override
    {
        std::lock_guard lock(mutex_);
        tap_ = nullptr;
    }
    void prepare() override {}
    void start() override
    {
        sender_ = std::thread([this] {
            const std::vector<float> tone(frames_, 0.1f);
            for (int i = 0; i < buffers_; ++i) {
                std::lock_guard lock(mutex_);
                if (tap_) {
                    tap_(tone, format_, static_cast<double>(i * frames_) / format_.sampleRate);
                }
            }
        });
    }
    void stop() override
    {
        stopCalled = true;
        released_.wait();
    }

    static inline std::atomic<bool> stopCalled = false;

private:
    int buffers_;
    std::shared_future<void> released_;
    std::mutex mutex_;
    std::size_t frames_ = 0;
    AudioFormat format_{};
    Tap tap_;
    std::thread sender_;
};

// The device goes quiet mid-recording: the recording ends by itself with a message, the words
// heard are finalized and kept, and neither that nor an explicit stop waits for the device.
TEST_F(Recorder, AMicrophoneThatStopsSendingEndsTheRecordingKeepingTheWords)
{
    std::promise<void> release;
    const std::shared_future<void> released = release.get_future().share();
    environment.microphoneSilenceLimit = 200ms;
    environment.makeEngine = [released] { return std::make_unique<StallingEngine>(3, released); };
    service->finalResults = {result("聽到嘅字", 0.0, 0.3, true)};
    StallingEngine::stopCalled = false;
    startRecording();
    ASSERT_TRUE(runUntil([&] { return completions == 1; }));
    EXPECT_EQ(eventsSince(2),
              (std::vector<std::string>{
                  "recording", "error:" + std::string(RecorderFailure::microphoneStopped().what()), "finalizing",
                  "text:聽到嘅字", "final:聽到嘅字", "idle", "diagnostics", "done:聽到嘅字"}));
    EXPECT_GT(service->current()->buffersAnalyzed.load(), 0);
    EXPECT_TRUE(runUntil([] { return StallingEngine::stopCalled.load(); }));

    // A second recording on a device that is still stuck stopping, ended by the user.
    events.clear();
    environment.microphoneSilenceLimit = std::chrono::milliseconds::zero();
    startRecording();
    recorder->stop();
    ASSERT_TRUE(runUntil([&] { return completions == 2; }));
    EXPECT_EQ(events.back(), "done:聽到嘅字");
    release.set_value();
    EXPECT_TRUE(recorder->waitForBackgroundWork(5s));
}

// A device that keeps sending, however slowly the recording goes, is never taken for stopped.
TEST_F(Recorder, AMicrophoneThatKeepsSendingIsNotTakenForStopped)
{
    environment.microphoneSilenceLimit = 300ms;
    startRecording();
    settle();
    settle();
    EXPECT_EQ(recorder->status(), Status::recording);
    recorder->stop();
    ASSERT_TRUE(runUntil([&] { return completions == 1; }));
    for (const auto& event : events) {
        EXPECT_FALSE(event.starts_with("error:")) << event;
    }
}

} // namespace
} // namespace kivo
