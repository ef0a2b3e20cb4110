#include "platform/languagemodel/EvaluationSpeed.h"

#include "platform/languagemodel/LanguageModelError.h"
#include "platform/languagemodel/LlamaModel.h"
#include "platform/languagemodel/LlamaRuntime.h"

#include <llama.h>

#include <algorithm>
#include <chrono>
#include <memory>
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

double since(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void decode(llama_context* context, llama_token* tokens, int count)
{
    if (llama_decode(context, llama_batch_get_one(tokens, count)) != 0) {
        throw LanguageModelError(Case::decodingFailed,
                                 "the runtime could not evaluate " + std::to_string(count) + " tokens");
    }
}

} // namespace

EvaluationSpeed EvaluationSpeed::measure(const std::filesystem::path& file, int promptTokens, int answerTokens,
                                         std::stop_token stop)
{
    if (auto problem = LlamaRuntime::start()) {
        throw LanguageModelError(Case::unavailable, *problem);
    }
    std::string failure;
    const auto model = LlamaModel::load(file, failure);
    if (!model) {
        throw LanguageModelError(Case::unavailable, failure);
    }
    const int vocabulary = llama_vocab_n_tokens(model->vocabulary());
    const int threads = LlamaRuntime::physicalCores();
    const auto pool = LlamaRuntime::makeThreadpool(threads);
    llama_context_params params = llama_context_default_params();
    params.n_ctx = static_cast<uint32_t>(promptTokens + answerTokens + 8);
    params.n_batch = static_cast<uint32_t>(std::min(promptTokens, 2048));
    params.n_ubatch = std::min<uint32_t>(params.n_batch, 512);
    params.n_threads = threads;
    params.n_threads_batch = threads;
    params.no_perf = true;
    const std::unique_ptr<llama_context, ContextFree> context(llama_init_from_model(model->handle(), params));
    if (!context) {
        throw LanguageModelError(Case::decodingFailed, "cannot create a context");
    }
    if (pool) {
        llama_attach_threadpool(context.get(), pool.get(), nullptr);
    }
    std::vector<llama_token> prompt(static_cast<std::size_t>(promptTokens));
    for (std::size_t i = 0; i < prompt.size(); ++i) {
        prompt[i] = static_cast<llama_token>((i * 7919 + 13) % static_cast<std::size_t>(vocabulary - 512) + 256);
    }
    const std::unique_ptr<llama_sampler, SamplerFree> sampler(llama_sampler_init_greedy());
    // Every page of the file read once, so the figure is the computer's, not its disk's.
    decode(context.get(), prompt.data(), std::min(promptTokens, 16));

    // The better of two passes: a moment of other work on the computer is not its speed.
    EvaluationSpeed speed;
    for (int pass = 0; pass < 2 && !stop.stop_requested(); ++pass) {
        llama_memory_clear(llama_get_memory(context.get()), true);
        auto start = std::chrono::steady_clock::now();
        for (int first = 0; first < promptTokens && !stop.stop_requested(); first += static_cast<int>(params.n_batch)) {
            decode(context.get(), prompt.data() + first,
                   std::min(static_cast<int>(params.n_batch), promptTokens - first));
        }
        const double reading = since(start);
        start = std::chrono::steady_clock::now();
        // Each token is chosen from the whole vocabulary's scores, as an answer's are.
        for (int i = 0; i < answerTokens && !stop.stop_requested(); ++i) {
            llama_token next = llama_sampler_sample(sampler.get(), context.get(), -1);
            decode(context.get(), &next, 1);
        }
        const double writing = since(start);
        speed.readingSeconds = pass == 0 ? reading : std::min(speed.readingSeconds, reading);
        speed.writingSeconds = pass == 0 ? writing : std::min(speed.writingSeconds, writing);
    }
    return stop.stop_requested() ? EvaluationSpeed{} : speed;
}

} // namespace kivo
