// The instructions' state kept between runner processes: same replies with and without it,
// only in a memory-backed runtime folder, never holding the transcript.
#include "tests/runner/KeptStateFolder.h"

#include <chrono>
#include <thread>

namespace kivo::test {
namespace {

using nlohmann::json;

const std::string source = "今日天氣好好，我哋去行山。";

json run(const std::string& dataHome, const std::filesystem::path& runtime, const std::string& text = source,
         const json& taskPrefix = nullptr)
{
    return runKeeping(request(text, taskPrefix).dump(), dataHome, runtime);
}

TEST(PrefixReuseTest, TheKeptStateGivesTheSameReplyAndHoldsNoTranscript)
{
    if (!std::filesystem::is_directory("/dev/shm")) {
        GTEST_SKIP() << "no tmpfs at /dev/shm";
    }
    TinyModelHome model;
    const MemoryFolder folder;
    ASSERT_FALSE(folder.path().empty());
    const std::filesystem::path& runtime = folder.path();

    const json first = run(model.path(), runtime);
    ASSERT_EQ(first.value("status", ""), "generated") << first.dump();
    const auto kept = keptEntries(runtime);
    ASSERT_EQ(kept.size(), 1u);
    const std::string bytes = fileContents(kept[0]);
    EXPECT_EQ(bytes.find(source), std::string::npos);
    EXPECT_EQ(bytes.find("今日"), std::string::npos);
    const auto written = std::filesystem::last_write_time(kept[0]);

    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(run(model.path(), runtime), first);
    EXPECT_EQ(std::filesystem::last_write_time(kept[0]), written) << "the second run reads the state, not rewrites it";

    // A damaged entry is ignored and replaced.
    {
        std::fstream damage(kept[0], std::ios::in | std::ios::out | std::ios::binary);
        damage.seekp(static_cast<std::streamoff>(bytes.size() / 2));
        damage.put(static_cast<char>(bytes[bytes.size() / 2] ^ 1));
    }
    EXPECT_EQ(run(model.path(), runtime), first);
    EXPECT_NE(std::filesystem::last_write_time(kept[0]), written);

    // A changed model file does not use the old state.
    makeTinyModel(model.path(), {"--seed", "8"});
    run(model.path(), runtime);
    EXPECT_EQ(keptEntries(runtime).size(), 2u);
}

TEST(PrefixReuseTest, TheTaskLineIsKeptWithTheInstructionsButNoTranscriptIs)
{
    if (!std::filesystem::is_directory("/dev/shm")) {
        GTEST_SKIP() << "no tmpfs at /dev/shm";
    }
    TinyModelHome model;
    TemporaryFolder uncached;
    const MemoryFolder folder;
    ASSERT_FALSE(folder.path().empty());
    const std::filesystem::path& runtime = folder.path();
    const json task = "將以下來源轉成書面語。";

    const json first = run(model.path(), runtime, "阿明聽日返工。", task);
    ASSERT_EQ(first.value("status", ""), "generated") << first.dump();
    EXPECT_EQ(first, run(model.path(), uncached.path(), "阿明聽日返工。", task));
    const auto kept = keptEntries(runtime);
    ASSERT_EQ(kept.size(), 1u);
    const auto written = std::filesystem::last_write_time(kept[0]);

    // Another transcript after the same task line starts from the same state: the kept part
    // ends where the transcript begins.
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    const json second = run(model.path(), runtime, "落雨就唔去。", task);
    EXPECT_EQ(second, run(model.path(), uncached.path(), "落雨就唔去。", task));
    EXPECT_EQ(keptEntries(runtime).size(), 1u);
    EXPECT_EQ(std::filesystem::last_write_time(kept[0]), written);
    const std::string bytes = fileContents(kept[0]);
    EXPECT_EQ(bytes.find("阿明"), std::string::npos);
    EXPECT_EQ(bytes.find("落雨"), std::string::npos);

    // A different task line is a different state.
    run(model.path(), runtime, "落雨就唔去。", "將以下來源轉成英文。");
    EXPECT_EQ(keptEntries(runtime).size(), 2u);
}

} // namespace
} // namespace kivo::test
