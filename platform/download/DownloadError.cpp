#include "platform/download/DownloadError.h"

namespace kivo {

DownloadError::DownloadError(Case kind, std::string description, long status)
    : std::runtime_error(std::move(description)), case_(kind), status_(status)
{
}

} // namespace kivo
