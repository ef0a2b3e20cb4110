#include "platform/process/RunnableTasks.h"

#include <gtest/gtest.h>

#include <sched.h>

#include <string>

namespace kivo {
namespace {

TEST(RunnableTasksTest, OtherRunnableTasksTakeCoresAway)
{
    EXPECT_EQ(RunnableTasks::threadsFor(4, 4, 1), 4); // only this thread runs
    EXPECT_EQ(RunnableTasks::threadsFor(4, 4, 2), 3);
    EXPECT_EQ(RunnableTasks::threadsFor(2, 4, 2), 2); // the caller's own cap
    EXPECT_EQ(RunnableTasks::threadsFor(2, 2, 2), 1); // one busy process on two cores
    EXPECT_EQ(RunnableTasks::threadsFor(8, 2, 30), 1);
    EXPECT_EQ(RunnableTasks::threadsFor(0, 2, 0), 1);
}

TEST(RunnableTasksTest, OnlyATaskThatStaysRunnableCounts)
{
    using Looks = std::vector<std::pair<double, int>>;
    // A task runnable at one look of three is passing through; one seen at every look is busy.
    EXPECT_EQ(RunnableTasks::steadyOf(Looks{{40, 1}, {20, 2}, {0, 1}}, 150), 1);
    EXPECT_EQ(RunnableTasks::steadyOf(Looks{{40, 2}, {20, 2}, {0, 2}}, 150), 2);
    EXPECT_EQ(RunnableTasks::steadyOf(Looks{{40, 3}, {20, 2}, {0, 3}}, 150), 2);
    // Looks older than the span no longer speak for now, in either direction.
    EXPECT_EQ(RunnableTasks::steadyOf(Looks{{400, 1}, {20, 2}, {0, 2}}, 150), 2);
    EXPECT_EQ(RunnableTasks::steadyOf(Looks{{150, 1}, {0, 2}}, 150), 1);
    EXPECT_EQ(RunnableTasks::steadyOf(Looks{{151, 1}, {0, 2}}, 150), 2);
    EXPECT_EQ(RunnableTasks::steadyOf(Looks{{900, 1}, {300, 3}}, 150), 3); // only stale: the newest
    EXPECT_EQ(RunnableTasks::steadyOf(Looks{}, 150), 1);
    EXPECT_GE(RunnableTasks::steadyCount(), 1);
}

TEST(RunnableTasksTest, LooksOlderThanTheSpanAreForgotten)
{
    using Clock = RunnableTasks::Looks::Clock;
    using std::chrono::milliseconds;
    const Clock::time_point start{};
    RunnableTasks::Looks looks;
    EXPECT_FALSE(looks.enoughAt(start));
    EXPECT_EQ(looks.steadyAt(start), 1);
    looks.add(start, 1);
    looks.add(start + milliseconds(100), 3);
    EXPECT_FALSE(looks.enoughAt(start + milliseconds(100)));
    looks.add(start + milliseconds(150), 2);
    EXPECT_TRUE(looks.enoughAt(start + milliseconds(150))); // three looks, the first exactly a span old
    EXPECT_EQ(looks.steadyAt(start + milliseconds(150)), 1);
    // Past the span the quiet first look no longer speaks for now.
    EXPECT_FALSE(looks.enoughAt(start + milliseconds(151)));
    EXPECT_EQ(looks.steadyAt(start + milliseconds(151)), 2);
    // Forgotten looks stay forgotten, and a late one alone is the count.
    EXPECT_FALSE(looks.enoughAt(start + milliseconds(1000)));
    looks.add(start + milliseconds(1000), 4);
    EXPECT_EQ(looks.steadyAt(start + milliseconds(1000)), 4);
}

TEST(RunnableTasksTest, TheRunnableCountIsTheFourthFieldOfLoadavg)
{
    EXPECT_EQ(RunnableTasks::runnableIn("0.47 1.14 1.58 2/110 12833\n"), 2);
    EXPECT_EQ(RunnableTasks::runnableIn("0.47 1.14 1.58 17/110 12833"), 17);
    EXPECT_EQ(RunnableTasks::runnableIn("0.00 0.00 0.00 0/90 1"), 1); // this thread at least
    EXPECT_EQ(RunnableTasks::runnableIn("0.47 1.14 1.58"), std::nullopt);
    EXPECT_EQ(RunnableTasks::runnableIn(""), std::nullopt);
}

// A stat line as the kernel writes it: 52 fields, the name in parentheses.
std::string statLine(const std::string& name, char state, int nice, int policy)
{
    std::string line = "4242 (" + name + ") " + state;
    for (int field = 4; field <= 52; ++field) {
        const int value = field == 18 ? 20 + nice : field == 19 ? nice : field == 41 ? policy : field;
        line += " " + std::to_string(value);
    }
    return line + "\n";
}

TEST(RunnableTasksTest, NicedIdleAndWaitingTasksDoNotCompete)
{
    EXPECT_EQ(RunnableTasks::competesIn(statLine("cc1plus", 'R', 0, SCHED_OTHER)), true);
    EXPECT_EQ(RunnableTasks::competesIn(statLine("cc1plus", 'R', 9, SCHED_OTHER)), true);
    EXPECT_EQ(RunnableTasks::competesIn(statLine("cc1plus", 'R', -5, SCHED_OTHER)), true);
    EXPECT_EQ(RunnableTasks::competesIn(statLine("cc1plus", 'R', 10, SCHED_OTHER)), false);
    EXPECT_EQ(RunnableTasks::competesIn(statLine("cc1plus", 'R', 19, SCHED_OTHER)), false);
    EXPECT_EQ(RunnableTasks::competesIn(statLine("rewrite-runner", 'R', 0, SCHED_IDLE)), false);
    EXPECT_EQ(RunnableTasks::competesIn(statLine("rewrite-runner", 'R', 0, SCHED_BATCH)), true);
    EXPECT_EQ(RunnableTasks::competesIn(statLine("cc1plus", 'R', 12, SCHED_OTHER), 15), true);
    for (const char state : {'S', 'D', 'I', 'Z', 't'}) {
        EXPECT_EQ(RunnableTasks::competesIn(statLine("sleeper", state, 0, SCHED_OTHER)), false) << state;
    }
    // A name may hold spaces and parentheses; the fields count from the last one.
    EXPECT_EQ(RunnableTasks::competesIn(statLine("a) S 1 (b", 'R', 0, SCHED_OTHER)), true);
    EXPECT_EQ(RunnableTasks::competesIn(statLine("x) R 1 (y", 'S', 0, SCHED_OTHER)), false);
    // Older kernels' shorter lines still give state and nice.
    EXPECT_EQ(RunnableTasks::competesIn("1 (init) R 0 1 1 0 -1 0 0 0 0 0 0 0 0 0 20 0 1"), true);
    EXPECT_EQ(RunnableTasks::competesIn("1 (init) R 0 1 1 0 -1 0 0 0 0 0 0 0 0 0 20"), std::nullopt);
    EXPECT_EQ(RunnableTasks::competesIn("1 init R 0"), std::nullopt);
    EXPECT_EQ(RunnableTasks::competesIn(""), std::nullopt);

    // This thread, reading, is among them.
    const auto now = RunnableTasks::competingNow();
    ASSERT_TRUE(now.has_value());
    EXPECT_GE(*now, 1);
}

} // namespace
} // namespace kivo
