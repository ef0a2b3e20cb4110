#include "platform/accessibility/AccessibilityThread.h"

#include <atspi/atspi.h>

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

namespace kivo::AccessibilityThread {

namespace {

// Milliseconds libatspi waits for one answer of another application.
constexpr int answerLimitMs = 300;

struct State {
    std::mutex mutex;
    std::condition_variable finished;
    std::uint64_t issued = 0;    // waited tasks handed to the thread
    std::uint64_t done = 0;      // of those, finished (they finish in order)
    std::uint64_t abandoned = 0; // the last one its caller stopped waiting for
    GMainContext* context = nullptr;
    std::thread::id id;
};

// libatspi attaches the direct connections it opens to applications to the default context,
// which no thread of ours iterates (see GuiEventLoop); moving everything away and back brings
// them over here, where their signals are handled.
void keepConnectionsHere(GMainContext* context)
{
    atspi_set_main_context(g_main_context_default());
    atspi_set_main_context(context);
}

void serve(State& state)
{
    g_main_context_push_thread_default(state.context);
    atspi_init();
    atspi_set_main_context(state.context);
    atspi_set_timeout(answerLimitMs, answerLimitMs);
    GMainLoop* loop = g_main_loop_new(state.context, FALSE);
    // Runs for the life of the process: messages of the bus are handled here between calls.
    g_main_loop_run(loop);
}

State& state()
{
    // Never destroyed: at exit the thread may still be inside a call that does not return.
    static State* const instance = [] {
        auto owned = std::make_unique<State>();
        owned->context = g_main_context_new();
        std::thread thread([s = owned.get()] { serve(*s); });
        owned->id = thread.get_id();
        thread.detach();
        return owned.release();
    }();
    return *instance;
}

void invoke(State& s, std::function<void()> work)
{
    auto* task = std::make_unique<std::function<void()>>(std::move(work)).release();
    g_main_context_invoke_full(
        s.context, G_PRIORITY_DEFAULT,
        [](gpointer data) -> gboolean {
            (*static_cast<std::function<void()>*>(data))();
            return G_SOURCE_REMOVE;
        },
        task, [](gpointer data) { std::unique_ptr<std::function<void()>>(static_cast<std::function<void()>*>(data)); });
}

} // namespace

bool isCurrent()
{
    return std::this_thread::get_id() == state().id;
}

void post(std::function<void()> work)
{
    State& s = state();
    if (isCurrent()) {
        work();
        return;
    }
    invoke(s, std::move(work));
}

bool run(std::function<void()> work, std::chrono::milliseconds limit)
{
    State& s = state();
    if (isCurrent()) {
        work();
        return true;
    }
    std::unique_lock lock(s.mutex);
    if (s.done < s.abandoned) {
        return false;
    }
    const std::uint64_t ticket = ++s.issued;
    lock.unlock();
    invoke(s, [&s, ticket, work = std::move(work)] {
        work();
        keepConnectionsHere(s.context);
        const std::lock_guard done(s.mutex);
        s.done = ticket;
        s.finished.notify_all();
    });
    lock.lock();
    if (s.finished.wait_for(lock, limit, [&] { return s.done >= ticket; })) {
        return true;
    }
    s.abandoned = ticket;
    return false;
}

} // namespace kivo::AccessibilityThread
