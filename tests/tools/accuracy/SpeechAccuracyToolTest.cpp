// speech_accuracy run as a user would, on a generated model and espeak-ng speech.
#include "tests/platform/speech/SpeechFixtures.h"
#include "tests/support/ChildProcess.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <filesystem>
#include <fstream>

namespace kivo {
namespace {

test::ChildResult accuracy(const std::vector<std::string>& arguments)
{
    std::vector<std::string> all{"120", KIVO_SPEECH_ACCURACY};
    all.insert(all.end(), arguments.begin(), arguments.end());
    return test::runChild("/usr/bin/timeout", all, "");
}

TEST(SpeechAccuracyTool, MeasuresEachPairAndTheTotalAndReportsFilesItCannotRead)
{
    const auto& fixtures = testing::SpeechFixtures::shared();
    test::TemporaryFolder folder;
    const std::filesystem::path root = folder.path();
    std::filesystem::copy_file(fixtures.speech, root / "bank.wav");
    std::ofstream(root / "bank.txt") << "你好，我今日想去銀行攞錢，之後同朋友去食晏。\n";
    std::filesystem::copy_file(fixtures.speech, root / "lunch.wav");
    std::ofstream(root / "lunch.txt") << "之後同朋友去食晏\n";
    std::ofstream(root / "broken.wav") << "not a sound file";
    std::ofstream(root / "broken.txt") << "唔該\n";
    std::ofstream(root / "unpaired.wav") << "ignored: no transcript beside it";

    const auto result = accuracy({"--model", fixtures.model.string(), "--offline", "--json", root.string()});
    EXPECT_EQ(result.exitStatus, 1) << result.err; // one file could not be measured
    const auto document = nlohmann::json::parse(result.out);
    ASSERT_EQ(document["files"].size(), 3u);
    EXPECT_EQ(document["files"][0]["name"], "bank");
    EXPECT_EQ(document["files"][1]["name"], "broken");
    EXPECT_NE(document["files"][1]["error"].get<std::string>().find("broken.wav"), std::string::npos);
    EXPECT_EQ(document["files"][2]["name"], "lunch");
    // The total is the edits over all reference characters, not the mean of the rates.
    const auto& bank = document["files"][0];
    const auto& lunch = document["files"][2];
    EXPECT_EQ(bank["referenceCharacters"], 19);
    EXPECT_EQ(lunch["referenceCharacters"], 8);
    const auto& total = document["total"];
    EXPECT_EQ(total["referenceCharacters"], 27);
    EXPECT_EQ(total["edits"].get<int>(), bank["edits"].get<int>() + lunch["edits"].get<int>());
    EXPECT_DOUBLE_EQ(total["cer"].get<double>(), total["edits"].get<double>() / 27.0);
    for (const auto* file : {&bank, &lunch}) {
        EXPECT_GT((*file)["audioSeconds"].get<double>(), 2.0);
        EXPECT_GT((*file)["realTimeFactor"].get<double>(), 0.0);
        EXPECT_GE((*file)["finalizeSeconds"].get<double>(), 0.0);
        EXPECT_TRUE((*file)["untranscribedWindows"].is_number_unsigned()); // under load, finishing may run out of time
    }

    const auto table = accuracy({"--model", fixtures.model.string(), "--offline", root.string()});
    EXPECT_NE(table.out.find("total"), std::string::npos);
    EXPECT_NE(table.out.find("broken"), std::string::npos);
}

TEST(SpeechAccuracyTool, HelpAndUsageMistakes)
{
    const auto help = accuracy({"--help"});
    EXPECT_EQ(help.exitStatus, 0);
    EXPECT_NE(help.out.find("NAME.txt"), std::string::npos);
    EXPECT_EQ(accuracy({"/no/such/folder"}).exitStatus, 2);
    test::TemporaryFolder empty;
    const auto nothing = accuracy({empty.path()});
    EXPECT_EQ(nothing.exitStatus, 2);
    EXPECT_NE(nothing.err.find("NAME.wav"), std::string::npos);
}

} // namespace
} // namespace kivo
