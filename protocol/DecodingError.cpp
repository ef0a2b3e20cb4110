#include "protocol/DecodingError.h"

#include "protocol/DebugText.h"

namespace kivo {
namespace {

std::string describe(DecodingError::Case errorCase)
{
    switch (errorCase) {
    case DecodingError::Case::keyNotFound:
    case DecodingError::Case::valueNotFound: return "The data couldn\u2019t be read because it is missing.";
    case DecodingError::Case::dataCorrupted:
    case DecodingError::Case::typeMismatch: break;
    }
    return "The data couldn\u2019t be read because it isn\u2019t in the correct format.";
}

} // namespace

DecodingError::DecodingError(Case errorCase, std::string key, std::string message)
    : RunnerError(describe(errorCase)), case_(errorCase), key_(std::move(key)), message_(std::move(message))
{
}

std::string_view DecodingError::rawValue(Case errorCase)
{
    switch (errorCase) {
    case Case::dataCorrupted: return "dataCorrupted";
    case Case::keyNotFound: return "keyNotFound";
    case Case::valueNotFound: return "valueNotFound";
    case Case::typeMismatch: return "typeMismatch";
    }
    return "unknown";
}

std::string DecodingError::typeName() const
{
    return "rewrite_runner.DecodingError";
}

std::string DecodingError::debugDescription() const
{
    std::string payload = key_.empty() ? "" : DebugText::quoted(key_) + ", ";
    return "DecodingError." + std::string(rawValue(case_)) + "(" + payload + DebugText::quoted(message_) + ")";
}

} // namespace kivo
