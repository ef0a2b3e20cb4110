#pragma once

#include "app/models/ModelError.h"
#include "app/models/ModelInstaller.h"

#include <QObject>

#include <chrono>
#include <functional>
#include <optional>
#include <stop_token>
#include <thread>

namespace kivo {

// One installer operation on a worker thread, so the panel never waits for a transfer, a
// checksum or a trial load. Progress and the outcome arrive on the thread of `this`.
class ModelTask : public QObject {
public:
    using Work = std::function<ModelInstaller::Result(const ModelInstaller::ProgressHandler&, const std::stop_token&)>;

    std::function<void(const ModelInstaller::Progress&)> onProgress;
    // Exactly one of the two is set.
    std::function<void(const std::optional<ModelInstaller::Result>&, const std::optional<ModelError>&)> onFinished;

    explicit ModelTask(QObject* parent = nullptr);
    // Stops the work and waits for it; nothing is reported after that.
    ~ModelTask() override;

    // Starts `work` unless one is running; returns whether it started.
    bool start(Work work);
    void cancel();
    bool running() const { return running_; }

private:
    void post(const ModelInstaller::Progress& progress);

    bool running_ = false;
    std::chrono::steady_clock::time_point lastPost_;
    std::jthread thread_;
};

} // namespace kivo
