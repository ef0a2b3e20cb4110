#pragma once

#include <optional>
#include <stdexcept>
#include <string>

namespace kivo {

// Base of every error the conversion layer throws. Each error is one case of a typed
// enumeration; the caller shows localizedDescription() to the user.
class ConversionError : public std::runtime_error {
public:
    // typeName is qualified ("Kivo.LiteralMasking.ProtectionError"); code is the case's index.
    ConversionError(std::string typeName, std::string caseName, int code,
                    std::optional<std::string> description = std::nullopt);

    const std::string& typeName() const { return typeName_; }
    const std::string& caseName() const { return caseName_; }
    int code() const { return code_; }

    // The error's own description, or the generic wording used for errors that have none.
    std::string localizedDescription() const;

private:
    std::string typeName_;
    std::string caseName_;
    int code_;
    std::optional<std::string> description_;
};

} // namespace kivo
