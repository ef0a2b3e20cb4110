#include "relaunch/RelaunchHelper.h"
#include "tests/relaunch/BundleFixture.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <thread>

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace kivo {
namespace {

using namespace std::chrono_literals;

struct Finished {
    int exitStatus = -1;
    std::string standardError;
};

// Runs a program to its end and collects its standard error.
Finished runProgram(const char* program, const std::vector<std::string>& arguments)
{
    std::array<int, 2> pipeEnds{};
    EXPECT_EQ(::pipe(pipeEnds.data()), 0);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], STDERR_FILENO);
    posix_spawn_file_actions_addclose(&actions, pipeEnds[0]);
    std::vector<std::string> strings{program};
    strings.insert(strings.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (auto& text : strings) {
        argv.push_back(text.data());
    }
    argv.push_back(nullptr);
    pid_t pid = -1;
    EXPECT_EQ(posix_spawn(&pid, program, &actions, nullptr, argv.data(), environ), 0);
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipeEnds[1]);
    Finished finished;
    std::array<char, 512> buffer{};
    for (ssize_t n; (n = ::read(pipeEnds[0], buffer.data(), buffer.size())) > 0;) {
        finished.standardError.append(buffer.data(), static_cast<size_t>(n));
    }
    ::close(pipeEnds[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    finished.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return finished;
}

// A process id that was just in use and has been reaped.
pid_t goneProcessId()
{
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::_exit(0);
    }
    ::waitpid(pid, nullptr, 0);
    return pid;
}

class RelaunchTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "kivo-relaunch-XXXXXX").string();
        directory = ::mkdtemp(pattern.data());
        bundle = testing::makeBundle(directory / "Kivo", RelaunchHelper::bundleIdentifier);
    }
    void TearDown() override { std::filesystem::remove_all(directory); }

    std::filesystem::path directory;
    std::filesystem::path bundle;
};

TEST_F(RelaunchTest, ProcessThatIsGoneOpensTheBundleAtOnce)
{
    const auto finished = runProgram(KIVO_RELAUNCH, {std::to_string(goneProcessId()), bundle.string()});
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
    const auto finished = runProgram(KIVO_RELAUNCH_SHORT_WAIT, {std::to_string(child), bundle.string()});
    reaper.join();
    EXPECT_EQ(finished.exitStatus, 0);
    EXPECT_EQ(finished.standardError.find("timed out"), std::string::npos) << finished.standardError;
    EXPECT_TRUE(testing::waitForFile(bundle / "marker", 10s));
}

TEST_F(RelaunchTest, LiveProcessTimesOutWithNothingOpened)
{
    const pid_t child = ::fork();
    if (child == 0) {
        ::pause();
        ::_exit(0);
    }
    const auto finished = runProgram(KIVO_RELAUNCH_SHORT_WAIT, {std::to_string(child), bundle.string()});
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    EXPECT_EQ(finished.exitStatus, 0);
    EXPECT_NE(finished.standardError.find("Restart timed out waiting for the old process; no second instance launched"),
              std::string::npos)
        << finished.standardError;
    EXPECT_FALSE(testing::waitForFile(bundle / "marker", 300ms));
}

TEST_F(RelaunchTest, ForeignOrBrokenBundlesAreRefused)
{
    const auto foreign = testing::makeBundle(directory / "Other", "org.example.other");
    const auto notExecutable = testing::makeBundle(directory / "Plain", RelaunchHelper::bundleIdentifier, false);
    for (const auto& target : {foreign, notExecutable, directory / "missing"}) {
        const auto finished = runProgram(KIVO_RELAUNCH_SHORT_WAIT, {std::to_string(goneProcessId()), target.string()});
        EXPECT_EQ(finished.exitStatus, 0);
        EXPECT_NE(finished.standardError.find("Restart target is not a valid kivo app"), std::string::npos) << target;
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
        const auto finished = runProgram(KIVO_RELAUNCH_SHORT_WAIT, arguments);
        EXPECT_EQ(finished.exitStatus, 0);
        EXPECT_EQ(finished.standardError, "") << ::testing::PrintToString(arguments);
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
