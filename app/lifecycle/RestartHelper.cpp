#include "app/lifecycle/RestartHelper.h"

#include "platform/bundle/AppBundle.h"
#include "platform/bundle/DetachedProcess.h"

#include <string>

namespace kivo::RestartHelper {

QString RestartError::message() const
{
    if (reason_ == Reason::helperMissing) {
        return tr("Restart helper is missing. Rebuild the app.");
    }
    return tr("Could not restart: %1").arg(QString::fromStdString(what()));
}

void start(const std::filesystem::path& resourcesDirectory, pid_t processId, const std::filesystem::path& target)
{
    const auto helper = resourcesDirectory / fileName;
    if (!isExecutableFile(helper)) {
        throw RestartError(RestartError::Reason::helperMissing, helper.string());
    }
    try {
        DetachedProcess::start(helper, {std::to_string(processId), target.string()});
    } catch (const DetachedProcess::StartError& error) {
        throw RestartError(RestartError::Reason::startFailed, error.what());
    }
}

} // namespace kivo::RestartHelper
