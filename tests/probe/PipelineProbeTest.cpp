// The real pipeline-probe binary as a child process, against tiny generated models.
#include "probe/PipelineProbe.h"
#include "tests/support/ChildProcess.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <filesystem>
#include <fstream>
#include <set>

namespace kivo::test {
namespace {

using nlohmann::json;

json input(const std::string& source = "今日gd好")
{
    return {{"source", source},
            {"locale", "zh-HK"},
            {"operation", "dictation"},
            {"context", "general"},
            {"instruction", ""},
            {"corrections", json::array()},
            {"protectedTerms", json::array()}};
}

struct Report {
    ChildResult process;
    json object;

    std::set<std::string> keys() const
    {
        std::set<std::string> names;
        for (const auto& [key, value] : object.items()) {
            names.insert(key);
        }
        return names;
    }
};

Report runProbe(const std::vector<std::string>& arguments, const std::string& stdinText,
                const std::string& dataHome = "/nonexistent-kivo-data")
{
    Report report;
    report.process = runChild(KIVO_PIPELINE_PROBE, arguments, stdinText, {{"XDG_DATA_HOME", dataHome}});
    report.object = json::parse(report.process.out, nullptr, false);
    EXPECT_EQ(report.process.exitStatus, 0);
    EXPECT_EQ(report.process.err, "");
    EXPECT_TRUE(report.object.is_object()) << report.process.out;
    EXPECT_EQ(report.process.out.find('\n'), report.process.out.size() - 1) << "one line";
    return report;
}

const std::string resources = KIVO_RESOURCES_DIR;

TEST(PipelineProbeProgram, ReportsInputAndPreparationErrorsWithoutPreparedKey)
{
    for (const char* key : {"source", "corrections", "protectedTerms"}) {
        json partial = input();
        partial.erase(key);
        const auto report = runProbe({resources}, partial.dump());
        EXPECT_EQ(report.object.value("status", ""), "error") << key;
        EXPECT_FALSE(report.object.contains("prepared"));
        EXPECT_NE(report.object.value("error", "").find(key), std::string::npos) << report.process.out;
    }
    const auto garbage = runProbe({resources}, "not json \xFF");
    EXPECT_EQ(garbage.object.value("status", ""), "error");

    const auto blank = runProbe({resources}, input(" \n").dump());
    EXPECT_EQ(blank.object.value("error", ""), "pipeline_probe.TextPipeline.PipelineError.emptySource");
}

TEST(PipelineProbeProgram, StopsAfterPreparationWhenAsked)
{
    const auto report = runProbe({resources, "--prepare-only"}, input().dump());
    EXPECT_EQ(report.keys(),
              (std::set<std::string>{"elapsedSeconds", "pipelineVersion", "prepared", "startedAt", "status"}));
    EXPECT_EQ(report.object["status"], "prepared");
    EXPECT_EQ(report.object["pipelineVersion"], "v6.1");
    EXPECT_EQ(report.object["prepared"]["original"]["source"], "今日gd好");

    // Alone, the flag is read as the resource folder, which has no base instructions.
    const auto alone = runProbe({"--prepare-only"}, input().dump());
    EXPECT_EQ(alone.object.value("status", ""), "error");
    EXPECT_NE(alone.object.value("error", "").find("v6-base.txt"), std::string::npos);
}

TEST(PipelineProbeProgram, RelaysTheModelStage)
{
    // No model file: the model keys are there, the token counts are not.
    const auto missing = runProbe({resources}, input().dump());
    EXPECT_EQ(missing.object.value("error", ""), "pipeline_probe.PipelineProbe.Failure.unavailable");
    for (const char* key : {"model", "variant", "availability", "prepared"}) {
        EXPECT_TRUE(missing.object.contains(key)) << key;
    }
    EXPECT_FALSE(missing.object.contains("tokens"));

    TinyModelHome small({"--context", "512"});
    const auto budget = runProbe({resources}, input().dump(), small.path());
    EXPECT_EQ(budget.object.value("error", ""), "pipeline_probe.PipelineProbe.Failure.budgetExceeded");
    ASSERT_TRUE(budget.object.contains("tokens"));
    EXPECT_EQ(budget.object["tokens"].size(), 6u);
    EXPECT_EQ(budget.object["tokens"]["context"], 512);
    EXPECT_FALSE(budget.object.contains("text"));

    TinyModelHome letter;
    // The tiny model answers "a": a plain source gives a clean result, a protected one does not.
    const auto generated = runProbe({resources}, input("好").dump(), letter.path());
    EXPECT_EQ(generated.object.value("status", ""), "generated") << generated.process.out;
    EXPECT_EQ(generated.object.value("text", ""), "a");
    EXPECT_EQ(generated.object.value("rawStructuredOutput", ""), R"({"text":"a"})");
    EXPECT_TRUE(generated.object["outputTokens"].is_number_integer());
    EXPECT_EQ(generated.object["validation"]["humanReviewRequired"], true);
    EXPECT_EQ(generated.object["validation"]["automaticInsertionAllowed"], false);

    const auto review = runProbe({resources}, input("用 v1.2 同 3.5%").dump(), letter.path());
    EXPECT_EQ(review.object.value("status", ""), "review_required");
    EXPECT_EQ(review.object["validation"]["warnings"],
              json::array({"missing_protected_term: 3.5", "missing_protected_term: v1.2", "numeric_change_review"}));

    json english = input();
    english["locale"] = "en-US";
    EXPECT_EQ(runProbe({resources}, english.dump(), letter.path()).object.value("status", ""), "generated");

    TinyModelHome blank({"--style", "blank"});
    EXPECT_EQ(runProbe({resources}, input("好").dump(), blank.path()).object.value("status", ""), "empty");
}

// The budget at its boundary: a total equal to the context still runs, one token more stops
// before generating. The reserve and margin are fixed figures, so they are written out here.
TEST(PipelineProbeProgram, BudgetEqualToTheContextPassesOneTokenMoreFails)
{
    TinyModelHome roomy;
    const std::string request = input("好").dump();
    const json counted = runProbe({resources}, request, roomy.path()).object["tokens"];
    EXPECT_EQ(counted.value("outputReserve", 0), 2048);
    EXPECT_EQ(counted.value("frameworkMargin", 0), 512);
    const int total =
        counted.value("input", 0) + counted.value("instructions", 0) + counted.value("schema", 0) + 2048 + 512;
    ASSERT_LT(total, 8192) << "the tiny model's context is at most 8192";

    TinyModelHome exact({"--context", std::to_string(total)});
    const auto fits = runProbe({resources}, request, exact.path());
    EXPECT_EQ(fits.object["tokens"].value("context", 0), total);
    EXPECT_EQ(fits.object.value("status", ""), "generated") << fits.process.out;

    TinyModelHome tight({"--context", std::to_string(total - 1)});
    const auto over = runProbe({resources}, request, tight.path());
    EXPECT_EQ(over.object.value("error", ""), "pipeline_probe.PipelineProbe.Failure.budgetExceeded");
    EXPECT_FALSE(over.object.contains("text"));

    // A model that never closes its record is stopped at the 2048-token response cap: an error,
    // not a truncated result.
    TinyModelHome runaway({"--style", "runaway"});
    const auto capped = runProbe({resources}, request, runaway.path());
    EXPECT_EQ(capped.object.value("status", ""), "error");
    EXPECT_EQ(capped.object.value("error", "").rfind("LanguageModelError.exceededMaximumResponseTokens(\"2048 ", 0), 0u)
        << capped.process.out;
    EXPECT_FALSE(capped.object.contains("text"));
}

// Base instructions that are not text, or that cannot be read, stop the run with a report that
// names the file and holds no prepared request.
TEST(PipelineProbeProgram, ReportsBaseInstructionsThatAreNotUtf8OrUnreadable)
{
    TemporaryFolder binary;
    std::ofstream(binary.path() + "/v6-base.txt", std::ios::binary) << "Rewrite \xFF\xFE this.";
    const auto notText = runProbe({binary.path()}, input().dump());
    EXPECT_EQ(notText.object.value("status", ""), "error");
    EXPECT_EQ(notText.object.value("error", "").rfind("FileError.notUtf8(\"" + binary.path() + "/v6-base.txt\")", 0),
              0u)
        << notText.process.out;
    EXPECT_FALSE(notText.object.contains("prepared"));

    // Opening succeeds, reading fails, even for root.
    TemporaryFolder unreadable;
    std::filesystem::create_symlink("/proc/self/mem", unreadable.path() + "/v6-base.txt");
    const auto failed = runProbe({unreadable.path()}, input().dump());
    EXPECT_EQ(failed.object.value("status", ""), "error");
    EXPECT_EQ(failed.object.value("error", "").rfind("FileError.notReadable(", 0), 0u) << failed.process.out;
    EXPECT_FALSE(failed.object.contains("prepared"));
}

TEST(PipelineProbeArguments, DefaultFolderIsTheParentOfTheExecutablesFolder)
{
    using PipelineProbe::parseArguments;
    EXPECT_EQ(parseArguments({}, "/opt/Kivo/bin").resources, "/opt/Kivo");
    EXPECT_FALSE(parseArguments({}, "/opt/Kivo/bin").prepareOnly);
    const auto both = parseArguments({"/res", "x", "--prepare-only"}, "/opt/Kivo/bin");
    EXPECT_EQ(both.resources, "/res");
    EXPECT_TRUE(both.prepareOnly);
    EXPECT_EQ(parseArguments({"--prepare-only"}, "/opt/Kivo/bin").resources, "--prepare-only");
}

TEST(PipelineProbeReport, ARuntimeStopIsOneErrorLineEvenForBrokenText)
{
    const auto started = std::chrono::system_clock::now();
    const std::string line = PipelineProbe::runtimeStopped("ops.cpp:3714: GGML_ASSERT(eps >= 0.0f) failed", started);
    ASSERT_EQ(line.find('\n'), line.size() - 1);
    const json report = json::parse(line);
    EXPECT_EQ(report.value("status", ""), "error");
    EXPECT_EQ(report.value("error", ""), "the model runtime stopped: ops.cpp:3714: GGML_ASSERT(eps >= 0.0f) failed");
    EXPECT_TRUE(report.contains("pipelineVersion"));
    EXPECT_GE(report.value("elapsedSeconds", -1.0), 0.0);
    // A message that is not UTF-8 still gives a report the caller can read.
    EXPECT_EQ(json::parse(PipelineProbe::runtimeStopped("bad \xff byte", started)).value("status", ""), "error");
    EXPECT_EQ(json::parse(PipelineProbe::runtimeStopped(nullptr, started)).value("status", ""), "error");
}

} // namespace
} // namespace kivo::test
