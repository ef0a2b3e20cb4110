#pragma once

#include "app/controller/PipeData.h"

#include <sys/types.h>

#include <array>
#include <condition_variable>
#include <filesystem>
#include <functional>
#include <latch>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace kivo {

// One rewrite-runner child with its three pipes (four when it reports progress). After launch three work items run on
// their own threads: one reads standard error, one reads standard output and waits for the exit, one writes the request
// and closes standard input. Reading both outputs while writing keeps the child from stalling on a full pipe.
class RunnerProcess {
public:
    struct Output {
        bool exitedNormally = false;
        // The exit status; for a child ended by a signal, that signal's number.
        int exitStatus = -1;
        std::string output;
        std::string error;
    };
    // Called once, on the output reader's thread, when the child has exited and both outputs
    // are complete.
    using Finished = std::function<void(Output)>;
    // Called on a reader thread as the runner reports how many answer tokens it has written of
    // how many expected; every report comes before Finished.
    using Progress = std::function<void(int written, int expected)>;

    class LaunchError : public std::runtime_error {
    public:
        LaunchError(const std::string& what, int code) : std::runtime_error(what), code_(code) {}
        int code() const { return code_; }

    private:
        int code_;
    };

    // background: the child runs only on processor time nobody else wants (SCHED_IDLE, or nice
    // 19 where that is refused), for work the user is not waiting for.
    enum class Priority {
        normal,
        background
    };

    // Creates the three pipes; throws LaunchError when it cannot.
    explicit RunnerProcess(std::filesystem::path executable, std::vector<std::string> arguments = {},
                           Priority priority = Priority::normal);
    // Kills a child still running and waits for the work items.
    ~RunnerProcess();
    RunnerProcess(const RunnerProcess&) = delete;
    RunnerProcess& operator=(const RunnerProcess&) = delete;

    // Starts the child (the arguments, inherited environment) and the three work items. With
    // `progress`, the runner also gets "--progress-fd 3" and a fourth item reads that pipe.
    void launch(std::string request, Finished finished, Progress progress = {});

    // SIGKILL to the child and anything it started, then waits until it has exited.
    void kill();
    bool hasExited() const;
    pid_t pid() const { return pid_; }

private:
    enum End {
        inputRead,
        inputWrite,
        outputRead,
        outputWrite,
        errorRead,
        errorWrite
    };

    void readError();
    void readProgress(Progress progress);
    void readOutputAndWait(Finished finished);
    void writeRequest(std::string request);
    void closeEnd(End end);

    std::filesystem::path executable_;
    std::vector<std::string> arguments_;
    Priority priority_;
    std::array<int, 6> ends_{-1, -1, -1, -1, -1, -1};
    pid_t pid_ = -1;

    mutable std::mutex mutex_;
    std::condition_variable exitCondition_;
    bool reaped_ = false;
    int waitStatus_ = 0;

    PipeData errorBytes_;
    std::latch errorDone_{1};
    int progressRead_ = -1;
    std::latch progressDone_{1};
    std::thread errorReader_;
    std::thread progressReader_;
    std::thread outputReader_;
    std::thread requestWriter_;
};

} // namespace kivo
