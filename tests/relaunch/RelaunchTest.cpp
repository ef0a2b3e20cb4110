#include "relaunch/RelaunchHelper.h"
#include "tests/relaunch/BundleFixture.h"
#include "tests/support/ChildProcess.h"

#include <gtest/gtest.h>

#include <csignal>
#include <thread>

namespace kivo {
namespace {

using namespace std::chrono_literals;

using test::runChild;
using testing::goneProcessId;

// Each case's own bundle of this app.
class RelaunchTest : public testing::BundleFolderTest {};

TEST_F(RelaunchTest, ProcessThatIsGoneOpensTheBundleAtOnce)
{
    const auto finished = runChild(KIVO_RELAUNCH, {std::to_string(goneProcessId()), bundle.string()}, "");
    EXPECT_EQ(finished.exitStatus, 0);
    EXPECT_TRUE(testing::waitForFile(bundle / "marker", 10s));
}

TEST_F(RelaunchTest, WaitsForTheOldProcessToEndThenOpens)
{
    const pid_t child = ::fork();
    if (child == 0) {
        ::usleep(400000);
        ::_exit(0);
    }
    // Reaped as soon as it ends: a zombie would still answer the probe.
    std::thread reaper([child] { ::waitpid(child, nullptr, 0); });
    const auto finished = runChild(KIVO_RELAUNCH_SHORT_WAIT, {std::to_string(child), bundle.string()}, "");
    reaper.join();
    EXPECT_EQ(finished.exitStatus, 0);
    EXPECT_EQ(finished.err.find("timed out"), std::string::npos) << finished.err;
    EXPECT_TRUE(testing::waitForFile(bundle / "marker", 10s));
}

TEST_F(RelaunchTest, LiveProcessTimesOutWithNothingOpened)
{
    const pid_t child = ::fork();
    if (child == 0) {
        ::pause();
        ::_exit(0);
    }
    const auto finished = runChild(KIVO_RELAUNCH_SHORT_WAIT, {std::to_string(child), bundle.string()}, "");
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    EXPECT_EQ(finished.exitStatus, 0);
    EXPECT_NE(finished.err.find("Restart timed out waiting for the old process; no second instance launched"),
              std::string::npos)
        << finished.err;
    EXPECT_FALSE(testing::waitForFile(bundle / "marker", 300ms));
}

TEST_F(RelaunchTest, ForeignOrBrokenBundlesAreRefused)
{
    const auto foreign = testing::makeBundle(directory / "Other", "org.example.other");
    const auto notExecutable = testing::makeBundle(directory / "Plain", identifier, false);
    for (const auto& target : {foreign, notExecutable, directory / "missing"}) {
        const auto finished =
            runChild(KIVO_RELAUNCH_SHORT_WAIT, {std::to_string(goneProcessId()), target.string()}, "");
        EXPECT_EQ(finished.exitStatus, 0);
        EXPECT_NE(finished.err.find("Restart target is not a valid kivo app"), std::string::npos) << target;
    }
    EXPECT_FALSE(testing::waitForFile(foreign / "marker", 300ms));
    EXPECT_FALSE(std::filesystem::exists(notExecutable / "marker"));
}

TEST_F(RelaunchTest, BadArgumentsExitSilently)
{
    const std::string path = bundle.string();
    const std::vector<std::vector<std::string>> cases{
        {},          {"12345"},    {"12345", path, "extra"}, {"abc", path}, {"1", path},
        {"0", path}, {"-7", path}, {"2147483648", path},     {"12x", path}, {"", path}};
    for (const auto& arguments : cases) {
        const auto finished = runChild(KIVO_RELAUNCH_SHORT_WAIT, arguments, "");
        EXPECT_EQ(finished.exitStatus, 0);
        EXPECT_EQ(finished.err, "") << ::testing::PrintToString(arguments);
    }
    EXPECT_FALSE(testing::waitForFile(bundle / "marker", 300ms));
}

TEST(RelaunchProcessId, ParsesDecimalThirtyTwoBitValuesAboveOne)
{
    EXPECT_EQ(RelaunchHelper::parseProcessId("2"), 2);
    EXPECT_EQ(RelaunchHelper::parseProcessId("2147483647"), 2147483647);
    EXPECT_EQ(RelaunchHelper::parseProcessId("+42"), 42);
    EXPECT_FALSE(RelaunchHelper::parseProcessId(" 42"));
    EXPECT_FALSE(RelaunchHelper::parseProcessId("0x10"));
    EXPECT_FALSE(RelaunchHelper::parseProcessId("+"));
}

} // namespace
} // namespace kivo
