#include "app/speech/SpeechBounded.h"
#include "app/speech/CancellationError.h"
#include "app/speech/RecorderFailure.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <thread>

using namespace kivo;
using namespace std::chrono_literals;

namespace {

// Waits on `token` for at most `limit`; true when it was stopped.
bool stoppedWithin(std::stop_token token, std::chrono::milliseconds limit)
{
    std::mutex mutex;
    std::condition_variable_any wake;
    std::unique_lock lock(mutex);
    return wake.wait_for(lock, token, limit, [] { return false; }) || token.stop_requested();
}

} // namespace

TEST(SpeechBounded, ValueBeforeTheLimitIsReturned)
{
    const int value = speechBounded(30.0, "preparation", {}, [](std::stop_token) {
        std::this_thread::sleep_for(20ms);
        return 7;
    });
    EXPECT_EQ(value, 7);
}

TEST(SpeechBounded, ErrorBeforeTheLimitPassesUnchanged)
{
    try {
        speechBounded(30.0, "finalization", {}, [](std::stop_token) -> int { throw std::runtime_error("engine"); });
        FAIL();
    } catch (const std::runtime_error& error) {
        EXPECT_STREQ(error.what(), "engine");
        EXPECT_EQ(dynamic_cast<const RecorderFailure*>(&error), nullptr);
    }
}

TEST(SpeechBounded, TimeoutCancelsTheWorkAndDiscardsItsLateValue)
{
    std::promise<bool> sawStop;
    std::promise<int> discarded;
    std::promise<void> release;
    auto released = release.get_future().share();
    try {
        speechBounded(
            0.05, "preparation", [&](int late) { discarded.set_value(late); },
            [&, released](std::stop_token stop) {
                sawStop.set_value(stoppedWithin(stop, 5000ms));
                released.wait();
                return 42;
            });
        FAIL();
    } catch (const RecorderFailure& failure) {
        EXPECT_EQ(failure.kind(), RecorderFailure::Case::timeout);
        EXPECT_STREQ(failure.what(), "Speech preparation timed out.");
    }
    EXPECT_TRUE(sawStop.get_future().get());
    release.set_value();
    auto late = discarded.get_future();
    ASSERT_EQ(late.wait_for(5s), std::future_status::ready);
    EXPECT_EQ(late.get(), 42);
}

TEST(SpeechBounded, CallerCancellationEndsTheWaitAtOnce)
{
    std::stop_source caller;
    std::promise<bool> sawStop;
    std::promise<int> discarded;
    std::thread canceller([&] {
        std::this_thread::sleep_for(30ms);
        caller.request_stop();
    });
    const auto began = std::chrono::steady_clock::now();
    EXPECT_THROW(speechBounded(
                     30.0, "finalization", [&](int late) { discarded.set_value(late); },
                     [&](std::stop_token stop) {
                         sawStop.set_value(stoppedWithin(stop, 5000ms));
                         return 1;
                     },
                     caller.get_token()),
                 CancellationError);
    canceller.join();
    EXPECT_LT(std::chrono::steady_clock::now() - began, 10s); // not the 30 s limit
    EXPECT_TRUE(sawStop.get_future().get());
    // The operation's value after the cancellation went to the discard action.
    EXPECT_EQ(discarded.get_future().get(), 1);
}

TEST(SpeechBounded, CallerCancelledBeforehandStartsNothing)
{
    std::stop_source caller;
    caller.request_stop();
    std::atomic<bool> ran{false};
    EXPECT_THROW(speechBounded(
                     30.0, "preparation", {},
                     [&](std::stop_token) {
                         ran = true;
                         return 0;
                     },
                     caller.get_token()),
                 CancellationError);
    std::this_thread::sleep_for(20ms);
    EXPECT_FALSE(ran);
}

TEST(CompletionGate, FirstOutcomeWinsAndLaterOnesAreRefused)
{
    CompletionGate<int> gate;
    std::promise<int> continuation;
    auto outcome = continuation.get_future();
    ASSERT_TRUE(gate.install(std::move(continuation)));
    std::stop_source work;
    std::stop_source timer;
    gate.setWork(work);
    gate.setTimer(timer);

    CompletionGate<int>::Result first(5);
    EXPECT_TRUE(gate.resolve(std::move(first)));
    EXPECT_TRUE(timer.stop_requested());
    EXPECT_FALSE(work.stop_requested()); // a value leaves the work alone
    CompletionGate<int>::Result second(6);
    EXPECT_FALSE(gate.resolve(std::move(second)));
    EXPECT_EQ(std::get<int>(second), 6); // refused results stay intact for the discard action
    gate.cancel();
    EXPECT_EQ(outcome.get(), 5);

    std::stop_source lateWork;
    gate.setWork(lateWork);
    EXPECT_TRUE(lateWork.stop_requested());
    std::promise<int> lateCaller;
    auto lateOutcome = lateCaller.get_future();
    EXPECT_FALSE(gate.install(std::move(lateCaller)));
    EXPECT_THROW(lateOutcome.get(), CancellationError);
}
