#pragma once

#include "protocol/RunnerError.h"

#include <string>
#include <string_view>

namespace kivo {

// A request that does not decode.
class DecodingError : public RunnerError {
public:
    enum class Case {
        dataCorrupted, // not JSON, or not UTF-8
        keyNotFound,   // a required key is missing
        valueNotFound, // a required key holds null
        typeMismatch,  // a value (or the whole input) has the wrong JSON type
    };

    // key is empty when the problem is the whole input.
    DecodingError(Case errorCase, std::string key, std::string message);

    Case errorCase() const { return case_; }
    const std::string& key() const { return key_; }
    static std::string_view rawValue(Case errorCase);

    std::string typeName() const override;
    std::string debugDescription() const override;

private:
    Case case_;
    std::string key_;
    std::string message_;
};

} // namespace kivo
