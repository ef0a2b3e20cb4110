// The real rewrite-runner binary as a child process, against tiny generated models.
#include "tests/support/ChildProcess.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <regex>

namespace kivo::test {
namespace {

using nlohmann::json;

struct Reply {
    ChildResult process;
    json object;
};

json request(const std::string& source = "今日天氣好好。")
{
    return {{"source", source},
            {"sourceLocale", "zh-HK"},
            {"locale", "zh-TW"},
            {"instructions", "Rewrite the transcript as written Chinese."},
            {"literalMapJSON", "[]"}};
}

// What every reply must be, whatever happened: one line of sorted compact JSON on standard
// output, nothing on standard error, exit status 0, and the four keys that are always there.
void expectWellFormed(const Reply& reply)
{
    ASSERT_EQ(reply.process.exitStatus, 0) << "signal " << reply.process.signal;
    EXPECT_EQ(reply.process.err, "");
    ASSERT_FALSE(reply.process.out.empty());
    EXPECT_EQ(reply.process.out.back(), '\n');
    EXPECT_EQ(reply.process.out.find('\n'), reply.process.out.size() - 1);
    ASSERT_TRUE(reply.object.is_object()) << reply.process.out;
    std::string unescaped = reply.process.out;
    for (std::size_t at = 0; (at = unescaped.find('/', at)) != std::string::npos;) {
        ASSERT_TRUE(at > 0 && unescaped[at - 1] == '\\') << "every / is written \\/";
        unescaped.erase(at - 1, 1);
    }
    EXPECT_EQ(reply.object.dump() + "\n", unescaped) << "compact, keys sorted";
    EXPECT_EQ(reply.object.value("model", ""), "SystemLanguageModel.default");
    EXPECT_TRUE(
        std::regex_match(reply.object.value("startedAt", ""), std::regex(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ)")));
    ASSERT_TRUE(reply.object.contains("elapsedSeconds"));
    EXPECT_TRUE(reply.object["elapsedSeconds"].is_number_float());
    const std::string status = reply.object.value("status", "");
    EXPECT_TRUE(status == "generated" || status == "empty" || status == "error") << status;
    const bool isError = status == "error";
    for (const char* key : {"errorType", "error", "localizedError"}) {
        EXPECT_EQ(reply.object.contains(key), isError) << key;
    }
}

// Runs the runner and checks that its reply is well formed.
Reply runRunner(const std::string& input, const std::string& dataHome)
{
    Reply reply;
    reply.process = runChild(KIVO_REWRITE_RUNNER, {}, input, {{"XDG_DATA_HOME", dataHome}});
    reply.object = json::parse(reply.process.out, nullptr, false);
    expectWellFormed(reply);
    return reply;
}

class RewriteRunnerTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        for (const char* style : {"letter", "blank", "runaway", "recall"}) {
            folders[style] = std::make_unique<TinyModelHome>(std::vector<std::string>{"--style", style});
        }
    }
    static void TearDownTestSuite() { folders.clear(); }
    static std::string model(const std::string& style) { return folders.at(style)->path(); }

    static std::map<std::string, std::unique_ptr<TinyModelHome>> folders;
};
std::map<std::string, std::unique_ptr<TinyModelHome>> RewriteRunnerTest::folders;

TEST_F(RewriteRunnerTest, MalformedRequestsGetADecodingErrorWithoutAvailability)
{
    json missing = request();
    missing.erase("locale");
    json wrongType = request();
    wrongType["instructions"] = 42;
    json nullRequired = request();
    nullRequired["source"] = nullptr;
    json prefixNotString = request();
    prefixNotString["taskPrefix"] = json::array();
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"", "dataCorrupted"},
        {"   \n", "dataCorrupted"},
        {"{\"source\":", "dataCorrupted"},
        {"[\"source\"]", "typeMismatch"},
        {"\"just text\"", "typeMismatch"},
        {missing.dump(), "keyNotFound(\"locale\""},
        {wrongType.dump(), "typeMismatch(\"instructions\""},
        {nullRequired.dump(), "valueNotFound(\"source\""},
        {prefixNotString.dump(), "typeMismatch(\"taskPrefix\""},
        {"{\"source\":\"a\xff\",\"sourceLocale\":\"zh-HK\",\"locale\":\"en\",\"instructions\":\"i\"}", "dataCorrupted"},
        {"{\"source\":\"\\ud800\",\"sourceLocale\":\"zh-HK\",\"locale\":\"en\",\"instructions\":\"i\"}",
         "dataCorrupted"},
    };
    for (const auto& [input, expected] : cases) {
        SCOPED_TRACE(input);
        const Reply reply = runRunner(input, model("letter"));
        EXPECT_EQ(reply.object.value("status", ""), "error");
        EXPECT_EQ(reply.object.value("errorType", ""), "rewrite_runner.DecodingError");
        EXPECT_EQ(reply.object.value("error", "").rfind("DecodingError." + expected, 0), 0u)
            << reply.object.value("error", "");
        EXPECT_FALSE(reply.object.value("localizedError", "").empty());
        EXPECT_FALSE(reply.object.contains("availability"));
        EXPECT_FALSE(reply.object.contains("tokens"));
    }
}

TEST_F(RewriteRunnerTest, MissingOrBrokenModelIsReportedAsUnavailable)
{
    ASSERT_FALSE(std::filesystem::exists("/usr/share/kivo/models/language-model.gguf"))
        << "a system-wide model would hide the missing user model";
    TemporaryFolder empty;
    Reply reply = runRunner(request().dump(), empty.path());
    const std::string availability = reply.object.value("availability", "");
    EXPECT_EQ(availability.rfind("unavailable(modelNotFound: ", 0), 0u) << availability;
    EXPECT_NE(availability.find(empty.path() + "/kivo/models/language-model.gguf"), std::string::npos);
    EXPECT_EQ(reply.object.value("errorType", ""), "rewrite_runner.Run.ProbeError");
    EXPECT_EQ(reply.object.value("error", ""), "ProbeError.unavailable(\"" + availability + "\")");
    EXPECT_EQ(reply.object.value("localizedError", ""),
              "The operation couldn\u2019t be completed. (rewrite_runner.Run.ProbeError error 0.)");

    std::filesystem::create_directories(empty.path() + "/kivo/models");
    std::ofstream(empty.path() + "/kivo/models/language-model.gguf") << "GGUF but not really";
    reply = runRunner(request().dump(), empty.path());
    EXPECT_EQ(reply.object.value("availability", "").rfind("unavailable(modelInvalid: ", 0), 0u);
    EXPECT_EQ(reply.object.value("status", ""), "error");
}

TEST_F(RewriteRunnerTest, UnsupportedSourceOrOutputLocaleIsRefusedBeforeCounting)
{
    for (const auto& [key, value] : {std::pair{"sourceLocale", "fr-FR"}, {"locale", "ja"}, {"locale", ""}}) {
        json input = request();
        input[key] = value;
        const Reply reply = runRunner(input.dump(), model("letter"));
        EXPECT_EQ(reply.object.value("availability", ""), "available");
        EXPECT_EQ(reply.object.value("error", ""), "ProbeError.unsupportedLocale");
        EXPECT_FALSE(reply.object.contains("tokens"));
    }
}

TEST_F(RewriteRunnerTest, CompletedGenerationsReportTextRawOutputAndTokens)
{
    Reply reply = runRunner(request().dump(), model("letter"));
    EXPECT_EQ(reply.object.value("status", ""), "generated");
    EXPECT_EQ(reply.object.value("text", ""), "a");
    EXPECT_EQ(reply.object.value("rawStructuredOutput", ""), "{\"text\":\"a\"}");
    EXPECT_EQ(reply.object.value("outputTokens", 0), 12); // one token per byte
    const json& tokens = reply.object["tokens"];
    EXPECT_EQ(tokens.value("outputReserve", 0), 2048);
    EXPECT_EQ(tokens.value("frameworkMargin", 0), 512);
    EXPECT_EQ(tokens.value("context", 0), 8192);

    // Whitespace only: "empty", with the text kept exactly as generated.
    reply = runRunner(request().dump(), model("blank"));
    EXPECT_EQ(reply.object.value("status", ""), "empty");
    EXPECT_EQ(reply.object.value("text", "missing"), " ");
    EXPECT_TRUE(reply.object.contains("outputTokens"));

    // The recall model answers "b" only when it has read a "J", which here only the schema's
    // wording has: the record's shape is part of what the model is given.
    for (const char* field : {"source", "instructions"}) {
        ASSERT_EQ(request()[field].get<std::string>().find('J'), std::string::npos);
    }
    reply = runRunner(request().dump(), model("recall"));
    EXPECT_EQ(reply.object.value("text", ""), "b");
}

TEST_F(RewriteRunnerTest, HittingTheResponseCapIsAnErrorNotATruncatedResult)
{
    const Reply reply = runRunner(request().dump(), model("runaway"));
    EXPECT_EQ(reply.object.value("status", ""), "error");
    EXPECT_EQ(reply.object.value("errorType", ""), "kivo.LanguageModelError");
    EXPECT_EQ(reply.object.value("error", "").rfind("LanguageModelError.exceededMaximumResponseTokens(\"2048 ", 0), 0u);
    EXPECT_TRUE(reply.object.contains("tokens"));
    EXPECT_FALSE(reply.object.contains("text"));
    EXPECT_FALSE(reply.object.contains("rawStructuredOutput"));
}

TEST_F(RewriteRunnerTest, ProgressGoesToItsOwnDescriptorAndABadOneIsAUsageError)
{
    TemporaryFolder folder;
    const std::string progressFile = folder.path() + "/progress";
    const auto runWithProgress = [&](const std::string& styleModel, const std::string& descriptor) {
        Reply reply;
        reply.process =
            runChild("/bin/sh",
                     {"-c", "exec \"$0\" --progress-fd \"$1\" 3>\"$2\"", KIVO_REWRITE_RUNNER, descriptor, progressFile},
                     request().dump(), {{"XDG_DATA_HOME", model(styleModel)}});
        reply.object = json::parse(reply.process.out, nullptr, false);
        return reply;
    };
    // The reply is unchanged; the report starts with the expected length (one token per byte of
    // the record the source would make) and only ever counts up, within the response cap.
    const std::string record = json{{"text", request()["source"]}}.dump();
    for (const char* style : {"letter", "runaway"}) {
        expectWellFormed(runWithProgress(style, "3"));
        std::ifstream file(progressFile);
        std::vector<std::pair<int, int>> lines;
        for (int written = 0, expected = 0; file >> written >> expected;) {
            lines.emplace_back(written, expected);
        }
        ASSERT_FALSE(lines.empty()) << style;
        EXPECT_EQ(lines.front(), std::make_pair(0, static_cast<int>(record.size()))) << style;
        for (std::size_t i = 1; i < lines.size(); ++i) {
            EXPECT_GT(lines[i].first, lines[i - 1].first) << style;
            EXPECT_LE(lines[i].first, 2048) << style;
            EXPECT_EQ(lines[i].second, lines.front().second) << style;
        }
    }
    // Standard output, a closed descriptor or no number: the usage, and no reply.
    for (const char* bad : {"1", "9", "x", "3x"}) {
        const Reply reply = runWithProgress("letter", bad);
        EXPECT_EQ(reply.process.exitStatus, 2) << bad;
        EXPECT_EQ(reply.process.out, "") << bad;
        EXPECT_EQ(reply.process.err.rfind("usage: rewrite-runner", 0), 0u) << bad;
    }
}

TEST_F(RewriteRunnerTest, TaskPrefixAddsItsLineOnlyWhenPresent)
{
    auto inputTokens = [&](const json& input) {
        const Reply reply = runRunner(input.dump(), model("letter"));
        return reply.object["tokens"].value("input", -1);
    };
    json absent = request();
    json null = request();
    null["taskPrefix"] = nullptr;
    json empty = request();
    empty["taskPrefix"] = "";
    json task = request();
    task["taskPrefix"] = "Task: rewrite.";
    const int base = inputTokens(absent);
    // The tiny model has one token per byte; the fixed frame is the transcript block.
    EXPECT_EQ(base,
              static_cast<int>(std::string("Source transcript (data only):\n<transcript>\n\n</transcript>").size() +
                               absent["source"].get<std::string>().size()));
    EXPECT_EQ(inputTokens(null), base);
    EXPECT_EQ(inputTokens(empty), base + 1); // just the line feed
    EXPECT_EQ(inputTokens(task), base + static_cast<int>(std::string("Task: rewrite.\n").size()));
}

TEST_F(RewriteRunnerTest, BudgetEqualToTheContextPassesOneTokenMoreFails)
{
    const std::string input = request(std::string(600, 'x')).dump();
    const json counted = runRunner(input, model("letter")).object["tokens"];
    const int total =
        counted.value("input", 0) + counted.value("instructions", 0) + counted.value("schema", 0) + 2048 + 512;

    TinyModelHome exact({"--context", std::to_string(total)});
    Reply reply = runRunner(input, exact.path());
    EXPECT_EQ(reply.object["tokens"].value("context", 0), total);
    EXPECT_EQ(reply.object.value("status", ""), "generated") << reply.process.out;

    TinyModelHome tight({"--context", std::to_string(total - 1)});
    reply = runRunner(input, tight.path());
    EXPECT_EQ(reply.object.value("error", ""), "ProbeError.budgetExceeded");
    EXPECT_EQ(reply.object.value("availability", ""), "available");
    EXPECT_EQ(reply.object["tokens"].size(), 6u);
    EXPECT_FALSE(reply.object.contains("text"));
}

// The order of the checks is part of the wire format: a request that does not decode is never
// shown to the model, and a missing model is reported before any locale question.
TEST_F(RewriteRunnerTest, AvailabilityIsCheckedAfterDecodingAndBeforeLocales)
{
    TemporaryFolder empty;
    json unsupported = request();
    unsupported["locale"] = "ja";
    Reply reply = runRunner(unsupported.dump(), empty.path());
    EXPECT_EQ(reply.object.value("error", "").rfind("ProbeError.unavailable(", 0), 0u) << reply.process.out;
    EXPECT_FALSE(reply.object.contains("tokens"));

    json broken = request();
    broken.erase("instructions");
    reply = runRunner(broken.dump(), empty.path());
    EXPECT_EQ(reply.object.value("errorType", ""), "rewrite_runner.DecodingError");
    EXPECT_FALSE(reply.object.contains("availability"));
}

// A chat template that drops every message's text cannot count the instructions: the reply is
// an error that shows no token counts, not a partial set.
TEST_F(RewriteRunnerTest, FailedTokenCountingReportsNoTokens)
{
    TinyModelHome broken;
    const std::string file = broken.path() + "/kivo/models/language-model.gguf";
    std::string bytes;
    {
        std::ifstream in(file, std::ios::binary);
        bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    const std::string content = "message['content']";
    const auto at = bytes.find(content);
    ASSERT_NE(at, std::string::npos);
    bytes.replace(at, content.size(), "''" + std::string(content.size() - 2, ' ')); // same length
    std::ofstream(file, std::ios::binary | std::ios::trunc) << bytes;

    const Reply reply = runRunner(request().dump(), broken.path());
    EXPECT_EQ(reply.object.value("status", ""), "error") << reply.process.out;
    EXPECT_FALSE(reply.object.contains("tokens")) << reply.process.out;
    EXPECT_FALSE(reply.object.contains("text"));
}

// Mutated requests through the real binary: whatever the bytes, a well-formed reply and exit 0.
TEST_F(RewriteRunnerTest, MutatedRequestsNeverCrashTheRunner)
{
    const std::string seed = [] {
        json input = request("Call 3/4 at https://x.io \"now\"");
        input["taskPrefix"] = "Task";
        return input.dump();
    }();
    std::mt19937 random(1234);
    const int runs = 150;
    for (int run = 0; run < runs; ++run) {
        std::string input = seed;
        const int edits = 1 + static_cast<int>(random() % 4);
        for (int edit = 0; edit < edits && !input.empty(); ++edit) {
            const std::size_t at = random() % input.size();
            switch (random() % 4) {
            case 0: input[at] = static_cast<char>(random() % 256); break;
            case 1: input.erase(at, 1 + random() % 8); break;
            case 2: input.insert(at, std::string(1, static_cast<char>(random() % 256))); break;
            default: input.resize(at); break;
            }
        }
        SCOPED_TRACE(testing::PrintToString(input));
        runRunner(input, model("letter"));
        if (HasFailure())
            break;
    }
    RecordProperty("runnerInputs", runs);
}

} // namespace
} // namespace kivo::test
