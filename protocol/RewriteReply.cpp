#include "protocol/RewriteReply.h"

#include "platform/json/JsonText.h"
#include "platform/text/Utf8Text.h"

#include <nlohmann/json.hpp>

namespace kivo {
namespace {

constexpr RewriteReply::Status allStatuses[] = {RewriteReply::Status::generated, RewriteReply::Status::empty,
                                                RewriteReply::Status::error, RewriteReply::Status::prepared,
                                                RewriteReply::Status::unprepared};

std::optional<std::string> stringField(const nlohmann::json& object, const char* key)
{
    const auto field = object.find(key);
    if (field != object.end() && field->is_string()) {
        return field->get<std::string>();
    }
    return std::nullopt;
}

std::optional<int> intField(const nlohmann::json& object, const char* key)
{
    const auto field = object.find(key);
    if (field != object.end() && field->is_number_integer()) {
        return field->get<int>();
    }
    return std::nullopt;
}

std::optional<TokenBudget> tokensField(const nlohmann::json& object)
{
    const auto field = object.find("tokens");
    if (field == object.end() || !field->is_object()) {
        return std::nullopt;
    }
    TokenBudget budget;
    budget.input = intField(*field, "input").value_or(0);
    budget.instructions = intField(*field, "instructions").value_or(0);
    budget.schema = intField(*field, "schema").value_or(0);
    budget.context = intField(*field, "context").value_or(0);
    return budget;
}

} // namespace

const char* RewriteReply::rawValue(Status status)
{
    switch (status) {
    case Status::generated: return "generated";
    case Status::empty: return "empty";
    case Status::error: return "error";
    case Status::prepared: return "prepared";
    case Status::unprepared: return "unprepared";
    }
    return "error";
}

std::optional<RewriteReply::Status> RewriteReply::statusFromRawValue(std::string_view raw)
{
    for (const Status status : allStatuses) {
        if (raw == rawValue(status)) {
            return status;
        }
    }
    return std::nullopt;
}

std::string RewriteReply::jsonLine() const
{
    auto text = [](const std::string& value) { return Utf8Text::sanitized(value); };
    nlohmann::json object = nlohmann::json::object();
    object["model"] = text(model);
    object["startedAt"] = text(startedAt);
    if (availability) {
        object["availability"] = text(availability->description());
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
    object["elapsedSeconds"] = elapsedSeconds.value_or(0.0);
    return JsonText::compact(object) + "\n";
}

std::optional<RewriteReply> RewriteReply::read(std::string_view output)
{
    const nlohmann::json object = nlohmann::json::parse(output.begin(), output.end(), nullptr, false);
    if (object.is_discarded() || !object.is_object()) {
        return std::nullopt;
    }
    RewriteReply reply;
    reply.model = stringField(object, "model").value_or("");
    reply.startedAt = stringField(object, "startedAt").value_or("");
    if (const auto availability = stringField(object, "availability")) {
        reply.availability = Availability::fromDescription(*availability);
    }
    reply.tokens = tokensField(object);
    reply.text = stringField(object, "text");
    reply.rawStructuredOutput = stringField(object, "rawStructuredOutput");
    reply.outputTokens = intField(object, "outputTokens");
    reply.prefixTokens = intField(object, "prefixTokens");
    reply.reason = stringField(object, "reason");
    reply.status = statusFromRawValue(stringField(object, "status").value_or("")).value_or(Status::error);
    const auto errorType = stringField(object, "errorType");
    const auto error = stringField(object, "error");
    const auto localizedError = stringField(object, "localizedError");
    if (errorType || error || localizedError) {
        reply.failure = ErrorReport{errorType.value_or(""), error.value_or(""), localizedError.value_or("")};
    }
    if (const auto elapsed = object.find("elapsedSeconds"); elapsed != object.end() && elapsed->is_number()) {
        reply.elapsedSeconds = elapsed->get<double>();
    }
    return reply;
}

} // namespace kivo
