#include "app/speech/AudioBridge.h"

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <stdexcept>
#include <thread>

using namespace kivo;

namespace {

// Tags every packet's output with its first sample; holds one input back until flushed;
// can be told to fail on a given packet and to stall until released.
class RecordingConverter : public AnalyzerInputConverter {
public:
    int failOnPacket = 0;
    std::shared_future<void> gate;
    std::atomic<int> converted{0};

    std::vector<AnalyzerInput> convert(const PcmBuffer& buffer, double time) override
    {
        if (gate.valid()) {
            gate.wait();
        }
        const int packet = ++converted;
        if (packet == failOnPacket) {
            throw std::runtime_error("bad buffer " + std::to_string(packet));
        }
        return {AnalyzerInput{{buffer.samples.front()}, time}};
    }

    std::vector<AnalyzerInput> flush() override { return {AnalyzerInput{{-1.0f}, 99.0}}; }
};

std::vector<float> drainAll(Channel<AnalyzerInput>& stream)
{
    std::vector<float> tags;
    while (auto input = stream.next(std::stop_token{}, std::chrono::milliseconds(10))) {
        tags.push_back(input->samples.front());
    }
    return tags;
}

struct Fixture {
    std::unique_ptr<RecordingConverter> owned = std::make_unique<RecordingConverter>();
    RecordingConverter* converter = owned.get();
    std::shared_ptr<Channel<AnalyzerInput>> stream = std::make_shared<Channel<AnalyzerInput>>();
    std::vector<std::string> failures;
    std::mutex mutex;

    std::unique_ptr<AudioBridge> make()
    {
        return std::make_unique<AudioBridge>(std::move(owned), stream, [this](const std::string& text) {
            std::lock_guard lock(mutex);
            failures.push_back(text);
        });
    }
};

void submitTagged(AudioBridge& bridge, int tag)
{
    const float samples[] = {static_cast<float>(tag), 0.0f};
    bridge.submit(samples, AudioFormat{48000.0, 2}, tag * 0.1);
}

} // namespace

TEST(AudioBridge, FinishDeliversQueuedPacketsInOrderThenTheFlushThenEnds)
{
    Fixture f;
    std::promise<void> release;
    f.converter->gate = release.get_future().share();
    auto bridge = f.make();
    for (int tag = 1; tag <= 10; ++tag) {
        submitTagged(*bridge, tag);
    }
    auto finished = std::async(std::launch::async, [&] { bridge->finish(); });
    EXPECT_EQ(finished.wait_for(std::chrono::milliseconds(50)), std::future_status::timeout);
    release.set_value();
    finished.get();
    EXPECT_TRUE(f.stream->isFinished());
    EXPECT_EQ(drainAll(*f.stream), (std::vector<float>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, -1}));
    EXPECT_TRUE(f.failures.empty());
}

TEST(AudioBridge, ConversionErrorEndsTheStreamAndIsReportedOnce)
{
    Fixture f;
    f.converter->failOnPacket = 3;
    auto bridge = f.make();
    for (int tag = 1; tag <= 4; ++tag) {
        submitTagged(*bridge, tag);
    }
    bridge->finish();
    EXPECT_EQ(drainAll(*f.stream), (std::vector<float>{1, 2}));
    EXPECT_EQ(f.converter->converted, 3); // the fourth packet was dropped unconverted
    EXPECT_EQ(f.failures, (std::vector<std::string>{"bad buffer 3"}));
    bridge->finish();
    EXPECT_EQ(f.failures.size(), 1u);
}

TEST(AudioBridge, AbortEndsAtOnceAndLaterWorkDoesNothing)
{
    Fixture f;
    std::promise<void> release;
    f.converter->gate = release.get_future().share();
    auto bridge = f.make();
    submitTagged(*bridge, 1);
    submitTagged(*bridge, 2);
    std::thread([&] { bridge->abort(); }).join();
    EXPECT_TRUE(bridge->isAborted());
    EXPECT_TRUE(f.stream->isFinished());
    release.set_value();
    submitTagged(*bridge, 3);
    bridge->finish(); // no flush after an abort
    EXPECT_LE(f.converter->converted, 1);
    EXPECT_TRUE(drainAll(*f.stream).empty());
    EXPECT_TRUE(f.failures.empty());
}

TEST(AudioBridge, SubmitCopiesTheCaptureBuffer)
{
    Fixture f;
    auto bridge = f.make();
    std::vector<float> capture{5.0f, 5.0f};
    bridge->submit(capture, AudioFormat{16000.0, 1}, 0.0);
    capture[0] = 9.0f; // the capture thread reuses its buffer
    bridge->finish();
    EXPECT_EQ(drainAll(*f.stream), (std::vector<float>{5, -1}));
}
