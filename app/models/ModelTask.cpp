#include "app/models/ModelTask.h"

#include <QMetaObject>

namespace kivo {

ModelTask::ModelTask(QObject* parent) : QObject(parent) {}

ModelTask::~ModelTask()
{
    if (thread_.joinable()) {
        thread_.request_stop();
        thread_.join();
    }
}

bool ModelTask::start(Work work)
{
    if (running_) {
        return false;
    }
    if (thread_.joinable()) {
        thread_.join();
    }
    running_ = true;
    lastPost_ = {};
    thread_ = std::jthread([this, work = std::move(work)](const std::stop_token& stop) {
        std::optional<ModelInstaller::Result> result;
        std::optional<ModelError> failure;
        try {
            result = work([this](const ModelInstaller::Progress& progress) { post(progress); }, stop);
        } catch (const ModelError& error) {
            failure = error;
        } catch (const std::exception& error) {
            failure = ModelError(ModelError::Case::fileFailed, error.what(), error.what());
        }
        // Queued on `this`: dropped if the task is destroyed first.
        QMetaObject::invokeMethod(
            this,
            [this, result, failure] {
                running_ = false;
                if (onFinished) {
                    onFinished(result, failure);
                }
            },
            Qt::QueuedConnection);
    });
    return true;
}

void ModelTask::cancel()
{
    thread_.request_stop();
}

void ModelTask::post(const ModelInstaller::Progress& progress)
{
    // Runs on the worker: at most about ten updates a second reach the window, and always
    // the last byte and the change of phase.
    const auto now = std::chrono::steady_clock::now();
    const bool last = progress.total != 0 && progress.received >= progress.total;
    if (!last && progress.phase == ModelInstaller::Progress::Phase::downloading &&
        now - lastPost_ < std::chrono::milliseconds(100)) {
        return;
    }
    lastPost_ = now;
    QMetaObject::invokeMethod(
        this,
        [this, progress] {
            if (onProgress) {
                onProgress(progress);
            }
        },
        Qt::QueuedConnection);
}

} // namespace kivo
