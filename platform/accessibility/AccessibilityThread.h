#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <type_traits>
#include <utility>

namespace kivo::AccessibilityThread {

// libatspi answers every call synchronously and, while it waits, dispatches whatever else
// arrives on the same D-Bus connection; one of those handlers calling back into the library
// waits for a dispatch lock its own caller holds, for good. So every AT-SPI call of this
// process runs on one thread of its own, and the caller waits a bounded time.
constexpr std::chrono::milliseconds callLimit{1200};

// Runs `work` on the accessibility thread and waits at most `limit` for it. False when it did
// not finish in time, or when an earlier call that ran out of time is still running there
// (then `work` is not run at all). `work` must own everything it touches: after a false
// return it may still run later.
bool run(std::function<void()> work, std::chrono::milliseconds limit = callLimit);

// Queues `work` there without waiting (releasing references).
void post(std::function<void()> work);

// The calling thread is the accessibility thread.
bool isCurrent();

// `work()`'s result, computed on the accessibility thread; none when it ran out of time.
template <class Work>
auto call(Work work, std::chrono::milliseconds limit = callLimit) -> std::optional<std::invoke_result_t<Work&>>
{
    using Result = std::invoke_result_t<Work&>;
    if (isCurrent()) {
        return work();
    }
    auto result = std::make_shared<std::optional<Result>>();
    if (!run([result, work = std::move(work)]() mutable { *result = work(); }, limit)) {
        return std::nullopt;
    }
    return std::move(*result);
}

} // namespace kivo::AccessibilityThread
