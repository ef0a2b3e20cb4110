#pragma once

#include <string_view>

namespace kivo {

// Result of one whole insertion into the focused input of another application.
enum class InputDelivery {
    inserted,
    permissionRequired,
    noInput,
    noCheckableInput,
    passwordField,
    unsupported,
    changed,
    uncertain,
    // The write was accepted, yet every read-back still showed the input as it was before.
    notInserted,
};

std::string_view rawValue(InputDelivery delivery);

} // namespace kivo
