#include "runner/Reply.h"

#include "platform/json/JsonText.h"
#include "runner/Utf8Text.h"

#include <nlohmann/json.hpp>

namespace kivo {

const char* Reply::rawValue(Status status) {
    switch (status) {
    case Status::generated: return "generated";
    case Status::empty: return "empty";
    case Status::error: return "error";
    case Status::prepared: return "prepared";
    case Status::unprepared: return "unprepared";
    }
    return "error";
}

std::string Reply::jsonLine() const {
    auto text = [](const std::string& value) { return Utf8Text::sanitized(value); };
    nlohmann::json object = nlohmann::json::object();
    object["model"] = text(model);
    object["startedAt"] = text(startedAt);
    if (availability) {
        object["availability"] = text(*availability);
    }
    if (tokens) {
        object["tokens"] = {
            {"input", tokens->input},
            {"instructions", tokens->instructions},
            {"schema", tokens->schema},
            {"outputReserve", TokenBudget::outputReserve},
            {"frameworkMargin", TokenBudget::frameworkMargin},
            {"context", tokens->context},
        };
    }
    if (this->text) {
        object["text"] = text(*this->text);
    }
    if (rawStructuredOutput) {
        object["rawStructuredOutput"] = text(*rawStructuredOutput);
    }
    if (outputTokens) {
        object["outputTokens"] = *outputTokens;
    }
    if (prefixTokens) {
        object["prefixTokens"] = *prefixTokens;
    }
    if (reason) {
        object["reason"] = text(*reason);
    }
    object["status"] = rawValue(status);
    if (failure) {
        object["errorType"] = text(failure->errorType);
        object["error"] = text(failure->error);
        object["localizedError"] = text(failure->localizedError);
    }
    object["elapsedSeconds"] = elapsedSeconds;
    return JsonText::compact(object) + "\n";
}

}  // namespace kivo
