// kivo-transcribe's error paths: a clear message and exit status 1, never a hang.
#include "tests/support/ChildProcess.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace kivo {
namespace {

// Through timeout(1), so a hang fails the test (status 124) instead of stalling the suite.
test::ChildResult transcribe(const std::vector<std::string>& arguments)
{
    std::vector<std::string> all{"20", KIVO_TRANSCRIBE};
    all.insert(all.end(), arguments.begin(), arguments.end());
    return test::runChild("/usr/bin/timeout", all, "");
}

TEST(TranscribeTool, UnreadableFilesFailWithAMessage)
{
    test::TemporaryFolder folder;
    const std::filesystem::path root = folder.path();
    std::ofstream(root / "empty.wav").close();
    std::ofstream(root / "notes.wav") << "not a sound file, just text\n";
    for (const auto& file : {root / "missing.wav", root / "empty.wav", root / "notes.wav"}) {
        const auto result = transcribe({"--model", (root / "no-model.bin").string(), file.string()});
        EXPECT_EQ(result.exitStatus, 1) << file;
        EXPECT_NE(result.err.find("Cannot read " + file.string()), std::string::npos) << result.err;
    }
}

TEST(TranscribeTool, BadThreadCountsAreRefused)
{
    for (const char* count : {"x", "0", "-2", "3x"}) {
        const auto result = transcribe({"--threads", count, "file.wav"});
        EXPECT_EQ(result.exitStatus, 2) << count;
        EXPECT_NE(result.err.find("--threads takes a positive whole number"), std::string::npos) << result.err;
    }
}

} // namespace
} // namespace kivo
