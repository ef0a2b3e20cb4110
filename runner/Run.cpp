#include "runner/Run.h"

#include "platform/languagemodel/LanguageModelSession.h"
#include "platform/languagemodel/SystemLanguageModel.h"
#include "platform/text/CharacterClass.h"
#include "platform/time/Iso8601.h"
#include "runner/FatalReply.h"
#include "runner/ProbeError.h"
#include "runner/PromptLayout.h"
#include "runner/Reply.h"
#include "runner/RequestDecoder.h"
#include "runner/RewriteResult.h"
#include "runner/Utf8Text.h"

namespace kivo::Run {
namespace {

// Steps in the order the wire format promises; each fills in the reply as it goes, so an
// error reply keeps what was learned before the failure.
void generate(std::string_view input, Reply& reply) {
    const Request request = RequestDecoder::decode(input);

    FatalReply::enter(FatalReply::Phase::loading);
    const auto model = SystemLanguageModel::makeDefault();
    FatalReply::enter(FatalReply::Phase::running);
    reply.availability = model->availability().description();
    if (!model->isAvailable()) {
        throw ProbeError::unavailable(*reply.availability);
    }
    if (!model->supportsLocale(request.sourceLocale) || !model->supportsLocale(request.locale)) {
        throw ProbeError::unsupportedLocale();
    }

    const std::string prompt = PromptLayout::build(request.source, request.taskPrefix);
    const GenerationSchema schema = RewriteResult::schema();
    TokenBudget budget;
    budget.input = model->tokenCount(prompt);
    budget.instructions = model->instructionsTokenCount(request.instructions);
    budget.schema = model->schemaTokenCount(schema);
    budget.context = model->contextSize();
    reply.tokens = budget;
    if (!budget.fits()) {
        throw ProbeError::budgetExceeded();
    }

    const auto session = model->makeSession(request.instructions);
    GenerationOptions options;
    options.maximumResponseTokens = TokenBudget::maximumResponseTokens;
    options.includeSchemaInPrompt = true;
    options.sharedPromptBytes = PromptLayout::sourceOffset(request.taskPrefix);
    const GeneratedContent content = session->respond(prompt, schema, options);
    reply.text = content.properties.at("text");
    reply.rawStructuredOutput = content.jsonString;
    reply.outputTokens = model->tokenCount(content.jsonString);
    reply.status = CharacterClass::isBlank(*reply.text) ? Reply::Status::empty : Reply::Status::generated;
}

}  // namespace

std::string perform(std::string_view input, std::chrono::system_clock::time_point started) {
    Reply reply;
    reply.startedAt = Iso8601::format(started);
    FatalReply::watch(reply, started);
    try {
        generate(input, reply);
    } catch (...) {
        reply.status = Reply::Status::error;
        reply.failure = ErrorReport::of(std::current_exception());
    }
    FatalReply::release();
    reply.elapsedSeconds = std::chrono::duration<double>(std::chrono::system_clock::now() - started).count();
    return reply.jsonLine();
}

}  // namespace kivo::Run
