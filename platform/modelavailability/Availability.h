#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace kivo {

// Whether the on-device language model can be used, and if not, why.
struct Availability {
    enum class UnavailableReason {
        cpuUnsupported,     // the processor lacks the instruction set the runtime was built for
        runtimeUnavailable, // the model runtime's CPU backend could not be loaded
        modelNotFound,      // no model file in any of the searched places
        modelUnreadable,    // the file exists but cannot be opened
        modelInvalid,       // the file is not a loadable GGUF chat model
    };

    std::optional<UnavailableReason> reason; // empty when available
    std::string detail;                      // what was looked at, for the description

    static Availability available() { return {}; }
    static Availability unavailable(UnavailableReason reason, std::string detail);
    static std::string_view rawValue(UnavailableReason reason);
    static std::optional<UnavailableReason> reasonFromRawValue(std::string_view raw);

    bool isAvailable() const { return !reason.has_value(); }
    bool operator==(const Availability&) const = default;

    // "available", or "unavailable(<reason>: <detail>)".
    std::string description() const;
    // "<reason>: <detail>", or the reason alone when there is no detail; empty when available.
    std::string explanation() const;
    // The inverse of description(); nullopt for any other text.
    static std::optional<Availability> fromDescription(std::string_view text);
};

} // namespace kivo
