// How a runner child ended, as the controller is told: its exit status, or the signal.
#include "app/controller/RunnerProcess.h"

#include <gtest/gtest.h>

#include <csignal>
#include <future>
#include <mutex>
#include <utility>
#include <vector>

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

TEST(RunnerProcessTest, ProgressLinesArriveBeforeTheEndAndOthersAreIgnored)
{
    RunnerProcess process("/bin/sh", {"-c",
                                      "cat > /dev/null; echo \"$@\"; printf '0 0\\n1 10\\nnoise\\n5' >&3; sleep 0.1;"
                                      "printf ' 10\\n-1 4\\n7 10 x\\n9 10\\n' >&3",
                                      "runner"});
    std::mutex mutex;
    std::vector<std::pair<int, int>> reports;
    std::promise<std::pair<RunnerProcess::Output, std::size_t>> done;
    auto finished = done.get_future();
    process.launch(
        "{}",
        [&](RunnerProcess::Output output) {
            const std::lock_guard guard(mutex);
            done.set_value({std::move(output), reports.size()});
        },
        [&](int written, int expected) {
            const std::lock_guard guard(mutex);
            reports.emplace_back(written, expected);
        });
    const auto [output, reportsBeforeEnd] = finished.get();
    EXPECT_EQ(output.output, "--progress-fd 3\n");
    // Zero counts are reports (the first comes before any token); a line split across writes is
    // joined; a negative count or trailing text is not a report.
    const std::vector<std::pair<int, int>> expected{{0, 0}, {1, 10}, {5, 10}, {9, 10}};
    EXPECT_EQ(reports, expected);
    EXPECT_EQ(reportsBeforeEnd, expected.size());
}

} // namespace
} // namespace kivo
