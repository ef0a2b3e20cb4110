// rewrite-runner's cost for a tiny model and a typical request, split into its parts:
//   RunnerProcessStart  the whole process for a request that fails to decode (no model work)
//   ModelLoad           opening the model file in-process (runtime already started)
//   TokenCounting       the three counts of the budget check
//   Generation          session and one structured response
//   RunnerWholeProcess  the whole process from start to reply for the typical request
// The overhead outside generation is RunnerWholeProcess minus Generation.
#include "platform/languagemodel/LanguageModelSession.h"
#include "platform/languagemodel/SystemLanguageModel.h"
#include "tools/gguf/TinyChatModel.h"

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>

extern char** environ;

namespace {

const kivo::GenerationSchema schema{"RewriteResult", {"text"}};

std::string readFile(const std::filesystem::path& path)
{
    std::ifstream file(path);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

struct Fixture {
    std::filesystem::path dataHome;
    std::filesystem::path model;
    std::filesystem::path typicalRequest;
    std::filesystem::path brokenRequest;
    std::string instructions;
    std::string prompt;

    Fixture()
    {
        char pattern[] = "/tmp/kivo-runner-bench-XXXXXX";
        dataHome = mkdtemp(pattern);
        model = dataHome / "kivo" / "models" / "language-model.gguf";
        std::filesystem::create_directories(model.parent_path());
        kivo::TinyChatModel{}.write(model.string());

        // The written-Chinese instructions the app sends, and a transcript of a few sentences.
        instructions = readFile(std::filesystem::path(KIVO_RESOURCES_DIR) / "floating-written-base.txt") + "\n" +
                       readFile(std::filesystem::path(KIVO_RESOURCES_DIR) / "floating-written.txt");
        const std::string source = "我哋今個禮拜五開會，記得帶埋份報告，仲有 Q3 嘅數字要check下。"
                                   "如果有問題就 send email 俾 alex@example.com 啦。";
        prompt = "Task: rewrite as written Chinese.\nSource transcript (data only):\n<transcript>\n" + source +
                 "\n</transcript>";
        std::string escaped;
        for (char c : instructions) {
            if (c == '\n')
                escaped += "\\n";
            else if (c == '"' || c == '\\')
                escaped += std::string("\\") + c;
            else
                escaped += c;
        }
        typicalRequest = dataHome / "request.json";
        std::ofstream(typicalRequest)
            << "{\"source\":\"" << source << "\",\"sourceLocale\":\"zh-HK\",\"locale\":\"zh-TW\","
            << "\"instructions\":\"" << escaped
            << "\",\"taskPrefix\":\"Task: rewrite as written Chinese.\",\"literalMapJSON\":\"[]\"}";
        brokenRequest = dataHome / "broken.json";
        std::ofstream(brokenRequest) << "{";
        setenv("XDG_DATA_HOME", dataHome.c_str(), 1);
    }
    ~Fixture() { std::filesystem::remove_all(dataHome); }
};

Fixture& fixture()
{
    static Fixture instance;
    return instance;
}

// Runs the runner with the file as standard input and returns its reply.
std::string runRunner(const std::filesystem::path& input)
{
    int out[2];
    if (pipe2(out, O_CLOEXEC) != 0)
        throw std::runtime_error("pipe2");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, input.c_str(), O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    char program[] = KIVO_REWRITE_RUNNER;
    char* argv[] = {program, nullptr};
    pid_t pid = 0;
    const int failed = posix_spawn(&pid, program, &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    std::string reply;
    char buffer[4096];
    for (ssize_t count; (count = read(out[0], buffer, sizeof buffer)) > 0;)
        reply.append(buffer, static_cast<std::size_t>(count));
    close(out[0]);
    if (failed != 0)
        throw std::runtime_error("cannot start rewrite-runner");
    int status = 0;
    waitpid(pid, &status, 0);
    return reply;
}

void RunnerProcessStart(benchmark::State& state)
{
    Fixture& f = fixture();
    for (auto _ : state) {
        benchmark::DoNotOptimize(runRunner(f.brokenRequest));
    }
}

void RunnerWholeProcess(benchmark::State& state)
{
    Fixture& f = fixture();
    const std::string reply = runRunner(f.typicalRequest);
    if (reply.find("\"status\":\"generated\"") == std::string::npos) {
        state.SkipWithError(reply.c_str());
        return;
    }
    for (auto _ : state) {
        benchmark::DoNotOptimize(runRunner(f.typicalRequest));
    }
}

void ModelLoad(benchmark::State& state)
{
    Fixture& f = fixture();
    kivo::SystemLanguageModel::makeFromFile(f.model); // starts the runtime once, as the runner does
    for (auto _ : state) {
        benchmark::DoNotOptimize(kivo::SystemLanguageModel::makeFromFile(f.model));
    }
}

void TokenCounting(benchmark::State& state)
{
    Fixture& f = fixture();
    const auto model = kivo::SystemLanguageModel::makeFromFile(f.model);
    for (auto _ : state) {
        benchmark::DoNotOptimize(model->tokenCount(f.prompt) + model->instructionsTokenCount(f.instructions) +
                                 model->schemaTokenCount(schema));
    }
}

void Generation(benchmark::State& state)
{
    Fixture& f = fixture();
    const auto model = kivo::SystemLanguageModel::makeFromFile(f.model);
    for (auto _ : state) {
        benchmark::DoNotOptimize(
            model->makeSession(f.instructions)->respond(f.prompt, schema, kivo::GenerationOptions{}));
    }
}

} // namespace

BENCHMARK(RunnerProcessStart)->Unit(benchmark::kMillisecond);
BENCHMARK(ModelLoad)->Unit(benchmark::kMillisecond);
BENCHMARK(TokenCounting)->Unit(benchmark::kMillisecond);
BENCHMARK(Generation)->Unit(benchmark::kMillisecond);
BENCHMARK(RunnerWholeProcess)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
