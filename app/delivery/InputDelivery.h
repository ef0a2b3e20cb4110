#pragma once

#include <string_view>

namespace kivo {

// Result of one whole insertion into the focused input of another application.
enum class InputDelivery { inserted, permissionRequired, noInput, noCheckableInput, unsupported, changed, uncertain };

std::string_view rawValue(InputDelivery delivery);

} // namespace kivo
