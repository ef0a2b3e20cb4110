#include "platform/languagemodel/Availability.h"

namespace kivo {

Availability Availability::unavailable(UnavailableReason reason, std::string detail) {
    Availability value;
    value.reason = reason;
    value.detail = std::move(detail);
    return value;
}

std::string_view Availability::rawValue(UnavailableReason reason) {
    switch (reason) {
    case UnavailableReason::cpuUnsupported: return "cpuUnsupported";
    case UnavailableReason::runtimeUnavailable: return "runtimeUnavailable";
    case UnavailableReason::modelNotFound: return "modelNotFound";
    case UnavailableReason::modelUnreadable: return "modelUnreadable";
    case UnavailableReason::modelInvalid: return "modelInvalid";
    }
    return "unknown";
}

std::string Availability::description() const {
    if (!reason) {
        return "available";
    }
    std::string text = "unavailable(";
    text += rawValue(*reason);
    if (!detail.empty()) {
        text += ": ";
        text += detail;
    }
    text += ")";
    return text;
}

}  // namespace kivo
