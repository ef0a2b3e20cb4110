#include "app/delivery/InputDelivery.h"

namespace kivo {

std::string_view rawValue(InputDelivery delivery)
{
    switch (delivery) {
    case InputDelivery::inserted: return "inserted";
    case InputDelivery::permissionRequired: return "permissionRequired";
    case InputDelivery::noInput: return "noInput";
    case InputDelivery::noCheckableInput: return "noCheckableInput";
    case InputDelivery::passwordField: return "passwordField";
    case InputDelivery::unsupported: return "unsupported";
    case InputDelivery::changed: return "changed";
    case InputDelivery::uncertain: return "uncertain";
    case InputDelivery::notInserted: return "notInserted";
    }
    return "uncertain";
}

} // namespace kivo
