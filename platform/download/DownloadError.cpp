#include "platform/download/DownloadError.h"

namespace kivo {

DownloadError::DownloadError(Case kind, const std::string& description, long status)
    : std::runtime_error(description), case_(kind), status_(status)
{
}

} // namespace kivo
