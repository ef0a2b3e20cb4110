#include "platform/updates/UpdateError.h"

namespace kivo {

UpdateError::UpdateError(Code code, const std::string& description) : UpdateError(serviceDomain, code, description) {}

UpdateError::UpdateError(std::string domain, int code, const std::string& description)
    : std::runtime_error(description), domain_(std::move(domain)), code_(code)
{
}

} // namespace kivo
