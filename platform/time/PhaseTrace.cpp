#include "platform/time/PhaseTrace.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <sstream>

namespace kivo::PhaseTrace {

double now()
{
    timespec at{};
    ::clock_gettime(CLOCK_MONOTONIC, &at);
    return static_cast<double>(at.tv_sec) + static_cast<double>(at.tv_nsec) / 1e9;
}

void markInto(const std::string& file, std::string_view phase, double seconds)
{
    char line[128];
    const int length =
        std::snprintf(line, sizeof line, "%.*s %.6f\n", static_cast<int>(phase.size()), phase.data(), seconds);
    if (length <= 0 || static_cast<std::size_t>(length) >= sizeof line) {
        return;
    }
    // One write of a short line to a file opened for appending lands whole, whoever else writes.
    const int descriptor = ::open(file.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
    if (descriptor < 0) {
        return;
    }
    [[maybe_unused]] const auto written = ::write(descriptor, line, static_cast<std::size_t>(length));
    ::close(descriptor);
}

void mark(std::string_view phase)
{
    const char* file = std::getenv("KIVO_PHASE_TRACE");
    if (file != nullptr && *file != '\0') {
        markInto(file, phase, now());
    }
}

std::vector<Mark> parse(const std::string& text)
{
    std::vector<Mark> marks;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        Mark mark;
        std::string rest;
        if (fields >> mark.phase >> mark.seconds && !(fields >> rest)) {
            marks.push_back(std::move(mark));
        }
    }
    return marks;
}

std::optional<double> first(const std::vector<Mark>& marks, std::string_view phase, double since)
{
    for (const auto& mark : marks) {
        if (mark.phase == phase && mark.seconds >= since) {
            return mark.seconds;
        }
    }
    return std::nullopt;
}

} // namespace kivo::PhaseTrace
