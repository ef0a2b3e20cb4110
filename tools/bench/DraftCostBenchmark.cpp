// draft_cost_benchmark MODEL.gguf [--batches 1,2,3,4,8] [--steps 40] [--rounds 3]
// What checking a draft costs: the time of one evaluation of n tokens with the logits of every
// position, as the runner evaluates a chosen token and its draft, after a 1,000-token prompt,
// with the runner's threads and pool. Rounds interleave the batch sizes, since a shared machine's
// speed drifts; one line per batch size with the median and its cost in single evaluations.
#include "platform/languagemodel/LlamaRuntime.h"

#include <llama.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace {

std::vector<int> numbers(const std::string& list)
{
    std::vector<int> values;
    std::stringstream in(list);
    for (std::string item; std::getline(in, item, ',');) {
        values.push_back(std::stoi(item));
    }
    return values;
}

struct ModelFree {
    void operator()(llama_model* model) const { llama_model_free(model); }
};
struct ContextFree {
    void operator()(llama_context* context) const { llama_free(context); }
};

} // namespace

int main(int argc, char** argv)
{
    using namespace kivo;
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s MODEL.gguf [--batches 1,2,3,4,8] [--steps 40] [--rounds 3]\n", argv[0]);
        return 2;
    }
    std::vector<int> batches{1, 2, 3, 4, 5, 8, 9};
    int steps = 40;
    int rounds = 3;
    for (int i = 2; i + 1 < argc; i += 2) {
        const std::string option = argv[i];
        if (option == "--batches") {
            batches = numbers(argv[i + 1]);
        } else if (option == "--steps") {
            steps = std::stoi(argv[i + 1]);
        } else if (option == "--rounds") {
            rounds = std::stoi(argv[i + 1]);
        } else {
            std::fprintf(stderr, "unknown option %s\n", option.c_str());
            return 2;
        }
    }
    if (batches.empty() || std::any_of(batches.begin(), batches.end(), [](int b) { return b < 1 || b > 64; }) ||
        steps < 1 || rounds < 1) {
        std::fprintf(stderr, "batches must be 1..64, steps and rounds at least 1\n");
        return 2;
    }
    if (std::find(batches.begin(), batches.end(), 1) == batches.end()) {
        batches.insert(batches.begin(), 1); // what the others are measured against
    }
    if (const auto problem = LlamaRuntime::start()) {
        std::fprintf(stderr, "%s\n", problem->c_str());
        return 1;
    }
    const std::unique_ptr<llama_model, ModelFree> model(
        llama_model_load_from_file(argv[1], llama_model_default_params()));
    if (!model) {
        std::fprintf(stderr, "cannot load %s\n", argv[1]);
        return 1;
    }
    const int threads = LlamaRuntime::threadCount(llama_model_size(model.get()));
    auto pool = LlamaRuntime::makeThreadpool(threads);
    llama_context_params params = llama_context_default_params();
    params.n_ctx = 4096;
    params.n_batch = 2048;
    params.n_ubatch = 512;
    params.n_threads = threads;
    params.n_threads_batch = threads;
    params.no_perf = true;
    const std::unique_ptr<llama_context, ContextFree> context(llama_init_from_model(model.get(), params));
    if (!context) {
        std::fprintf(stderr, "cannot create a context\n");
        return 1;
    }
    if (pool) {
        llama_attach_threadpool(context.get(), pool.get(), nullptr);
    }
    const int vocabulary = llama_vocab_n_tokens(llama_model_get_vocab(model.get()));
    const auto token = [vocabulary](int i) { return static_cast<llama_token>(1000 + (i * 37) % (vocabulary - 2000)); };

    constexpr int promptLength = 1000;
    std::vector<llama_token> prompt(promptLength);
    for (int i = 0; i < promptLength; ++i) {
        prompt[static_cast<std::size_t>(i)] = token(i);
    }
    for (int start = 0; start < promptLength; start += 512) {
        if (llama_decode(context.get(),
                         llama_batch_get_one(prompt.data() + start, std::min(512, promptLength - start))) != 0) {
            std::fprintf(stderr, "the prompt failed\n");
            return 1;
        }
    }
    const int largest = *std::max_element(batches.begin(), batches.end());
    llama_batch batch = llama_batch_init(largest, 0, 1);
    std::map<int, std::vector<double>> milliseconds;
    int position = promptLength;
    for (int round = 0; round < rounds; ++round) {
        for (const int size : batches) {
            const auto began = std::chrono::steady_clock::now();
            for (int step = 0; step < steps; ++step) {
                batch.n_tokens = size;
                for (int i = 0; i < size; ++i) {
                    batch.token[i] = token(position + i);
                    batch.pos[i] = position + i;
                    batch.n_seq_id[i] = 1;
                    batch.seq_id[i][0] = 0;
                    batch.logits[i] = 1;
                }
                const int now = LlamaRuntime::threadsNow(threads);
                llama_set_n_threads(context.get(), now, now);
                if (llama_decode(context.get(), batch) != 0) {
                    std::fprintf(stderr, "an evaluation failed\n");
                    llama_batch_free(batch);
                    return 1;
                }
                // As after a draft that failed at its first token: one token stays.
                llama_memory_seq_rm(llama_get_memory(context.get()), 0, position + 1, -1);
                ++position;
                if (position + largest >= static_cast<int>(params.n_ctx)) {
                    llama_memory_seq_rm(llama_get_memory(context.get()), 0, promptLength, -1);
                    position = promptLength;
                }
            }
            const double spent =
                std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - began).count();
            milliseconds[size].push_back(spent / steps);
        }
    }
    llama_batch_free(batch);
    const auto median = [](std::vector<double> values) {
        std::sort(values.begin(), values.end());
        return values[values.size() / 2];
    };
    const double single = median(milliseconds[1]);
    std::printf("threads %d, module %s\nbatch\tms/evaluation\tsingle evaluations\tms/token\n", threads,
                LlamaRuntime::cpuModule().c_str());
    for (const auto& [size, values] : milliseconds) {
        const double ms = median(values);
        std::printf("%d\t%.1f\t%.2f\t%.1f\n", size, ms, ms / single, ms / size);
    }
    return 0;
}
