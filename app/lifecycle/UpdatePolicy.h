#pragma once

#include <QString>

namespace kivo::UpdatePolicy {

// Updates are checked and installed only while nothing else runs.
bool canCheck(bool processing, bool recording, bool delivering, bool restarting);
// Installing relaunches the app, which loses both texts.
bool needsContentConfirmation(const QString& source, const QString& result);

} // namespace kivo::UpdatePolicy
