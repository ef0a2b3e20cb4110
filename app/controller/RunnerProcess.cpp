#include "app/controller/RunnerProcess.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

extern char** environ;

namespace kivo {
namespace {

std::string readToEnd(int descriptor)
{
    std::string data;
    char buffer[65536];
    for (;;) {
        const ssize_t count = ::read(descriptor, buffer, sizeof buffer);
        if (count > 0) {
            data.append(buffer, static_cast<std::size_t>(count));
        } else if (count == 0 || errno != EINTR) {
            return data;
        }
    }
}

std::string describe(const std::string& what, int code)
{
    return what + ": " + std::strerror(code);
}

} // namespace

RunnerProcess::RunnerProcess(std::filesystem::path executable) : executable_(std::move(executable))
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
    for (std::thread* worker : {&errorReader_, &outputReader_, &requestWriter_}) {
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
}

void RunnerProcess::closeEnd(End end)
{
    int& descriptor = ends_[end];
    if (descriptor >= 0) {
        ::close(descriptor);
        descriptor = -1;
    }
}

void RunnerProcess::launch(std::string request, Finished finished)
{
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, ends_[inputRead], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, ends_[outputWrite], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, ends_[errorWrite], STDERR_FILENO);

    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t none;
    sigemptyset(&none);
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    // Its own process group, so a kill also reaches whatever the runner started.
    posix_spawnattr_setpgroup(&attributes, 0);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETPGROUP);

    const std::string path = executable_.string();
    char* const arguments[] = {const_cast<char*>(path.c_str()), nullptr};
    pid_t pid = -1;
    const int code = ::posix_spawn(&pid, path.c_str(), &actions, &attributes, arguments, environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    if (code != 0) {
        throw LaunchError(describe(path, code), code);
    }
    pid_ = pid;
    // The child holds its own copies; ours would keep the outputs from ever ending.
    closeEnd(inputRead);
    closeEnd(outputWrite);
    closeEnd(errorWrite);

    errorReader_ = std::thread([this] { readError(); });
    outputReader_ = std::thread([this, finished = std::move(finished)]() mutable {
        readOutputAndWait(std::move(finished));
    });
    requestWriter_ = std::thread([this, request = std::move(request)]() mutable {
        writeRequest(std::move(request));
    });
}

void RunnerProcess::readError()
{
    errorBytes_.store(readToEnd(ends_[errorRead]));
    closeEnd(errorRead);
    errorDone_.count_down();
}

void RunnerProcess::readOutputAndWait(Finished finished)
{
    Output result;
    result.output = readToEnd(ends_[outputRead]);
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
    result.error = errorBytes_.value();
    result.exitedNormally = WIFEXITED(waitStatus_);
    result.exitStatus = result.exitedNormally ? WEXITSTATUS(waitStatus_) : -1;
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
