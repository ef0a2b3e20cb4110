#include "app/controller/RunnerProcess.h"

#include "platform/process/StandardStreams.h"

#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstring>

extern char** environ;

namespace kivo {
namespace {

// dup2 in the forked child; a descriptor already in place only loses its close-on-exec flag.
int placeAt(int descriptor, int target)
{
    return descriptor == target ? ::fcntl(target, F_SETFD, 0) : ::dup2(descriptor, target);
}

// The descriptor a runner writes its progress on.
constexpr int progressTarget = 3;

// "WRITTEN EXPECTED"; anything else is not a report.
bool parseProgress(std::string_view line, int& written, int& expected)
{
    const char* end = line.data() + line.size();
    const auto first = std::from_chars(line.data(), end, written);
    if (first.ec != std::errc{} || first.ptr == end || *first.ptr != ' ') {
        return false;
    }
    const auto second = std::from_chars(first.ptr + 1, end, expected);
    return second.ec == std::errc{} && second.ptr == end && written >= 0 && expected >= 0;
}

std::string describe(const std::string& what, int code)
{
    return what + ": " + std::strerror(code);
}

} // namespace

RunnerProcess::RunnerProcess(std::filesystem::path executable, std::vector<std::string> arguments, Priority priority)
    : executable_(std::move(executable)), arguments_(std::move(arguments)), priority_(priority)
{
    for (int pair = 0; pair < 3; ++pair) {
        int ends[2];
        if (::pipe2(ends, O_CLOEXEC) != 0) {
            const int code = errno;
            for (int& end : ends_) {
                if (end >= 0) {
                    ::close(end);
                    end = -1;
                }
            }
            throw LaunchError(describe("pipe", code), code);
        }
        ends_[static_cast<std::size_t>(pair * 2)] = ends[0];
        ends_[static_cast<std::size_t>(pair * 2 + 1)] = ends[1];
    }
}

RunnerProcess::~RunnerProcess()
{
    kill();
    for (std::thread* worker : {&errorReader_, &progressReader_, &outputReader_, &requestWriter_}) {
        if (worker->joinable()) {
            worker->join();
        }
    }
    for (int& end : ends_) {
        if (end >= 0) {
            ::close(end);
            end = -1;
        }
    }
    if (progressRead_ >= 0) {
        ::close(progressRead_);
    }
}

void RunnerProcess::closeEnd(End end)
{
    int& descriptor = ends_[end];
    if (descriptor >= 0) {
        ::close(descriptor);
        descriptor = -1;
    }
}

void RunnerProcess::launch(std::string request, Finished finished, Progress progress)
{
    // fork and exec by hand rather than posix_spawn: the child must ask for SIGKILL when Kivo
    // dies, however it dies, and only the child itself can ask. Everything between fork and
    // exec is async-signal-safe; an exec failure comes back as errno over a close-on-exec pipe.
    int status[2];
    if (::pipe2(status, O_CLOEXEC) != 0) {
        const int code = errno;
        throw LaunchError(describe("pipe", code), code);
    }
    int progressWrite = -1;
    if (progress) {
        int ends[2];
        if (::pipe2(ends, O_CLOEXEC) != 0) {
            const int code = errno;
            ::close(status[0]);
            ::close(status[1]);
            throw LaunchError(describe("pipe", code), code);
        }
        progressRead_ = ends[0];
        progressWrite = ends[1];
        // The progress pipe takes that descriptor in the child; the status pipe must not be there.
        if (status[1] == progressTarget) {
            const int moved = ::fcntl(status[1], F_DUPFD_CLOEXEC, progressTarget + 1);
            if (moved >= 0) {
                ::close(status[1]);
                status[1] = moved;
            }
        }
    }
    const std::string path = executable_.string();
    std::vector<std::string> given = arguments_;
    if (progress) {
        given.insert(given.end(), {"--progress-fd", std::to_string(progressTarget)});
    }
    std::vector<char*> arguments{const_cast<char*>(path.c_str())};
    for (const std::string& argument : given) {
        arguments.push_back(const_cast<char*>(argument.c_str()));
    }
    arguments.push_back(nullptr);
    const bool background = priority_ == Priority::background;
    const pid_t parent = ::getpid();

    // No handler of ours may run in the child before exec replaces it.
    sigset_t all;
    sigfillset(&all);
    sigset_t previous;
    pthread_sigmask(SIG_SETMASK, &all, &previous);
    const pid_t pid = ::fork();
    if (pid == 0) {
        for (int signal = 1; signal < NSIG; ++signal) {
            struct sigaction defaults {};
            defaults.sa_handler = SIG_DFL;
            ::sigaction(signal, &defaults, nullptr);
        }
        // Its own process group, so a kill also reaches whatever the runner started.
        ::setpgid(0, 0);
        // Delivered when the thread that forked exits: that is the main thread, which lives as
        // long as the process.
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        // Threads the runner starts inherit the policy.
        if (background) {
            const sched_param none{};
            if (::sched_setscheduler(0, SCHED_IDLE, &none) != 0) {
                ::setpriority(PRIO_PROCESS, 0, 19);
            }
        }
        // The parent may have died before the request took effect.
        if (::getppid() != parent) {
            ::_exit(127);
        }
        int code = 0;
        if (placeAt(ends_[inputRead], STDIN_FILENO) < 0 || placeAt(ends_[outputWrite], STDOUT_FILENO) < 0 ||
            placeAt(ends_[errorWrite], STDERR_FILENO) < 0 ||
            (progressWrite >= 0 && placeAt(progressWrite, progressTarget) < 0)) {
            code = errno;
        } else {
            sigset_t none;
            sigemptyset(&none);
            ::sigprocmask(SIG_SETMASK, &none, nullptr);
            ::execve(path.c_str(), arguments.data(), environ);
            code = errno;
        }
        while (::write(status[1], &code, sizeof code) < 0 && errno == EINTR) {
        }
        ::_exit(127);
    }
    const int forkError = errno;
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    ::close(status[1]);
    if (progressWrite >= 0) {
        ::close(progressWrite);
    }
    if (pid < 0) {
        ::close(status[0]);
        throw LaunchError(describe(path, forkError), forkError);
    }
    // Also here, so that a kill right after launch already reaches the group.
    ::setpgid(pid, pid);
    int childError = 0;
    ssize_t count = 0;
    while ((count = ::read(status[0], &childError, sizeof childError)) < 0 && errno == EINTR) {
    }
    ::close(status[0]);
    if (count > 0) {
        while (::waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
        }
        throw LaunchError(describe(path, childError), childError);
    }
    pid_ = pid;
    // The child holds its own copies; ours would keep the outputs from ever ending.
    closeEnd(inputRead);
    closeEnd(outputWrite);
    closeEnd(errorWrite);

    errorReader_ = std::thread([this] { readError(); });
    if (progress) {
        progressReader_ =
            std::thread([this, progress = std::move(progress)]() mutable { readProgress(std::move(progress)); });
    } else {
        progressDone_.count_down();
    }
    outputReader_ =
        std::thread([this, finished = std::move(finished)]() mutable { readOutputAndWait(std::move(finished)); });
    requestWriter_ = std::thread([this, request = std::move(request)]() mutable { writeRequest(std::move(request)); });
}

void RunnerProcess::readError()
{
    errorBytes_.store(StandardStreams::readAll(ends_[errorRead]));
    closeEnd(errorRead);
    errorDone_.count_down();
}

void RunnerProcess::readProgress(Progress progress)
{
    std::string pending;
    char buffer[4096];
    for (;;) {
        const ssize_t count = ::read(progressRead_, buffer, sizeof buffer);
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count <= 0) {
            break;
        }
        pending.append(buffer, static_cast<std::size_t>(count));
        std::size_t newline = 0;
        while ((newline = pending.find('\n')) != std::string::npos) {
            int written = 0;
            int expected = 0;
            if (parseProgress(std::string_view(pending).substr(0, newline), written, expected)) {
                progress(written, expected);
            }
            pending.erase(0, newline + 1);
        }
        // Reports are short lines; endless bytes without one are not kept.
        if (pending.size() > 64) {
            pending.clear();
        }
    }
    progressDone_.count_down();
}

void RunnerProcess::readOutputAndWait(Finished finished)
{
    Output result;
    result.output = StandardStreams::readAll(ends_[outputRead]);
    closeEnd(outputRead);

    // Wait without reaping first, so that kill() never signals a process id already reused.
    siginfo_t info{};
    while (::waitid(P_PID, static_cast<id_t>(pid_), &info, WEXITED | WNOWAIT) != 0 && errno == EINTR) {
    }
    {
        const std::lock_guard guard(mutex_);
        int status = 0;
        while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
        }
        waitStatus_ = status;
        reaped_ = true;
    }
    exitCondition_.notify_all();

    errorDone_.wait();
    progressDone_.wait();
    result.error = errorBytes_.value();
    result.exitedNormally = WIFEXITED(waitStatus_);
    result.exitStatus = result.exitedNormally      ? WEXITSTATUS(waitStatus_)
                        : WIFSIGNALED(waitStatus_) ? WTERMSIG(waitStatus_)
                                                   : -1;
    finished(std::move(result));
}

void RunnerProcess::writeRequest(std::string request)
{
    // A runner that exits without reading must not take the app down with SIGPIPE: block it on
    // this thread and take the pending signal back after the failed write.
    sigset_t pipeSignal;
    sigemptyset(&pipeSignal);
    sigaddset(&pipeSignal, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipeSignal, nullptr);

    const int descriptor = ends_[inputWrite];
    std::size_t written = 0;
    while (written < request.size()) {
        const ssize_t count = ::write(descriptor, request.data() + written, request.size() - written);
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count <= 0) {
            if (errno == EPIPE) {
                const timespec now{};
                ::sigtimedwait(&pipeSignal, nullptr, &now);
            }
            break;
        }
        written += static_cast<std::size_t>(count);
    }
    closeEnd(inputWrite);
}

void RunnerProcess::kill()
{
    std::unique_lock guard(mutex_);
    if (pid_ <= 0 || reaped_) {
        return;
    }
    if (::kill(-pid_, SIGKILL) != 0) {
        ::kill(pid_, SIGKILL);
    }
    exitCondition_.wait(guard, [this] { return reaped_; });
}

bool RunnerProcess::hasExited() const
{
    const std::lock_guard guard(mutex_);
    return reaped_;
}

} // namespace kivo
