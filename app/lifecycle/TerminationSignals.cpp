#include "app/lifecycle/TerminationSignals.h"

#include <QSocketNotifier>

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdlib>
#include <utility>

namespace kivo {
namespace {

constexpr std::array handled{SIGTERM, SIGHUP, SIGINT};

int wakeWrite = -1;
int wakeRead = -1;
// Built before main, so it is destroyed only after the exit hook has run.
std::function<void()> abruptExit;
bool exitHookRegistered = false;

void onSignal(int signal)
{
    const int saved = errno;
    const char byte = static_cast<char>(signal);
    [[maybe_unused]] const ssize_t ignored = ::write(wakeWrite, &byte, 1);
    errno = saved;
}

void atExit()
{
    if (abruptExit) {
        std::exchange(abruptExit, nullptr)();
    }
}

} // namespace

TerminationSignals::TerminationSignals(std::function<void()> onQuitRequest, std::function<void()> onAbruptExit)
    : onQuitRequest_(std::move(onQuitRequest))
{
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC | O_NONBLOCK) == 0) {
        wakeRead = ends[0];
        wakeWrite = ends[1];
        notifier_ = std::make_unique<QSocketNotifier>(wakeRead, QSocketNotifier::Read);
        connect(notifier_.get(), &QSocketNotifier::activated, this, [this] { receive(); });
        for (const int signal : handled) {
            struct sigaction action {};
            action.sa_handler = onSignal;
            sigemptyset(&action.sa_mask);
            action.sa_flags = SA_RESTART;
            ::sigaction(signal, &action, nullptr);
        }
    }
    abruptExit = std::move(onAbruptExit);
    if (!exitHookRegistered) {
        exitHookRegistered = std::atexit(atExit) == 0;
    }
}

TerminationSignals::~TerminationSignals()
{
    // After an ordinary quit nothing is left for exit() to do.
    abruptExit = nullptr;
    for (const int signal : handled) {
        ::signal(signal, SIG_DFL);
    }
    notifier_.reset();
    if (wakeRead >= 0) {
        ::close(wakeRead);
        ::close(wakeWrite);
        wakeRead = wakeWrite = -1;
    }
}

bool TerminationSignals::installed()
{
    return wakeRead >= 0;
}

void TerminationSignals::receive()
{
    char buffer[16];
    while (::read(wakeRead, buffer, sizeof buffer) > 0) {
    }
    if (onQuitRequest_) {
        onQuitRequest_();
    }
}

} // namespace kivo
