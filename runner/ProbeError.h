#pragma once

#include "protocol/RunnerError.h"

#include <string>
#include <string_view>

namespace kivo {

// The run's own refusals. Like the platform's errors without a description of their own, they
// read "The operation couldn’t be completed. (rewrite_runner.Run.ProbeError error N.)".
class ProbeError : public RunnerError {
public:
    enum class Case {
        unavailable, // carries the model's availability description
        unsupportedLocale,
        budgetExceeded,
    };

    static ProbeError unavailable(std::string availability);
    static ProbeError unsupportedLocale();
    static ProbeError budgetExceeded();

    Case errorCase() const { return case_; }
    const std::string& availability() const { return availability_; }
    static std::string_view rawValue(Case errorCase);

    std::string typeName() const override;
    std::string debugDescription() const override;

private:
    ProbeError(Case errorCase, std::string availability);

    Case case_;
    std::string availability_;
};

} // namespace kivo
