#include "platform/process/RunnableTasks.h"

#include <gtest/gtest.h>

namespace kivo {
namespace {

TEST(RunnableTasksTest, OtherRunnableTasksTakeCoresAway) {
    EXPECT_EQ(RunnableTasks::threadsFor(4, 4, 1), 4);  // only this thread runs
    EXPECT_EQ(RunnableTasks::threadsFor(4, 4, 2), 3);
    EXPECT_EQ(RunnableTasks::threadsFor(2, 4, 2), 2);  // the caller's own cap
    EXPECT_EQ(RunnableTasks::threadsFor(2, 2, 2), 1);  // one busy process on two cores
    EXPECT_EQ(RunnableTasks::threadsFor(8, 2, 30), 1);
    EXPECT_EQ(RunnableTasks::threadsFor(0, 2, 0), 1);
}

TEST(RunnableTasksTest, OnlyATaskThatStaysRunnableCounts) {
    using Looks = std::vector<std::pair<double, int>>;
    // A task runnable at one look of three is passing through; one seen at every look is busy.
    EXPECT_EQ(RunnableTasks::steadyOf(Looks{{40, 1}, {20, 2}, {0, 1}}, 150), 1);
    EXPECT_EQ(RunnableTasks::steadyOf(Looks{{40, 2}, {20, 2}, {0, 2}}, 150), 2);
    EXPECT_EQ(RunnableTasks::steadyOf(Looks{{40, 3}, {20, 2}, {0, 3}}, 150), 2);
    // Looks older than the span no longer speak for now, in either direction.
    EXPECT_EQ(RunnableTasks::steadyOf(Looks{{400, 1}, {20, 2}, {0, 2}}, 150), 2);
    EXPECT_EQ(RunnableTasks::steadyOf(Looks{{150, 1}, {0, 2}}, 150), 1);
    EXPECT_EQ(RunnableTasks::steadyOf(Looks{{151, 1}, {0, 2}}, 150), 2);
    EXPECT_EQ(RunnableTasks::steadyOf(Looks{{900, 1}, {300, 3}}, 150), 3);  // only stale: the newest
    EXPECT_EQ(RunnableTasks::steadyOf(Looks{}, 150), 1);
    EXPECT_GE(RunnableTasks::steadyCount(), 1);
}

}  // namespace
}  // namespace kivo
