#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <optional>
#include <stop_token>
#include <vector>

namespace kivo {

// An unbounded single-consumer stream. The producer yields values and ends the stream once with
// finish() or fail(); yielding into or finishing an ended stream is harmless. The consumer
// blocks in next() until a value, the end or a stop request arrives.
template <class T>
class Channel {
public:
    // False when the stream had already ended (the value is dropped).
    bool yield(T value)
    {
        {
            std::lock_guard lock(mutex_);
            if (ended_) {
                return false;
            }
            values_.push_back(std::move(value));
        }
        changed_.notify_all();
        return true;
    }

    void finish() { end(nullptr); }
    void fail(std::exception_ptr error) { end(std::move(error)); }

    bool isFinished() const
    {
        std::lock_guard lock(mutex_);
        return ended_;
    }

    // The next value; none at the end of the stream or when `stop` is requested first.
    // Rethrows the error the stream failed with once its values are used up.
    std::optional<T> next(std::stop_token stop)
    {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, stop, [&] { return !values_.empty() || ended_; });
        return take(lock);
    }

    // Like next(), but gives up after `timeout` with none.
    template <class Rep, class Period>
    std::optional<T> next(std::stop_token stop, std::chrono::duration<Rep, Period> timeout)
    {
        std::unique_lock lock(mutex_);
        changed_.wait_for(lock, stop, timeout, [&] { return !values_.empty() || ended_; });
        return take(lock);
    }

    // Every value available now, without waiting.
    std::vector<T> drain()
    {
        std::lock_guard lock(mutex_);
        std::vector<T> out(std::make_move_iterator(values_.begin()), std::make_move_iterator(values_.end()));
        values_.clear();
        return out;
    }

    // True once the stream has ended and every value has been taken.
    bool isExhausted() const
    {
        std::lock_guard lock(mutex_);
        return ended_ && values_.empty();
    }

private:
    void end(std::exception_ptr error)
    {
        {
            std::lock_guard lock(mutex_);
            if (ended_) {
                return;
            }
            ended_ = true;
            error_ = std::move(error);
        }
        changed_.notify_all();
    }

    std::optional<T> take(std::unique_lock<std::mutex>& lock)
    {
        if (!values_.empty()) {
            T value = std::move(values_.front());
            values_.pop_front();
            return value;
        }
        if (ended_ && error_) {
            auto error = error_;
            lock.unlock();
            std::rethrow_exception(error);
        }
        return std::nullopt;
    }

    mutable std::mutex mutex_;
    std::condition_variable_any changed_;
    std::deque<T> values_;
    bool ended_ = false;
    std::exception_ptr error_;
};

} // namespace kivo
