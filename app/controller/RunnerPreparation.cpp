#include "app/controller/RunnerPreparation.h"

#include "app/controller/MainThreadCall.h"
#include "app/controller/RunnerProcess.h"

#include <QPointer>

namespace kivo {

RunnerPreparation::RunnerPreparation(std::filesystem::path runner) : runner_(std::move(runner)) {}

RunnerPreparation::~RunnerPreparation()
{
    stop();
}

void RunnerPreparation::start(std::vector<std::string> requests)
{
    stop();
    pending_.assign(std::make_move_iterator(requests.begin()), std::make_move_iterator(requests.end()));
    launchNext();
}

void RunnerPreparation::stop()
{
    ++run_;
    pending_.clear();
    if (process_) {
        process_->kill();
        process_.reset();
    }
}

pid_t RunnerPreparation::pid() const
{
    return process_ ? process_->pid() : -1;
}

void RunnerPreparation::launchNext()
{
    if (pending_.empty()) {
        return;
    }
    std::string request = std::move(pending_.front());
    pending_.pop_front();
    const unsigned run = ++run_;
    try {
        process_ = std::make_unique<RunnerProcess>(runner_, std::vector<std::string>{"--prepare"},
                                                   RunnerProcess::Priority::background);
        // The completion hops to the main thread and does nothing once this object is gone.
        QPointer<RunnerPreparation> weak(this);
        process_->launch(std::move(request), [weak, run](const RunnerProcess::Output&) {
            callOnMainThread(weak, [run](RunnerPreparation& preparation) { preparation.finished(run); });
        });
    } catch (const RunnerProcess::LaunchError&) {
        // Nothing is lost: the conversion reads the instructions itself.
        process_.reset();
        pending_.clear();
    }
}

void RunnerPreparation::finished(unsigned run)
{
    if (run != run_) {
        return;
    }
    process_.reset();
    launchNext();
}

} // namespace kivo
