// How a runner child ended, as the controller is told: its exit status, or the signal.
#include "app/controller/RunnerProcess.h"

#include <gtest/gtest.h>

#include <csignal>
#include <future>

namespace kivo {
namespace {

RunnerProcess::Output runShell(const std::string& script)
{
    RunnerProcess process("/bin/sh", {"-c", script});
    std::promise<RunnerProcess::Output> done;
    auto output = done.get_future();
    process.launch("{}", [&](RunnerProcess::Output result) { done.set_value(std::move(result)); });
    return output.get();
}

TEST(RunnerProcessTest, AnExitGivesItsStatusAndADeathBySignalGivesTheSignal)
{
    const auto replied = runShell("cat > /dev/null; echo reply; echo note >&2; exit 3");
    EXPECT_TRUE(replied.exitedNormally);
    EXPECT_EQ(replied.exitStatus, 3);
    EXPECT_EQ(replied.output, "reply\n");
    EXPECT_EQ(replied.error, "note\n");

    const auto crashed = runShell("cat > /dev/null; kill -SEGV $$");
    EXPECT_FALSE(crashed.exitedNormally);
    EXPECT_EQ(crashed.exitStatus, SIGSEGV);

    const auto killed = runShell("kill -KILL $$");
    EXPECT_FALSE(killed.exitedNormally);
    EXPECT_EQ(killed.exitStatus, SIGKILL);
}

} // namespace
} // namespace kivo
