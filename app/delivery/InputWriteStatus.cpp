#include "app/delivery/InputWriteStatus.h"

namespace kivo {

std::string_view rawValue(InputWriteStatus status)
{
    switch (status) {
    case InputWriteStatus::accepted: return "accepted";
    case InputWriteStatus::failed: return "failed";
    case InputWriteStatus::unsupported: return "unsupported";
    case InputWriteStatus::changed: return "changed";
    }
    return "failed";
}

} // namespace kivo
