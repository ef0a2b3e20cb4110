#include "platform/modelavailability/Availability.h"

namespace kivo {

Availability Availability::unavailable(UnavailableReason reason, std::string detail)
{
    Availability value;
    value.reason = reason;
    value.detail = std::move(detail);
    return value;
}

std::string_view Availability::rawValue(UnavailableReason reason)
{
    switch (reason) {
    case UnavailableReason::cpuUnsupported: return "cpuUnsupported";
    case UnavailableReason::runtimeUnavailable: return "runtimeUnavailable";
    case UnavailableReason::modelNotFound: return "modelNotFound";
    case UnavailableReason::modelUnreadable: return "modelUnreadable";
    case UnavailableReason::modelInvalid: return "modelInvalid";
    }
    return "unknown";
}

std::optional<Availability::UnavailableReason> Availability::reasonFromRawValue(std::string_view raw)
{
    for (const auto reason :
         {UnavailableReason::cpuUnsupported, UnavailableReason::runtimeUnavailable, UnavailableReason::modelNotFound,
          UnavailableReason::modelUnreadable, UnavailableReason::modelInvalid}) {
        if (rawValue(reason) == raw) {
            return reason;
        }
    }
    return std::nullopt;
}

std::string Availability::explanation() const
{
    if (!reason) {
        return {};
    }
    std::string text(rawValue(*reason));
    if (!detail.empty()) {
        text += ": ";
        text += detail;
    }
    return text;
}

std::string Availability::description() const
{
    return reason ? "unavailable(" + explanation() + ")" : "available";
}

std::optional<Availability> Availability::fromDescription(std::string_view text)
{
    if (text == "available") {
        return available();
    }
    constexpr std::string_view opening = "unavailable(";
    if (!text.starts_with(opening) || !text.ends_with(')')) {
        return std::nullopt;
    }
    const std::string_view inner = text.substr(opening.size(), text.size() - opening.size() - 1);
    const auto colon = inner.find(": ");
    const auto reason = reasonFromRawValue(inner.substr(0, colon));
    if (!reason) {
        return std::nullopt;
    }
    return unavailable(*reason, colon == std::string_view::npos ? std::string() : std::string(inner.substr(colon + 2)));
}

} // namespace kivo
