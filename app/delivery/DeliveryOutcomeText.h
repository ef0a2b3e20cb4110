#pragma once

#include "app/delivery/InputDelivery.h"

#include <QString>

namespace kivo::DeliveryOutcomeText {

// The status line's ending that tells the user how an insertion ended, in the interface language.
QString suffix(InputDelivery outcome);

} // namespace kivo::DeliveryOutcomeText
