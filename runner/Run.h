#pragma once

#include <chrono>
#include <string>
#include <string_view>

namespace kivo {

// One run of the rewrite runner: request in, reply out. Every failure becomes an error reply.
namespace Run {

// Returns the reply line for the standard-input bytes; started is when the process began.
std::string perform(std::string_view input, std::chrono::system_clock::time_point started);

}  // namespace Run
}  // namespace kivo
