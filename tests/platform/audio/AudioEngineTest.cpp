// The capture engines: a sound file played into the tap, and PortAudio on a machine without
// an input device.
#include "platform/audio/AudioEngineError.h"
#include "platform/audio/PortAudioEngine.h"
#include "platform/audio/WavFileEngine.h"
#include "tests/app/speech/RecorderHarness.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>

namespace kivo {
namespace {

using namespace std::chrono_literals;

TEST(WavFileEngine, DeliversTheFileInTapSizedBuffersWithTheirTimes)
{
    const auto path = std::filesystem::temp_directory_path() / ("kivo-engine-" + std::to_string(getpid()) + ".wav");
    testing::writeWav(path, 0.3, 22050);
    WavFileEngine engine(path, {0.0, false});
    const AudioFormat format = engine.inputFormat();
    EXPECT_EQ(format, (AudioFormat{22050.0, 1}));

    std::mutex mutex;
    std::vector<std::pair<std::size_t, double>> buffers;
    engine.installTap(2048, format, [&](std::span<const float> samples, const AudioFormat&, double seconds) {
        std::lock_guard lock(mutex);
        buffers.emplace_back(samples.size(), seconds);
    });
    engine.prepare();
    engine.start();
    const auto done = [&] {
        std::lock_guard lock(mutex);
        return buffers.size() == 4;
    };
    ASSERT_TRUE(testing::runUntil(done));
    engine.stop();
    engine.removeTap();
    const std::size_t frames = 6615; // 0.3 s at 22.05 kHz
    EXPECT_EQ(buffers[0], (std::pair<std::size_t, double>{2048, 0.0}));
    EXPECT_DOUBLE_EQ(buffers[3].second, 6144.0 / 22050.0);
    EXPECT_EQ(buffers[3].first, frames - 6144);
    EXPECT_THROW(engine.installTap(2048, AudioFormat{16000.0, 1}, nullptr), AudioEngineError);

    WavFileEngine missing(path.string() + ".none");
    EXPECT_THROW(missing.inputFormat(), AudioEngineError);
    std::filesystem::remove(path);
}

TEST(WavFileEngine, NothingReachesTheTapAfterItIsRemoved)
{
    const auto path = std::filesystem::temp_directory_path() / ("kivo-engine-pad-" + std::to_string(getpid()) + ".wav");
    testing::writeWav(path, 0.1);
    WavFileEngine engine(path, {4.0, true});
    std::atomic<int> calls = 0;
    engine.installTap(2048, engine.inputFormat(), [&](std::span<const float>, const AudioFormat&, double) { ++calls; });
    engine.start();
    ASSERT_TRUE(testing::runUntil([&] { return calls.load() >= 3; })); // silence follows the file
    engine.removeTap();
    const int seen = calls.load();
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(calls.load(), seen);
    engine.stop();
    std::filesystem::remove(path);
}

// The test session has no sound card: starting capture must fail with a clear message.
TEST(PortAudioEngine, WithoutAnInputDeviceStartFailsWithAMessage)
{
    std::unique_ptr<PortAudioEngine> engine;
    try {
        engine = std::make_unique<PortAudioEngine>();
        engine->inputFormat();
    } catch (const AudioEngineError& error) {
        EXPECT_FALSE(std::string(error.what()).empty());
        return;
    }
    GTEST_SKIP() << "this machine has an audio input device";
}

} // namespace
} // namespace kivo
