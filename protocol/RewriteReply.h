#pragma once

#include "platform/modelavailability/Availability.h"
#include "protocol/ErrorReport.h"
#include "protocol/TokenBudget.h"

#include <optional>
#include <string>
#include <string_view>

namespace kivo {

// The runner's answer, one JSON line on its standard output; absent fields are left out.
struct RewriteReply {
    // prepared and unprepared answer only a preparation run.
    enum class Status {
        generated,
        empty,
        error,
        prepared,
        unprepared
    };
    static const char* rawValue(Status status);
    static std::optional<Status> statusFromRawValue(std::string_view raw);

    std::string model = "SystemLanguageModel.default";
    std::string startedAt;
    std::optional<Availability> availability;
    std::optional<TokenBudget> tokens;
    std::optional<std::string> text;
    std::optional<std::string> rawStructuredOutput;
    std::optional<int> outputTokens;
    // A preparation run: tokens of the prompt's constant start now kept, or why none are.
    std::optional<int> prefixTokens;
    std::optional<std::string> reason;
    Status status = Status::error;
    std::optional<ErrorReport> failure;
    std::optional<double> elapsedSeconds; // written as 0 when unset

    // One line: compact JSON, keys sorted, "/" escaped, ending in a line feed. Text that is not
    // valid UTF-8 is repaired first, so this never fails.
    std::string jsonLine() const;

    // The reply in the runner's output. Fields of the wrong type count as absent, an unknown
    // status as an error and an unknown availability as none; nullopt unless the output is
    // one JSON object.
    static std::optional<RewriteReply> read(std::string_view output);

    bool operator==(const RewriteReply&) const = default;
};

} // namespace kivo
