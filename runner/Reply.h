#pragma once

#include "runner/ErrorReport.h"
#include "runner/TokenBudget.h"

#include <optional>
#include <string>

namespace kivo {

// The reply object; absent fields are left out of the JSON.
struct Reply {
    // prepared and unprepared answer only a preparation run (Run::prepare).
    enum class Status { generated, empty, error, prepared, unprepared };
    static const char* rawValue(Status status);

    std::string model = "SystemLanguageModel.default";
    std::string startedAt;
    std::optional<std::string> availability;
    std::optional<TokenBudget> tokens;
    std::optional<std::string> text;
    std::optional<std::string> rawStructuredOutput;
    std::optional<int> outputTokens;
    // A preparation run: tokens of the prompt's constant start now kept, or why none are.
    std::optional<int> prefixTokens;
    std::optional<std::string> reason;
    Status status = Status::error;
    std::optional<ErrorReport> failure;
    double elapsedSeconds = 0.0;

    // One line: compact JSON, keys sorted, "/" escaped, ending in a line feed. Text that is not
    // valid UTF-8 is repaired first, so this never fails.
    std::string jsonLine() const;
};

}  // namespace kivo
