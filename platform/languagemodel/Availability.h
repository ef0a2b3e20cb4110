#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace kivo {

// Whether the on-device language model can be used, and if not, why.
struct Availability {
    enum class UnavailableReason {
        cpuUnsupported,      // the processor lacks the instruction set the runtime was built for
        runtimeUnavailable,  // the model runtime's CPU backend could not be loaded
        modelNotFound,       // no model file in any of the searched places
        modelUnreadable,     // the file exists but cannot be opened
        modelInvalid,        // the file is not a loadable GGUF chat model
    };

    std::optional<UnavailableReason> reason;  // empty when available
    std::string detail;                       // what was looked at, for the description

    static Availability available() { return {}; }
    static Availability unavailable(UnavailableReason reason, std::string detail);
    static std::string_view rawValue(UnavailableReason reason);

    bool isAvailable() const { return !reason.has_value(); }

    // "available", or "unavailable(<reason>: <detail>)".
    std::string description() const;
};

}  // namespace kivo
