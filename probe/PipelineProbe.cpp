#include "probe/PipelineProbe.h"

#include "platform/json/JsonText.h"
#include "platform/languagemodel/LanguageModelError.h"
#include "platform/languagemodel/LanguageModelSession.h"
#include "platform/languagemodel/SystemLanguageModel.h"
#include "platform/text/CharacterClass.h"
#include "platform/text/Utf16.h"
#include "platform/time/Iso8601.h"
#include "probe/RewriteJob.h"

#include <nlohmann/json.hpp>

namespace kivo::PipelineProbe {

namespace {

constexpr int outputReserve = 2048;
constexpr int frameworkMargin = 512;
constexpr int maximumResponseTokens = 2048;

std::string_view caseName(Failure::Code code)
{
    switch (code) {
    case Failure::Code::unavailable: return "unavailable";
    case Failure::Code::unsupportedLocale: return "unsupportedLocale";
    case Failure::Code::budgetExceeded: return "budgetExceeded";
    }
    return {};
}

std::string diagnostic(const std::exception_ptr& failure)
{
    try {
        std::rethrow_exception(failure);
    } catch (const LanguageModelError& error) {
        return error.debugDescription();
    } catch (const std::exception& error) {
        return error.what();
    } catch (...) {
        return "unknown error";
    }
}

// Steps in report order; each records what it learned before the next can fail.
void perform(std::string_view inputText, const Arguments& arguments, const ModelFactory& makeModel,
             nlohmann::json& report)
{
    const RewriteJob::Input input = RewriteJob::decodeInput(inputText);
    const RewriteJob::Prepared prepared = RewriteJob::prepare(input, arguments.resources);
    report["prepared"] = RewriteJob::encode(prepared);
    if (arguments.prepareOnly) {
        report["status"] = "prepared";
        return;
    }

    const auto model = makeModel();
    report["model"] = "SystemLanguageModel.default";
    report["variant"] = model->variant();
    report["availability"] = model->availability().description();
    if (!model->isAvailable()) {
        throw Failure(Failure::Code::unavailable);
    }
    if (!model->supportsLocale(input.locale) || !model->supportsLocale("zh-HK")) {
        throw Failure(Failure::Code::unsupportedLocale);
    }

    const GenerationSchema schema{"PipelineResult", {"text"}};
    const int inputTokens = model->tokenCount(prepared.payload);
    const int instructionTokens = model->instructionsTokenCount(prepared.instructions);
    const int schemaTokens = model->schemaTokenCount(schema);
    const int context = model->contextSize();
    report["tokens"] = {
        {"input", inputTokens},           {"instructions", instructionTokens},  {"schema", schemaTokens},
        {"outputReserve", outputReserve}, {"frameworkMargin", frameworkMargin}, {"context", context}};
    if (inputTokens + instructionTokens + schemaTokens + outputReserve + frameworkMargin > context) {
        throw Failure(Failure::Code::budgetExceeded);
    }

    const auto session = model->makeSession(prepared.instructions);
    GenerationOptions options;
    options.maximumResponseTokens = maximumResponseTokens;
    const GeneratedContent content = session->respond(prepared.payload, schema, options);
    const std::string text = content.properties.at("text");
    report["text"] = text;
    report["rawStructuredOutput"] = content.jsonString;
    report["outputTokens"] = model->tokenCount(content.jsonString);

    const RewriteJob::Validation validation = RewriteJob::validate(text, prepared);
    report["validation"] = RewriteJob::encode(validation);
    if (CharacterClass::isBlank(text)) {
        report["status"] = "empty";
    } else {
        report["status"] = validation.warnings.empty() ? "generated" : "review_required";
    }
}

} // namespace

Failure::Failure(Code code) : std::runtime_error(std::string(typeName) + "." + std::string(caseName(code))), code_(code)
{
}

Arguments parseArguments(const std::vector<std::string>& arguments, const std::filesystem::path& executableDirectory)
{
    Arguments parsed;
    parsed.resources = arguments.empty() ? executableDirectory.parent_path() : std::filesystem::path(arguments.front());
    for (const std::string& argument : arguments) {
        if (argument == "--prepare-only") {
            parsed.prepareOnly = true;
        }
    }
    return parsed;
}

std::string run(std::string_view input, const Arguments& arguments, const ModelFactory& makeModel,
                std::chrono::system_clock::time_point started)
{
    nlohmann::json report;
    report["pipelineVersion"] = RewriteJob::version;
    report["startedAt"] = Iso8601::format(started);
    try {
        perform(input, arguments, makeModel, report);
    } catch (...) {
        report["status"] = "error";
        report["error"] = diagnostic(std::current_exception());
    }
    report["elapsedSeconds"] = std::chrono::duration<double>(std::chrono::system_clock::now() - started).count();
    try {
        return JsonText::compact(report) + "\n";
    } catch (const nlohmann::json::exception&) {
        // Only text that is not UTF-8 can fail here; report that rather than nothing.
        nlohmann::json fallback = {{"pipelineVersion", RewriteJob::version},
                                   {"startedAt", report["startedAt"]},
                                   {"status", "error"},
                                   {"error", "the report held text that is not valid UTF-8"},
                                   {"elapsedSeconds", report["elapsedSeconds"]}};
        return JsonText::compact(fallback) + "\n";
    }
}

std::string runtimeStopped(const char* message, std::chrono::system_clock::time_point started)
{
    const nlohmann::json report = {
        {"pipelineVersion", RewriteJob::version},
        {"startedAt", Iso8601::format(started)},
        {"status", "error"},
        {"error", std::string("the model runtime stopped: ") + (message != nullptr ? message : "")},
        {"elapsedSeconds", std::chrono::duration<double>(std::chrono::system_clock::now() - started).count()}};
    try {
        return JsonText::compact(report) + "\n";
    } catch (const nlohmann::json::exception&) {
        return JsonText::compact(nlohmann::json{{"pipelineVersion", RewriteJob::version},
                                                {"status", "error"},
                                                {"error", "the model runtime stopped"}}) +
               "\n";
    }
}

} // namespace kivo::PipelineProbe
