#include "runner/ProbeError.h"

#include "protocol/DebugText.h"

namespace kivo {
namespace {

constexpr const char* qualifiedName = "rewrite_runner.Run.ProbeError";

std::string describe(ProbeError::Case errorCase)
{
    return "The operation couldn\u2019t be completed. (" + std::string(qualifiedName) + " error " +
           std::to_string(static_cast<int>(errorCase)) + ".)";
}

} // namespace

ProbeError::ProbeError(Case errorCase, std::string availability)
    : RunnerError(describe(errorCase)), case_(errorCase), availability_(std::move(availability))
{
}

ProbeError ProbeError::unavailable(std::string availability)
{
    return ProbeError(Case::unavailable, std::move(availability));
}
ProbeError ProbeError::unsupportedLocale()
{
    return ProbeError(Case::unsupportedLocale, {});
}
ProbeError ProbeError::budgetExceeded()
{
    return ProbeError(Case::budgetExceeded, {});
}

std::string_view ProbeError::rawValue(Case errorCase)
{
    switch (errorCase) {
    case Case::unavailable: return "unavailable";
    case Case::unsupportedLocale: return "unsupportedLocale";
    case Case::budgetExceeded: return "budgetExceeded";
    }
    return "unknown";
}

std::string ProbeError::typeName() const
{
    return qualifiedName;
}

std::string ProbeError::debugDescription() const
{
    std::string text = "ProbeError." + std::string(rawValue(case_));
    if (case_ == Case::unavailable) {
        text += "(" + DebugText::quoted(availability_) + ")";
    }
    return text;
}

} // namespace kivo
