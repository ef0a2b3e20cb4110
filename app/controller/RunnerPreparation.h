#pragma once

#include <QObject>

#include <sys/types.h>

#include <deque>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace kivo {

class RunnerProcess;

// Background runs of `rewrite-runner --prepare`: each keeps the model's state after the constant
// start of one request's prompt, so that the first conversion in a mode does not read the
// instructions first. At most one runs at a time, on idle processor time only; their replies
// are not shown anywhere. Lives on the main thread.
class RunnerPreparation : public QObject {
public:
    explicit RunnerPreparation(std::filesystem::path runner);
    // Kills a run in progress and waits for it.
    ~RunnerPreparation() override;
    RunnerPreparation(const RunnerPreparation&) = delete;
    RunnerPreparation& operator=(const RunnerPreparation&) = delete;

    // Replaces whatever was running or waiting by runs of these requests, one after another.
    void start(std::vector<std::string> requests);
    // Kills the run in progress, waits until it has ended, and drops those not yet started.
    void stop();

    bool running() const { return process_ != nullptr; }
    // The process id of the run in progress, or -1 (for tests).
    pid_t pid() const;

private:
    void launchNext();
    void finished(unsigned run);

    std::filesystem::path runner_;
    std::deque<std::string> pending_;
    std::unique_ptr<RunnerProcess> process_;
    // Tells a completion that arrives after its run was replaced to do nothing.
    unsigned run_ = 0;
};

} // namespace kivo
