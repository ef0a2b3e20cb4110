#pragma once

#include "runner/ProgressReport.h"

#include <chrono>
#include <string>
#include <string_view>

namespace kivo {

// One run of the rewrite runner: request in, reply out. Every failure becomes an error reply.
namespace Run {

// Returns the reply line for the standard-input bytes; started is when the process began.
// progress hears the answer's expected length and how much of it is written.
std::string perform(std::string_view input, std::chrono::system_clock::time_point started, ProgressReport& progress);

// The same request, but only the constant start of its prompt (instructions, task line, the
// opening of the transcript block) is evaluated and kept for later runs; the source is never
// read into the model and nothing is generated. Replies "prepared" or "unprepared", or the
// error reply perform() would give for the same failure.
std::string prepare(std::string_view input, std::chrono::system_clock::time_point started);

} // namespace Run
} // namespace kivo
