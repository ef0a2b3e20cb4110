#pragma once

#include "app/speech/CancellationError.h"

#include <exception>
#include <future>
#include <mutex>
#include <optional>
#include <stop_token>
#include <utility>
#include <variant>

namespace kivo {

// The rendezvous of one bounded wait: the first of value, error, timeout and cancellation
// resolves it; everything later finds it resolved. Its lock guards only its fields and is never
// held while stopping a thread or waking the caller.
template <class T>
class CompletionGate {
public:
    using Result = std::variant<T, std::exception_ptr>;

    // False when the gate was already resolved: the caller is then woken at once with
    // CancellationError.
    bool install(std::promise<T> continuation)
    {
        std::unique_lock lock(mutex_);
        if (resolved_) {
            lock.unlock();
            continuation.set_exception(std::make_exception_ptr(CancellationError()));
            return false;
        }
        continuation_ = std::move(continuation);
        return true;
    }

    void setWork(std::stop_source work) { keep(work_, std::move(work)); }
    void setTimer(std::stop_source timer) { keep(timer_, std::move(timer)); }

    // True when this call decided the outcome. A refused result is left untouched, so a late
    // value can still go to the discard action.
    bool resolve(Result&& result, bool cancelWork = false)
    {
        std::unique_lock lock(mutex_);
        if (resolved_) {
            return false;
        }
        resolved_ = true;
        auto continuation = std::exchange(continuation_, std::nullopt);
        auto work = std::exchange(work_, std::nullopt);
        auto timer = std::exchange(timer_, std::nullopt);
        lock.unlock();

        if (timer) {
            timer->request_stop();
        }
        if (cancelWork && work) {
            work->request_stop();
        }
        if (continuation) {
            if (auto* value = std::get_if<T>(&result)) {
                continuation->set_value(std::move(*value));
            } else {
                continuation->set_exception(std::get<std::exception_ptr>(result));
            }
        }
        return true;
    }

    void cancel() { resolve(Result(std::make_exception_ptr(CancellationError())), true); }

private:
    void keep(std::optional<std::stop_source>& field, std::stop_source source)
    {
        std::unique_lock lock(mutex_);
        const bool resolved = resolved_;
        if (!resolved) {
            field = source;
        }
        lock.unlock();
        if (resolved) {
            source.request_stop();
        }
    }

    std::mutex mutex_;
    std::optional<std::promise<T>> continuation_;
    std::optional<std::stop_source> work_;
    std::optional<std::stop_source> timer_;
    bool resolved_ = false;
};

} // namespace kivo
