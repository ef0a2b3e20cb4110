#include "relaunch/RelaunchHelper.h"

#include "platform/bundle/AppBundle.h"
#include "platform/bundle/DetachedProcess.h"
#include "platform/syslog/SystemLog.h"

#include <cerrno>
#include <charconv>
#include <climits>
#include <cstdint>
#include <ctime>

#include <signal.h>

namespace kivo::RelaunchHelper {
namespace {

void sleepFor(std::chrono::milliseconds duration)
{
    timespec request{};
    request.tv_sec = static_cast<time_t>(duration.count() / 1000);
    request.tv_nsec = static_cast<long>((duration.count() % 1000) * 1000000);
    // An interrupted sleep just ends this round early; the caller probes again.
    ::nanosleep(&request, nullptr);
}

} // namespace

std::optional<pid_t> parseProcessId(const std::string& text)
{
    std::int32_t value = 0;
    const char* first = text.data();
    const char* last = text.data() + text.size();
    if (!text.empty() && *first == '+') {
        ++first;
    }
    const auto [end, error] = std::from_chars(first, last, value);
    if (text.empty() || error != std::errc() || end != last || value <= 1) {
        return std::nullopt;
    }
    return static_cast<pid_t>(value);
}

Outcome run(const std::vector<std::string>& arguments, const Limits& limits, const SystemLog& log)
{
    if (arguments.size() != 2) {
        return Outcome::badArguments;
    }
    const auto pid = parseProcessId(arguments[0]);
    if (!pid) {
        return Outcome::badArguments;
    }
    const auto bundle = AppBundle::open(arguments[1]);
    if (!bundle || bundle->identifier() != bundleIdentifier || !bundle->hasExecutableFile()) {
        log.error("Restart target is not a valid kivo app");
        return Outcome::invalidTarget;
    }

    const auto deadline = std::chrono::steady_clock::now() + limits.wait;
    for (;;) {
        if (::kill(*pid, 0) != 0) {
            if (errno == ESRCH) {
                break;
            }
            if (errno != EPERM) {
                return Outcome::probeFailed;
            }
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            log.error("Restart timed out waiting for the old process; no second instance launched");
            return Outcome::timedOut;
        }
        sleepFor(limits.poll);
    }

    try {
        DetachedProcess::start(*bundle->executablePath(), {});
    } catch (const DetachedProcess::StartError& error) {
        log.error(std::string("Relaunch failed: ") + error.what());
        return Outcome::launchFailed;
    }
    return Outcome::launched;
}

} // namespace kivo::RelaunchHelper
