#pragma once

#include "app/speech/BackgroundWork.h"
#include "app/speech/CompletionGate.h"
#include "app/speech/RecorderFailure.h"

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <type_traits>

namespace kivo {

// Runs `operation` (called with its own stop token) on a thread of its own, bounded by
// `seconds` on the monotonic clock, and returns the first outcome: its value, its error,
// RecorderFailure::timeout(stage), or CancellationError when `caller` is stopped. A timeout or
// a cancellation stops the operation's token; a value that arrives after another outcome goes
// to `onDiscard`, on the operation's thread. The operation and the timer run under `work` so
// that its owner can wait for them; without one they run unowned (tests of the bound alone).
template <class Operation, class T = std::invoke_result_t<Operation&, std::stop_token>>
T speechBounded(double seconds, std::string stage, std::type_identity_t<std::function<void(T)>> onDiscard,
                Operation operation, std::stop_token caller = {}, BackgroundWork* work = nullptr)
{
    const auto launch = [work](std::function<void()> job) {
        if (work) {
            work->start(std::move(job));
        } else {
            std::thread(std::move(job)).detach();
        }
    };
    using Gate = CompletionGate<T>;
    auto gate = std::make_shared<Gate>();
    // Registered first, so a caller stopped already resolves the gate before anything starts.
    std::stop_callback onCallerStop(caller, [gate] { gate->cancel(); });

    std::promise<T> continuation;
    std::future<T> outcome = continuation.get_future();
    if (gate->install(std::move(continuation))) {
        std::stop_source stopWork;
        launch([gate, operation = std::make_shared<Operation>(std::move(operation)), onDiscard = std::move(onDiscard),
                token = stopWork.get_token()]() mutable {
            try {
                typename Gate::Result result((*operation)(token));
                if (!gate->resolve(std::move(result)) && onDiscard) {
                    onDiscard(std::move(std::get<T>(result)));
                }
            } catch (...) {
                gate->resolve(typename Gate::Result(std::current_exception()));
            }
        });
        gate->setWork(stopWork);

        std::stop_source timer;
        launch([gate, seconds, stage = std::move(stage), token = timer.get_token()] {
            std::mutex mutex;
            std::condition_variable_any wake;
            std::unique_lock lock(mutex);
            // condition_variable_any::wait_for measures on the steady clock.
            wake.wait_for(lock, token, std::chrono::duration<double>(seconds), [] { return false; });
            if (!token.stop_requested()) {
                gate->resolve(typename Gate::Result(std::make_exception_ptr(RecorderFailure::timeout(stage))), true);
            }
        });
        gate->setTimer(timer);
    }
    return outcome.get();
}

} // namespace kivo
