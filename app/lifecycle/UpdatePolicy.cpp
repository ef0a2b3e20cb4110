#include "app/lifecycle/UpdatePolicy.h"

namespace kivo::UpdatePolicy {

bool canCheck(bool processing, bool recording, bool delivering, bool restarting)
{
    return !processing && !recording && !delivering && !restarting;
}

bool needsContentConfirmation(const QString& source, const QString& result)
{
    return !source.isEmpty() || !result.isEmpty();
}

} // namespace kivo::UpdatePolicy
