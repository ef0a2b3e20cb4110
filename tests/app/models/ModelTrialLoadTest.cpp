#include "app/models/ModelTrialLoad.h"
#include "app/models/ModelError.h"
#include "app/models/ModelInstaller.h"
#include "platform/speech/SpeechModelFile.h"
#include "tests/app/models/ModelsFixture.h"
#include "tools/whisper/DamagedWhisperFiles.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace kivo::test {
namespace {

const std::filesystem::path checkerProgram = KIVO_MODEL_CHECK_PROGRAM;

// The bundle's checker, as the app finds it through the environment in the build tree.
class ModelTrialLoadTest : public ModelsFixture {
protected:
    ScopedEnvironment checker{"KIVO_MODEL_CHECK", checkerProgram.string()};

    std::filesystem::path script(const std::string& name, const std::string& body) const
    {
        const auto path = std::filesystem::path(folder.path()) / name;
        writeAll(path, "#!/bin/sh\n" + body + "\n");
        ::chmod(path.c_str(), 0755);
        return path;
    }
};

TEST_F(ModelTrialLoadTest, TheCheckerReportsOneJsonLineAndRefusesMalformedCommandLines)
{
    EXPECT_EQ(runChild(checkerProgram.string(), {"--help"}, "").exitStatus, 0);
    for (const auto& arguments :
         std::vector<std::vector<std::string>>{{}, {"video", "x"}, {"speech"}, {"speech", "a", "b"}}) {
        const auto run = runChild(checkerProgram.string(), arguments, "");
        EXPECT_EQ(run.exitStatus, 2);
        EXPECT_NE(run.err.find("usage:"), std::string::npos);
    }
    const auto model = std::filesystem::path(folder.path()) / "speech.bin";
    writeAll(model, TinyModels::shared().speech);
    const auto limits = ModelTrialLoad::limitsFor(std::filesystem::file_size(model));
    const auto good = ModelTrialLoad::run(checkerProgram, ModelRole::speech, model, limits);
    EXPECT_TRUE(good.usable);
    EXPECT_EQ(good.english.find("vocabulary 51866: Cantonese (yue)"), 0u) << good.english;
    // The same bytes as the other kind of model.
    const auto wrongKind = ModelTrialLoad::run(checkerProgram, ModelRole::language, model, limits);
    EXPECT_FALSE(wrongKind.usable);
    // An empty setting names no checker; the build tree has no bundle to find one in.
    ::setenv("KIVO_MODEL_CHECK", "", 1);
    EXPECT_FALSE(ModelTrialLoad::checker().has_value());
    ::setenv("KIVO_MODEL_CHECK", checkerProgram.c_str(), 1);
    EXPECT_EQ(ModelTrialLoad::checker(), checkerProgram);
    EXPECT_EQ(limits.addressSpace, (1ull << 30) + 2 * std::filesystem::file_size(model));
}

TEST_F(ModelTrialLoadTest, ACrashALimitOrNoVerdictInTheChildIsAnUnusableFile)
{
    const auto model = std::filesystem::path(folder.path()) / "any.bin";
    writeAll(model, "x");
    const ModelTrialLoad::Limits quick{1ull << 30, std::chrono::milliseconds(500)};
    const auto crashed = ModelTrialLoad::run(script("crash", "kill -SEGV $$"), ModelRole::speech, model, quick);
    EXPECT_FALSE(crashed.usable);
    EXPECT_NE(crashed.english.find("crashed or ran out of memory (signal 11)"), std::string::npos) << crashed.english;
    const auto hung = ModelTrialLoad::run(script("hang", "exec sleep 30"), ModelRole::speech, model, quick);
    EXPECT_FALSE(hung.usable);
    EXPECT_NE(hung.english.find("took longer than 0 s"), std::string::npos) << hung.english;
    const auto garbled =
        ModelTrialLoad::run(script("garble", "echo '{\"usable\":\"yes\"}'"), ModelRole::speech, model, quick);
    EXPECT_FALSE(garbled.usable);
    EXPECT_NE(garbled.english.find("without a verdict (exit status 0)"), std::string::npos) << garbled.english;
    for (const char* output : {"not json", "{\\\"usable\\\":true,\\\"english\\\":\\\"a\\\"}",
                               "{\\\"usable\\\":true,\\\"chinese\\\":\\\"b\\\"}"}) {
        const auto partial = ModelTrialLoad::run(script("partial", std::string("printf '%s' \"") + output + "\""),
                                                 ModelRole::speech, model, quick);
        EXPECT_FALSE(partial.usable) << output;
    }
    const auto failed =
        ModelTrialLoad::run(script("fail", "echo '{\"usable\":true,\"english\":\"a\",\"chinese\":\"b\"}'; exit 3"),
                            ModelRole::speech, model, quick);
    EXPECT_FALSE(failed.usable);
    const auto missing =
        ModelTrialLoad::run(std::filesystem::path(folder.path()) / "none", ModelRole::speech, model, quick);
    EXPECT_NE(missing.english.find("exit status 127"), std::string::npos) << missing.english;
    // The address-space limit reaches the child: 64 MB cannot hold 256 MB.
    const ModelTrialLoad::Limits small{64ull << 20, std::chrono::seconds(20)};
    const auto greedy = ModelTrialLoad::run(
        script("greedy", "exec python3 -c 'b = bytearray(256 << 20); "
                         "print(\"{\\\"usable\\\":true,\\\"english\\\":\\\"\\\",\\\"chinese\\\":\\\"\\\"}\")'"),
        ModelRole::speech, model, small);
    EXPECT_FALSE(greedy.usable) << greedy.english;
}

TEST_F(ModelTrialLoadTest, DamagedSpeechModelsAreRefusedAndTheInstalledOneStays)
{
    const auto source = std::filesystem::path(folder.path()) / "import.bin";
    writeAll(source, TinyModels::shared().speech);
    ModelInstaller::importFile(source, ModelRole::speech);
    int refused = 0;
    int installed = 0;
    // Within 200 MB of address space each copy gets a verdict of the checker's own; the time
    // limit is generous for a busy machine (each takes milliseconds).
    const ModelTrialLoad::Limits tight{200ull << 20, std::chrono::seconds(30)};
    for (const auto& copy : DamagedWhisperFiles::all(TinyModels::shared().speech)) {
        writeAll(source, copy.bytes);
        const auto verdict = ModelTrialLoad::run(checkerProgram, ModelRole::speech, source, tight);
        EXPECT_EQ(verdict.english.find("is not a usable model: its trial load"), std::string::npos)
            << copy.label << ": " << verdict.english;
        try {
            const auto result = ModelInstaller::importFile(source, ModelRole::speech);
            // Accepted only after a trial load in the checker succeeded.
            ++installed;
            EXPECT_TRUE(SpeechModelFile::readHeader(result.file).has_value()) << copy.label;
            writeAll(ModelStore::target(ModelRole::speech), TinyModels::shared().speech);
        } catch (const ModelError& failure) {
            ++refused;
            EXPECT_EQ(failure.kind(), ModelError::Case::invalidFile) << copy.label;
            EXPECT_EQ(std::string(failure.what()).find("import.bin "), 0u) << failure.what();
            EXPECT_EQ(failure.message(true).find("import.bin "), 0u) << failure.message(true);
            EXPECT_EQ(failure.message(true).find("crashed"), std::string::npos) << copy.label;
            EXPECT_EQ(readAll(ModelStore::target(ModelRole::speech)), TinyModels::shared().speech) << copy.label;
        }
    }
    EXPECT_EQ(refused + installed, 80);
    EXPECT_GE(refused, 65);
}

} // namespace
} // namespace kivo::test
