#include "platform/languagemodel/LanguageModelSession.h"

#include "platform/languagemodel/DraftPolicy.h"
#include "platform/languagemodel/LanguageModelError.h"
#include "platform/languagemodel/LlamaModel.h"
#include "platform/languagemodel/LlamaRuntime.h"
#include "platform/languagemodel/PrefixCache.h"
#include "platform/languagemodel/PromptLookup.h"

#include <json-schema-to-grammar.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace kivo {
namespace {

using Case = LanguageModelError::Case;

struct ContextFree {
    void operator()(llama_context* context) const { llama_free(context); }
};
struct SamplerFree {
    void operator()(llama_sampler* sampler) const { llama_sampler_free(sampler); }
};

std::unique_ptr<llama_sampler, SamplerFree> makeGrammar(const LlamaModel& model, const GenerationSchema& schema)
{
    std::string grammar;
    try {
        grammar = json_schema_to_grammar(nlohmann::ordered_json::parse(schema.jsonSchemaText()));
    } catch (const std::exception& error) {
        throw LanguageModelError(Case::grammarFailed, error.what());
    }
    std::unique_ptr<llama_sampler, SamplerFree> sampler(
        llama_sampler_init_grammar(model.vocabulary(), grammar.c_str(), "root"));
    if (!sampler) {
        throw LanguageModelError(Case::grammarFailed, "the grammar for " + schema.typeName + " does not parse");
    }
    return sampler;
}

// Greedy choice among the tokens the grammar allows. The unconstrained best token is tried
// first, since it usually fits and checking one token is far cheaper than masking the whole
// vocabulary.
llama_token chooseToken(llama_sampler* grammar, const float* logits, int vocabularySize,
                        std::vector<llama_token_data>& candidates)
{
    const auto best = static_cast<llama_token>(std::max_element(logits, logits + vocabularySize) - logits);
    llama_token_data single{best, logits[best], 0.0f};
    llama_token_data_array one{&single, 1, -1, false};
    llama_sampler_apply(grammar, &one);
    if (std::isfinite(one.data[0].logit)) {
        return best;
    }
    candidates.resize(static_cast<std::size_t>(vocabularySize));
    for (llama_token token = 0; token < vocabularySize; ++token) {
        candidates[static_cast<std::size_t>(token)] = {token, logits[token], 0.0f};
    }
    llama_token_data_array all{candidates.data(), candidates.size(), -1, false};
    llama_sampler_apply(grammar, &all);
    const llama_token_data* chosen = nullptr;
    for (std::size_t i = 0; i < all.size; ++i) {
        if (std::isfinite(all.data[i].logit) && (!chosen || all.data[i].logit > chosen->logit)) {
            chosen = &all.data[i];
        }
    }
    if (!chosen) {
        throw LanguageModelError(Case::decodingFailed, "the grammar allows no further token");
    }
    return chosen->id;
}

// Re-chooses the thread count before an evaluation, as other processes come and go.
void useThreadsNow(llama_context* context, int maximumThreads)
{
    const int threads = LlamaRuntime::threadsNow(maximumThreads);
    llama_set_n_threads(context, threads, threads);
}

// Evaluates tokens in batches.
void decode(llama_context* context, llama_token* tokens, std::size_t count, int batchSize, int maximumThreads)
{
    for (std::size_t start = 0; start < count; start += static_cast<std::size_t>(batchSize)) {
        useThreadsNow(context, maximumThreads);
        const auto size =
            static_cast<int32_t>(std::min<std::size_t>(static_cast<std::size_t>(batchSize), count - start));
        if (llama_decode(context, llama_batch_get_one(tokens + start, size)) != 0) {
            throw LanguageModelError(Case::decodingFailed, "evaluation of " + std::to_string(size) + " tokens failed");
        }
    }
}

// A batch of a chosen token and the draft after it, evaluated with the logits of every
// position, and the context trimmed back when part of the draft was wrong.
class Drafts {
public:
    // Room for drafts of up to longestDraft tokens.
    Drafts(llama_context* context, int longestDraft)
        : context_(context), batch_(llama_batch_init(longestDraft + 1, 0, 1))
    {
    }
    ~Drafts() { llama_batch_free(batch_); }
    Drafts(const Drafts&) = delete;
    Drafts& operator=(const Drafts&) = delete;

    // Evaluates token at position and the draft after it.
    void evaluate(llama_token token, const std::vector<llama_token>& draft, int position, int maximumThreads)
    {
        const auto size = static_cast<int32_t>(draft.size() + 1);
        batch_.n_tokens = size;
        for (int32_t i = 0; i < size; ++i) {
            batch_.token[i] = i == 0 ? token : draft[static_cast<std::size_t>(i - 1)];
            batch_.pos[i] = position + i;
            batch_.n_seq_id[i] = 1;
            batch_.seq_id[i][0] = 0;
            batch_.logits[i] = 1;
        }
        useThreadsNow(context_, maximumThreads);
        if (llama_decode(context_, batch_) != 0) {
            throw LanguageModelError(Case::decodingFailed,
                                     "evaluation of a draft of " + std::to_string(size - 1) + " tokens failed");
        }
    }

    // The logits after the chosen token (0) or after the draft's first `index` tokens.
    const float* logits(std::size_t index) const { return llama_get_logits_ith(context_, static_cast<int32_t>(index)); }

    // Takes positions from `position` on out of the context: the rejected part of the draft.
    void forgetFrom(int position)
    {
        if (!llama_memory_seq_rm(llama_get_memory(context_), 0, position, -1)) {
            throw LanguageModelError(Case::decodingFailed, "a rejected draft cannot be taken back");
        }
    }

private:
    llama_context* context_;
    llama_batch batch_;
};

using Preparation = LanguageModelSession::Preparation;

// The constant start of the conversation, from the state kept by an earlier run when there is
// one, else evaluated and kept for the next. The start is always evaluated on its own, so the
// state is the same whichever way it came. Returns how many tokens are in the context; outcome
// says where they came from and whether they are kept now.
std::size_t readPrefix(llama_context* context, const LlamaModel& model, std::vector<llama_token>& tokens,
                       std::size_t prefix, int contextSize, int batchSize, int maximumThreads, Preparation& outcome)
{
    outcome = Preparation::nothingShared;
    if (prefix == 0 || prefix >= tokens.size()) {
        return 0;
    }
    outcome = Preparation::noKeeping;
    std::optional<PrefixCache> cache;
    if (!model.identity().empty()) {
        cache = PrefixCache::forRuntimeFolder();
    }
    std::string key;
    if (cache) {
        std::string prefixTokens;
        for (std::size_t i = 0; i < prefix; ++i) {
            prefixTokens += std::to_string(tokens[i]) + ' ';
        }
        key = PrefixCache::key(model.identity(), prefixTokens, contextSize);
        if (const auto state = cache->load(key)) {
            llama_memory_t memory = llama_get_memory(context);
            if (llama_state_seq_set_data(context, state->data(), state->size(), 0) == state->size() &&
                llama_memory_seq_pos_max(memory, 0) == static_cast<llama_pos>(prefix) - 1) {
                outcome = Preparation::alreadyKept;
                return prefix;
            }
            llama_memory_clear(memory, true);
        }
    }
    decode(context, tokens.data(), prefix, batchSize, maximumThreads);
    if (cache) {
        outcome = Preparation::notStored;
        std::vector<std::uint8_t> state(llama_state_seq_get_size(context, 0));
        if (!state.empty() && llama_state_seq_get_data(context, state.data(), state.size(), 0) == state.size() &&
            cache->store(key, state)) {
            outcome = Preparation::stored;
        }
    }
    return prefix;
}

// A prompt in tokens with a fresh context to evaluate it in. respond() and prepare() both start
// here, so the constant start they keep is the same token for token.
struct Evaluation {
    std::vector<llama_token> tokens;
    // Tokens from the start that are the same in every request: the instructions and the
    // caller's shared bytes of the prompt, up to the last token wholly inside them.
    std::size_t constant = 0;
    // Where the user's message begins: what an answer may copy lies after it.
    std::size_t userText = 0;
    int contextSize = 0;
    int maximumThreads = 0;
    int batchSize = 0;
    std::unique_ptr<lm_ggml_threadpool, LlamaRuntime::ThreadpoolFree> pool;
    std::unique_ptr<llama_context, ContextFree> context;
};

Evaluation begin(const LlamaModel& model, const std::string& instructions, const std::string& prompt,
                 const GenerationSchema& schema, const GenerationOptions& options)
{
    Evaluation evaluation;
    const std::string user = options.includeSchemaInPrompt ? prompt + schema.promptText() : prompt;
    LlamaModel::ChatTokens chat = model.tokenizeChatParts(instructions, user, true);
    evaluation.tokens = std::move(chat.tokens);
    evaluation.userText = chat.beforeUserText;
    const std::vector<llama_token>& tokens = evaluation.tokens;
    evaluation.contextSize = model.contextSize();
    const int contextSize = evaluation.contextSize;
    if (static_cast<int>(tokens.size()) >= contextSize) {
        throw LanguageModelError(Case::exceededContextWindowSize, std::to_string(tokens.size()) +
                                                                      " prompt tokens for a context of " +
                                                                      std::to_string(contextSize));
    }
    // The kept state runs on into the user's message as far as the caller says it is the same
    // every time, so only the transcript and what follows it are read on each request.
    const std::size_t shared = std::min(options.sharedPromptBytes, prompt.size());
    evaluation.constant = chat.beforeUserText + model.tokensWithin(tokens.data() + chat.beforeUserText,
                                                                   tokens.size() - chat.beforeUserText,
                                                                   std::string_view(user).substr(0, shared));

    evaluation.maximumThreads = LlamaRuntime::threadCount(llama_model_size(model.handle()));
    evaluation.pool = LlamaRuntime::makeThreadpool(evaluation.maximumThreads);
    llama_context_params params = llama_context_default_params();
    params.n_ctx = static_cast<uint32_t>(contextSize);
    params.n_batch = static_cast<uint32_t>(std::min(contextSize, 2048));
    params.n_ubatch = std::min<uint32_t>(params.n_batch, 512);
    params.n_threads = evaluation.maximumThreads;
    params.n_threads_batch = params.n_threads;
    params.no_perf = true;
    evaluation.context.reset(llama_init_from_model(model.handle(), params));
    if (!evaluation.context) {
        throw LanguageModelError(Case::decodingFailed,
                                 "cannot create a context of " + std::to_string(contextSize) + " tokens");
    }
    if (evaluation.pool) {
        llama_attach_threadpool(evaluation.context.get(), evaluation.pool.get(), nullptr);
    }
    evaluation.batchSize = static_cast<int>(params.n_batch);
    return evaluation;
}

GeneratedContent parseRecord(const std::string& text, const GenerationSchema& schema)
{
    GeneratedContent content;
    const auto end = text.find_last_not_of(" \t\r\n");
    content.jsonString = end == std::string::npos ? std::string() : text.substr(0, end + 1);
    const auto record = nlohmann::ordered_json::parse(content.jsonString, nullptr, false);
    if (record.is_discarded() || !record.is_object()) {
        throw LanguageModelError(Case::invalidGeneratedContent, "not a JSON object: " + content.jsonString);
    }
    for (const std::string& name : schema.stringProperties) {
        const auto field = record.find(name);
        if (field == record.end() || !field->is_string()) {
            throw LanguageModelError(Case::invalidGeneratedContent,
                                     "no string \"" + name + "\" in " + content.jsonString);
        }
        content.properties[name] = field->get<std::string>();
    }
    return content;
}

} // namespace

LanguageModelSession::LanguageModelSession(const LlamaModel& model, std::string instructions)
    : model_(model), instructions_(std::move(instructions))
{
}

LanguageModelSession::Preparation LanguageModelSession::prepare(const std::string& prompt,
                                                                const GenerationSchema& schema,
                                                                const GenerationOptions& options, int& tokens) const
{
    Evaluation evaluation = begin(model_, instructions_, prompt, schema, options);
    Preparation outcome = Preparation::nothingShared;
    const std::size_t read =
        readPrefix(evaluation.context.get(), model_, evaluation.tokens, evaluation.constant, evaluation.contextSize,
                   evaluation.batchSize, evaluation.maximumThreads, outcome);
    tokens = static_cast<int>(read);
    return outcome;
}

GeneratedContent LanguageModelSession::respond(const std::string& prompt, const GenerationSchema& schema,
                                               const GenerationOptions& options) const
{
    using Clock = std::chrono::steady_clock;
    const auto promptStart = Clock::now();
    Evaluation evaluation = begin(model_, instructions_, prompt, schema, options);
    std::vector<llama_token>& tokens = evaluation.tokens;
    const int contextSize = evaluation.contextSize;
    const int maximumThreads = evaluation.maximumThreads;
    llama_context* context = evaluation.context.get();
    timings_ = GenerationTimings{};
    timings_.promptTokens = static_cast<int>(tokens.size());
    auto grammar = makeGrammar(model_, schema);
    Preparation outcome = Preparation::nothingShared;
    const std::size_t read = readPrefix(context, model_, tokens, evaluation.constant, contextSize, evaluation.batchSize,
                                        maximumThreads, outcome);
    timings_.reusedTokens = outcome == Preparation::alreadyKept ? static_cast<int>(read) : 0;
    decode(context, tokens.data() + read, tokens.size() - read, evaluation.batchSize, maximumThreads);
    const auto generationStart = Clock::now();
    timings_.promptSeconds = std::chrono::duration<double>(generationStart - promptStart).count();
    auto countGeneration = [&](int generated) {
        timings_.generatedTokens = generated;
        timings_.generationSeconds = std::chrono::duration<double>(Clock::now() - generationStart).count();
    };

    const llama_vocab* vocabulary = model_.vocabulary();
    const int vocabularySize = llama_vocab_n_tokens(vocabulary);
    std::vector<llama_token> source(tokens.begin() + static_cast<std::ptrdiff_t>(evaluation.userText), tokens.end());
    source.insert(source.end(), options.draftSource.begin(), options.draftSource.end());
    PromptLookup lookup(std::move(source));
    // Rejected drafts are taken back out of the context, which only an attention cache allows.
    const bool drafting = options.draftTokens > 0 && !llama_model_is_recurrent(model_.handle()) &&
                          !llama_model_is_hybrid(model_.handle());
    const int longestDraft = drafting ? options.draftTokens : 0;
    DraftPolicy policy(static_cast<std::size_t>(longestDraft));
    Drafts drafts(context, longestDraft);
    std::vector<llama_token_data> candidates;
    std::string output;
    std::vector<llama_token>& answer = timings_.answerTokens;
    auto write = [&](llama_token token) {
        llama_sampler_accept(grammar.get(), token);
        output += model_.piece(token);
        answer.push_back(token);
        if (options.onWritten) {
            options.onWritten(static_cast<int>(answer.size()));
        }
    };
    int position = static_cast<int>(tokens.size());
    llama_token next = options.maximumResponseTokens > 0
                           ? chooseToken(grammar.get(), llama_get_logits_ith(context, -1), vocabularySize, candidates)
                           : LLAMA_TOKEN_NULL;
    for (int generated = 0; generated < options.maximumResponseTokens;) {
        // next is chosen; it ends the answer or is written and evaluated, with a draft of what
        // may follow when the source suggests one.
        ++generated;
        if (llama_vocab_is_eog(vocabulary, next)) {
            countGeneration(generated);
            return parseRecord(output, schema);
        }
        write(next);
        if (++position >= contextSize) {
            throw LanguageModelError(Case::exceededContextWindowSize,
                                     "the response filled the context of " + std::to_string(contextSize));
        }
        // A draft never runs past the response cap or the context.
        const std::size_t room = std::min(static_cast<std::size_t>(options.maximumResponseTokens - generated),
                                          static_cast<std::size_t>(contextSize - position - 1));
        const std::size_t wanted = policy.length(room);
        std::vector<llama_token> draft = wanted > 0 ? lookup.draft(answer, wanted) : std::vector<llama_token>{};
        if (draft.size() < policy.shortest()) {
            draft.clear(); // too few to be worth evaluating together
        }
        if (draft.empty()) {
            decode(context, &next, 1, 1, maximumThreads);
            next = chooseToken(grammar.get(), llama_get_logits_ith(context, -1), vocabularySize, candidates);
            continue;
        }
        // The draft is evaluated with next in one batch; each of its tokens stands while it is
        // the token greedy decoding would have chosen there, so the answer is the one decoding
        // token by token gives (up to rounding), in fewer evaluations.
        drafts.evaluate(next, draft, position - 1, maximumThreads);
        timings_.draftedTokens += static_cast<int>(draft.size());
        std::size_t agreed = 0;
        next = chooseToken(grammar.get(), drafts.logits(0), vocabularySize, candidates);
        while (agreed < draft.size() && next == draft[agreed] && !llama_vocab_is_eog(vocabulary, next)) {
            ++generated;
            write(next);
            ++position;
            ++agreed;
            next = chooseToken(grammar.get(), drafts.logits(agreed), vocabularySize, candidates);
        }
        lookup.accepted(agreed);
        timings_.acceptedDraftTokens += static_cast<int>(agreed);
        if (agreed < draft.size()) {
            drafts.forgetFrom(position);
        }
        policy.record(draft.size(), agreed);
    }
    countGeneration(options.maximumResponseTokens);
    // The cap leaves an unfinished record unless the grammar happened to close it.
    try {
        return parseRecord(output, schema);
    } catch (const LanguageModelError&) {
        throw LanguageModelError(Case::exceededMaximumResponseTokens,
                                 std::to_string(options.maximumResponseTokens) + " tokens without a complete record");
    }
}

} // namespace kivo
