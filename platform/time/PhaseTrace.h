#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kivo {

// Moments of the flow from the stop of a recording to the text in the target, for the
// end-to-end benchmark in another process. Written only when KIVO_PHASE_TRACE names a file: one
// line per moment, "<phase> <seconds>", seconds on the monotonic clock every process shares.
namespace PhaseTrace {

void mark(std::string_view phase);
// The same, into `file`.
void markInto(const std::string& file, std::string_view phase, double seconds);
// Seconds on the clock the marks use.
double now();

struct Mark {
    std::string phase;
    double seconds = 0.0;
};
// The marks of a trace file's text, in order; lines not of that form are skipped.
std::vector<Mark> parse(const std::string& text);
// The first mark of `phase` at or after `since`.
std::optional<double> first(const std::vector<Mark>& marks, std::string_view phase, double since);

} // namespace PhaseTrace
} // namespace kivo
