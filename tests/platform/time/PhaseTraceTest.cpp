// The trace the end-to-end benchmark reads from another process.
#include "platform/time/PhaseTrace.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

namespace kivo {
namespace {

std::string contents(const std::filesystem::path& path)
{
    std::ifstream file(path);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

TEST(PhaseTrace, MarksAreWrittenOnlyWhenAskedForAndReadBackInOrder)
{
    const auto path = std::filesystem::temp_directory_path() / ("kivo-phases-" + std::to_string(::getpid()));
    std::filesystem::remove(path);
    ::unsetenv("KIVO_PHASE_TRACE");
    PhaseTrace::mark("stop");
    EXPECT_FALSE(std::filesystem::exists(path));

    ::setenv("KIVO_PHASE_TRACE", path.c_str(), 1);
    // Marks are written to the microsecond.
    const double before = PhaseTrace::now() - 1e-6;
    PhaseTrace::mark("stop");
    PhaseTrace::mark("transcript");
    PhaseTrace::mark("stop");
    ::unsetenv("KIVO_PHASE_TRACE");

    const auto marks = PhaseTrace::parse(contents(path));
    ASSERT_EQ(marks.size(), 3u);
    EXPECT_EQ(marks[0].phase, "stop");
    EXPECT_EQ(marks[1].phase, "transcript");
    EXPECT_GE(marks[0].seconds, before);
    EXPECT_LE(marks[0].seconds, marks[1].seconds);
    EXPECT_LE(marks[2].seconds, PhaseTrace::now() + 1e-6);
    // The first one at or after a moment, not merely the first of its name.
    EXPECT_EQ(PhaseTrace::first(marks, "stop", before), marks[0].seconds);
    EXPECT_EQ(PhaseTrace::first(marks, "stop", marks[1].seconds), marks[2].seconds);
    EXPECT_EQ(PhaseTrace::first(marks, "stop", marks[2].seconds), marks[2].seconds);
    EXPECT_FALSE(PhaseTrace::first(marks, "stop", marks[2].seconds + 1.0));
    EXPECT_FALSE(PhaseTrace::first(marks, "reply", 0.0));
    std::filesystem::remove(path);
}

TEST(PhaseTrace, LinesFromSeveralThreadsStayWholeAndOthersAreSkipped)
{
    const auto path = std::filesystem::temp_directory_path() / ("kivo-phases-threads-" + std::to_string(::getpid()));
    std::filesystem::remove(path);
    std::vector<std::thread> writers;
    for (int t = 0; t < 4; ++t) {
        writers.emplace_back([&] {
            for (int i = 0; i < 200; ++i) {
                PhaseTrace::markInto(path, "inserted", 12.5);
            }
        });
    }
    for (auto& writer : writers) {
        writer.join();
    }
    const auto marks = PhaseTrace::parse(contents(path));
    ASSERT_EQ(marks.size(), 800u);
    for (const auto& mark : marks) {
        ASSERT_EQ(mark.phase, "inserted");
        ASSERT_EQ(mark.seconds, 12.5);
    }

    const auto parsed = PhaseTrace::parse("stop 1.5\nreply\nreply x\n\nreply 2 3\n  transcript   2.25 \nstop 3\n");
    ASSERT_EQ(parsed.size(), 3u);
    EXPECT_EQ(parsed[1].phase, "transcript");
    EXPECT_EQ(parsed[1].seconds, 2.25);
    EXPECT_EQ(parsed[2].seconds, 3.0);
    std::filesystem::remove(path);
}

} // namespace
} // namespace kivo
