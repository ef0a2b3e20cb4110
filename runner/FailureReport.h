#pragma once

#include "protocol/ErrorReport.h"

#include <exception>

namespace kivo {

namespace FailureReport {

// Renders the runner's own errors, the language model layer's errors and, as a last resort,
// any other exception.
ErrorReport of(const std::exception_ptr& failure);

} // namespace FailureReport
} // namespace kivo
