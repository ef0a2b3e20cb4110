#include "runner/Run.h"

#include "platform/languagemodel/LanguageModelSession.h"
#include "platform/languagemodel/SystemLanguageModel.h"
#include "platform/text/CharacterClass.h"
#include "platform/time/Iso8601.h"
#include "protocol/RewriteReply.h"
#include "protocol/RewriteRequest.h"
#include "runner/FailureReport.h"
#include "runner/FatalReply.h"
#include "runner/ProbeError.h"
#include "runner/PromptLayout.h"
#include "runner/RewriteResult.h"

namespace kivo::Run {
namespace {

// The model for the request, after the checks every run makes in this order.
std::unique_ptr<SystemLanguageModel> checkedModel(const RewriteRequest& request, RewriteReply& reply)
{
    FatalReply::enter(FatalReply::Phase::loading);
    auto model = SystemLanguageModel::makeDefault();
    FatalReply::enter(FatalReply::Phase::running);
    reply.availability = model->availability();
    if (!model->isAvailable()) {
        throw ProbeError::unavailable(reply.availability->description());
    }
    if (!model->supportsLocale(request.sourceLocale) || !model->supportsLocale(request.locale)) {
        throw ProbeError::unsupportedLocale();
    }
    return model;
}

GenerationOptions optionsFor(const RewriteRequest& request)
{
    GenerationOptions options;
    options.maximumResponseTokens = TokenBudget::maximumResponseTokens;
    options.includeSchemaInPrompt = true;
    options.sharedPromptBytes = PromptLayout::sourceOffset(request.taskPrefix);
    return options;
}

// Steps in the order the wire format promises; each fills in the reply as it goes, so an
// error reply keeps what was learned before the failure.
void generate(std::string_view input, RewriteReply& reply, ProgressReport& progress)
{
    const RewriteRequest request = RewriteRequest::decode(input);
    const auto model = checkedModel(request, reply);

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

    // A rewrite is about as long as its source, in the record the schema asks for.
    progress.expect(model->tokenCount(RewriteResult::record(request.source)));
    GenerationOptions options = optionsFor(request);
    options.onWritten = [&progress](int written) { progress.written(written); };
    const auto session = model->makeSession(request.instructions);
    const GeneratedContent content = session->respond(prompt, schema, options);
    reply.text = content.properties.at("text");
    reply.rawStructuredOutput = content.jsonString;
    reply.outputTokens = model->tokenCount(content.jsonString);
    reply.status = CharacterClass::isBlank(*reply.text) ? RewriteReply::Status::empty : RewriteReply::Status::generated;
}

// The request's source is dropped unread: the prompt is laid out around a stand-in, and
// nothing after the constant start is evaluated.
void prepareOnly(std::string_view input, RewriteReply& reply)
{
    RewriteRequest request = RewriteRequest::decode(input);
    request.source.clear();
    request.source.shrink_to_fit();
    const auto model = checkedModel(request, reply);

    const std::string prompt = PromptLayout::withoutSource(request.taskPrefix);
    const auto session = model->makeSession(request.instructions);
    int tokens = 0;
    switch (session->prepare(prompt, RewriteResult::schema(), optionsFor(request), tokens)) {
    case LanguageModelSession::Preparation::stored:
    case LanguageModelSession::Preparation::alreadyKept:
        reply.status = RewriteReply::Status::prepared;
        reply.prefixTokens = tokens;
        return;
    case LanguageModelSession::Preparation::noKeeping:
        reply.reason = "no memory-backed runtime folder (XDG_RUNTIME_DIR on a tmpfs) to keep a state in";
        break;
    case LanguageModelSession::Preparation::notStored:
        reply.reason = "the state could not be kept (too large, or no room in the runtime folder)";
        break;
    case LanguageModelSession::Preparation::nothingShared:
        reply.reason = "the prompt has no constant start to keep";
        break;
    }
    reply.status = RewriteReply::Status::unprepared;
}

template <typename Work>
std::string answer(Work work, std::string_view input, std::chrono::system_clock::time_point started)
{
    RewriteReply reply;
    reply.startedAt = Iso8601::format(started);
    FatalReply::watch(reply, started);
    try {
        work(input, reply);
    } catch (...) {
        reply.status = RewriteReply::Status::error;
        reply.failure = FailureReport::of(std::current_exception());
    }
    FatalReply::release();
    reply.elapsedSeconds = std::chrono::duration<double>(std::chrono::system_clock::now() - started).count();
    return reply.jsonLine();
}

} // namespace

std::string perform(std::string_view input, std::chrono::system_clock::time_point started, ProgressReport& progress)
{
    return answer([&progress](std::string_view bytes, RewriteReply& reply) { generate(bytes, reply, progress); }, input,
                  started);
}

std::string prepare(std::string_view input, std::chrono::system_clock::time_point started)
{
    return answer(prepareOnly, input, started);
}

} // namespace kivo::Run
