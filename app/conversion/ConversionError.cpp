#include "app/conversion/ConversionError.h"

#include <utility>

namespace kivo {

namespace {

std::string shortTypeName(const std::string& qualified)
{
    const auto dot = qualified.rfind('.');
    return dot == std::string::npos ? qualified : qualified.substr(dot + 1);
}

} // namespace

ConversionError::ConversionError(std::string typeName, std::string caseName, int code,
                                 std::optional<std::string> description)
    : std::runtime_error(shortTypeName(typeName) + "." + caseName), typeName_(std::move(typeName)),
      caseName_(std::move(caseName)), code_(code), description_(std::move(description))
{
}

std::string ConversionError::localizedDescription() const
{
    if (description_) {
        return *description_;
    }
    return "The operation couldn\u2019t be completed. (" + typeName_ + " error " + std::to_string(code_) + ".)";
}

} // namespace kivo
