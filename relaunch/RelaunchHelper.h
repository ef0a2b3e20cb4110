#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include <sys/types.h>

namespace kivo {

class SystemLog;

// The restart protocol's second half: wait until the old process has gone, then open the
// bundle again. Every outcome ends the same way for the caller (exit status 0); only the log
// tells them apart.
namespace RelaunchHelper {

inline constexpr const char* bundleIdentifier = "local.kivo.afm-trial";

struct Limits {
    std::chrono::milliseconds wait{30000};
    std::chrono::milliseconds poll{100};
};

enum class Outcome {
    badArguments,
    invalidTarget,
    probeFailed,
    timedOut,
    launchFailed,
    launched
};

// The process id argument: a decimal signed 32-bit integer greater than 1.
std::optional<pid_t> parseProcessId(const std::string& text);

// `arguments` excludes the program name.
Outcome run(const std::vector<std::string>& arguments, const Limits& limits, const SystemLog& log);

} // namespace RelaunchHelper

} // namespace kivo
