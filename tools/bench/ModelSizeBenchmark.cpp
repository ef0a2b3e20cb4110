// model_size_benchmark: the language model's time for real-size models, per mode and transcript
// length, with the requests the app builds and the prompt the runner builds.
//   model_size_benchmark [--sizes 0.5b,1.5b,3b] [--modes written,cantonese,english]
//                        [--lengths 30,300,1000] [--tokenizer TOKENIZER.JSON] [--models FOLDER]
//                        [--type q4_k_m|q4_0] [--runs cold,warm,prepared,plain,copy100,copy75]
// Models are qwen2-shaped with random weights (kivo-qwen-gguf), generated once into FOLDER.
// Random weights never close the record, so generation is capped at the transcript's own
// length in tokens: about what a rewrite of it takes. Each case runs as listed in --runs: "cold"
// without a kept instructions state, "warm" with the state the run before kept (in a private
// tmpfs folder), "prepared" after a preparation run (as rewrite-runner --prepare makes) on an
// empty folder, which is timed on a line of its own ("prepare"), "plain" as warm but without
// drafting. Random weights write nothing of the transcript, so drafts from it never agree;
// "copyN" is a warm run whose drafts come from the answer of the run before it, with every
// token wrong where N percent agreement needs it (copy100: the whole answer, copy75: every
// fourth token wrong); on random weights the answer drifts from the one it copies as soon as
// batched evaluation rounds a near tie the other way, so it shows the first drafts agreeing.
// Prints one tab-separated line per run, with the process's processor seconds and the drafted
// and agreed tokens.
#include "app/conversion/OutputMode.h"
#include "platform/languagemodel/LanguageModelError.h"
#include "platform/languagemodel/LanguageModelSession.h"
#include "platform/languagemodel/LlamaRuntime.h"
#include "platform/languagemodel/SystemLanguageModel.h"
#include "runner/PromptLayout.h"
#include "tools/gguf/QwenShapedModel.h"

#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using namespace kivo;

// Everyday Cantonese speech as a recogniser writes it; repeated to the length wanted.
const std::u32string passage =
    U"我哋今個禮拜五開會，你記得帶埋份報告啊。琴日我同阿媽去咗街市買餸，啲菜貴咗好多。"
    U"佢話下個月想搬屋，不過仲未搵到啱嘅地方，搵咗好耐都冇結果。聽日落雨嘅話我哋就唔去行山喇，"
    U"留喺屋企睇戲算啦。你食咗飯未呀？我肚餓到死，不如一齊去樓下茶餐廳食個下午茶。";

std::string transcript(std::size_t characters)
{
    std::u32string text;
    while (text.size() < characters) {
        text += passage;
    }
    text.resize(characters);
    std::string utf8;
    for (const char32_t c : text) {
        if (c < 0x80) {
            utf8 += static_cast<char>(c);
        } else if (c < 0x800) {
            utf8 += static_cast<char>(0xC0 | (c >> 6));
            utf8 += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            utf8 += static_cast<char>(0xE0 | (c >> 12));
            utf8 += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            utf8 += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return utf8;
}

double processorSeconds()
{
    timespec now{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

std::vector<std::string> split(const std::string& list)
{
    std::vector<std::string> items;
    std::stringstream stream(list);
    for (std::string item; std::getline(stream, item, ',');) {
        if (!item.empty())
            items.push_back(item);
    }
    return items;
}

} // namespace

int main(int argc, char** argv)
{
    std::string sizes = "0.5b,1.5b", modes = "written,cantonese,english", lengths = "30,300,1000";
    std::string tokenizer = KIVO_QWEN_TOKENIZER;
    std::string fileType = "q4_k_m";
    std::string runs = "cold,warm";
    std::filesystem::path models = KIVO_BENCH_MODELS_DIR;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string option = argv[i];
        const std::string value = argv[i + 1];
        if (option == "--sizes")
            sizes = value;
        else if (option == "--modes")
            modes = value;
        else if (option == "--lengths")
            lengths = value;
        else if (option == "--tokenizer")
            tokenizer = value;
        else if (option == "--models")
            models = value;
        else if (option == "--type")
            fileType = value;
        else if (option == "--runs")
            runs = value;
        else {
            std::fprintf(stderr, "model_size_benchmark: unknown option %s\n", option.c_str());
            return 2;
        }
    }
    // A private memory-backed runtime folder, so that "cold" really starts without a kept state.
    char runtime[] = "/dev/shm/kivo-bench-XXXXXX";
    if (::mkdtemp(runtime) == nullptr) {
        std::perror("model_size_benchmark: /dev/shm");
        return 1;
    }
    ::setenv("XDG_RUNTIME_DIR", runtime, 1);

    std::printf("run\tsize\tmode\tchars\tprompt_tokens\treused\tprompt_s\tgen_tokens\tgen_ms_per_token\twall_s\tcpu_s"
                "\tdrafted\tagreed\n");
    const GenerationSchema schema{"RewriteResult", {"text"}};
    for (const std::string& size : split(sizes)) {
        const auto file = models / ("qwen2-" + size + "-" + fileType + ".gguf");
        if (!std::filesystem::exists(file)) {
            std::fprintf(stderr, "model_size_benchmark: generating %s\n", file.c_str());
            std::filesystem::create_directories(models);
            QwenShapedModel generator;
            generator.shape = QwenShapedModel::shapeNamed(size);
            generator.tokenizerJson = tokenizer;
            generator.fileType = fileType;
            generator.write(file.string());
        }
        const auto model = SystemLanguageModel::makeFromFile(file);
        if (!model->isAvailable()) {
            std::fprintf(stderr, "model_size_benchmark: %s\n", model->availability().description().c_str());
            return 1;
        }
        std::fprintf(stderr, "model_size_benchmark: %s with %s\n", file.filename().c_str(),
                     LlamaRuntime::cpuModule().c_str());
        for (const std::string& modeName : split(modes)) {
            const auto mode = OutputMode::fromModeName(modeName);
            if (!mode) {
                std::fprintf(stderr, "model_size_benchmark: unknown mode %s\n", modeName.c_str());
                return 2;
            }
            for (const std::string& length : split(lengths)) {
                const RewriteRequest request =
                    mode->request(transcript(std::stoul(length)), std::filesystem::path(KIVO_RESOURCES_DIR)).request;
                const std::string prompt = PromptLayout::build(request.source, request.taskPrefix);
                GenerationOptions options;
                options.maximumResponseTokens = model->tokenCount(request.source);
                options.sharedPromptBytes = PromptLayout::sourceOffset(request.taskPrefix);
                std::vector<std::int32_t> lastAnswer;
                for (const std::string& run : split(runs)) {
                    GenerationOptions runOptions = options;
                    if (run == "plain") {
                        runOptions.draftTokens = 0;
                    } else if (run.rfind("copy", 0) == 0) {
                        const int share = std::stoi(run.substr(4));
                        const std::size_t period = share >= 100 ? 0 : static_cast<std::size_t>(100 / (100 - share));
                        runOptions.draftSource = lastAnswer;
                        for (std::size_t i = 0; period > 0 && i < lastAnswer.size(); ++i) {
                            if (i % period == period - 1) {
                                runOptions.draftSource[i] = lastAnswer[i] + 1;
                            }
                        }
                    }
                    if (run == "cold" || run == "prepared") {
                        std::filesystem::remove_all(std::filesystem::path(runtime) / "kivo-prefix");
                    }
                    if (run == "prepared") {
                        const auto started = std::chrono::steady_clock::now();
                        const double processorStart = processorSeconds();
                        int kept = 0;
                        model->makeSession(request.instructions)
                            ->prepare(PromptLayout::withoutSource(request.taskPrefix), schema, options, kept);
                        const double wall =
                            std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
                        std::printf("prepare\t%s\t%s\t%s\t%d\t0\t%.2f\t0\t0.0\t%.2f\t%.2f\t0\t0\n", size.c_str(),
                                    modeName.c_str(), length.c_str(), kept, wall, wall,
                                    processorSeconds() - processorStart);
                    }
                    const auto started = std::chrono::steady_clock::now();
                    const double processorStart = processorSeconds();
                    const auto session = model->makeSession(request.instructions);
                    try {
                        session->respond(prompt, schema, runOptions);
                    } catch (const LanguageModelError& error) {
                        if (error.errorCase() != LanguageModelError::Case::exceededMaximumResponseTokens &&
                            error.errorCase() != LanguageModelError::Case::invalidGeneratedContent) {
                            std::fprintf(stderr, "model_size_benchmark: %s\n", error.debugDescription().c_str());
                        }
                    }
                    const double wall =
                        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
                    const GenerationTimings& t = session->lastTimings();
                    std::printf("%s\t%s\t%s\t%s\t%d\t%d\t%.2f\t%d\t%.1f\t%.2f\t%.2f\t%d\t%d\n", run.c_str(),
                                size.c_str(), modeName.c_str(), length.c_str(), t.promptTokens, t.reusedTokens,
                                t.promptSeconds, t.generatedTokens,
                                t.generatedTokens > 0 ? 1000.0 * t.generationSeconds / t.generatedTokens : 0.0, wall,
                                processorSeconds() - processorStart, t.draftedTokens, t.acceptedDraftTokens);
                    if (run.rfind("copy", 0) != 0) {
                        lastAnswer = t.answerTokens;
                    }
                    std::fflush(stdout);
                }
            }
        }
    }
    std::filesystem::remove_all(runtime);
    return 0;
}
