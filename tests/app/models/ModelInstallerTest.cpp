// Downloads, imports and removals against a loopback server and the tiny generated models,
// with the real runtimes' availability checks.
#include "app/models/ModelInstaller.h"
#include "app/models/ModelError.h"
#include "app/models/ModelText.h"
#include "platform/languagemodel/SystemLanguageModel.h"
#include "platform/speech/WhisperRecognizer.h"
#include "tests/app/models/ModelsFixture.h"
#include "tests/support/InterfaceLanguageScope.h"

#include <atomic>
#include <future>
#include <thread>

namespace kivo {
namespace {

using Case = ModelError::Case;
using test::ModelsFixture;

// What a failing operation threw: its kind and its English and Chinese messages.
struct Failure {
    Case kind = Case::fileFailed;
    std::string what;
    std::string chinese;
};

Failure failureOf(const std::function<void()>& operation)
{
    try {
        operation();
    } catch (const ModelError& failure) {
        return {failure.kind(), failure.what(), failure.message(true)};
    }
    ADD_FAILURE() << "no ModelError";
    return {};
}

class ModelInstallerTest : public ModelsFixture {};

TEST_F(ModelInstallerTest, BothModelsInstallAndTheRuntimesCanUseThem)
{
    EXPECT_FALSE(SystemLanguageModel::makeDefault()->isAvailable());
    for (const ModelRole role : ModelRoles::allCases) {
        std::vector<ModelInstaller::Progress> seen;
        const auto result = ModelInstaller::download(entry(role), [&](const auto& p) { seen.push_back(p); });
        ASSERT_FALSE(seen.empty());
        const auto& last = seen.back();
        EXPECT_EQ(last.phase, ModelInstaller::Progress::Phase::verifying);
        const auto downloading = std::find_if(seen.rbegin(), seen.rend(), [](const auto& p) {
            return p.phase == ModelInstaller::Progress::Phase::downloading;
        });
        ASSERT_NE(downloading, seen.rend());
        EXPECT_EQ(downloading->received, entry(role).bytes); // 100 %
        EXPECT_EQ(downloading->total, entry(role).bytes);
        EXPECT_EQ(result.file, ModelStore::target(role));
        EXPECT_FALSE(partial(role));
        EXPECT_EQ(result.resumedFrom, 0u);
    }
    // The runner's and the recorder's own lookups now find them.
    const auto language = SystemLanguageModel::makeDefault();
    EXPECT_TRUE(language->isAvailable()) << language->availability().description();
    WhisperRecognizer recognizer;
    EXPECT_EQ(recognizer.installedLocales(Transcriber::Kind::general), std::vector<std::string>{"zh-HK"});
    EXPECT_EQ(ModelInstaller::verifyInstalled(ModelRole::speech).report.english, "vocabulary 51866: Cantonese (yue)");
    EXPECT_TRUE(ModelInstaller::verifyInstalled(ModelRole::language).report.english.starts_with("general"));
}

TEST_F(ModelInstallerTest, ResumeContinuesFromThePartialFile)
{
    const std::string& bytes = test::TinyModels::shared().language;
    const std::size_t kept = bytes.size() / 3;
    writePartial(ModelRole::language, bytes.substr(0, kept));
    std::uint64_t firstReported = 0;
    const auto result = ModelInstaller::download(entry(ModelRole::language), [&](const auto& p) {
        if (firstReported == 0) {
            firstReported = p.received;
        }
    });
    EXPECT_EQ(server.ranges("/language.gguf"), std::vector<std::string>{"bytes=" + std::to_string(kept) + "-"});
    EXPECT_EQ(result.resumedFrom, kept);
    EXPECT_GT(firstReported, kept);
    EXPECT_FALSE(result.restartedFromZero);
    EXPECT_EQ(test::readAll(ModelStore::target(ModelRole::language)), bytes);
}

TEST_F(ModelInstallerTest, APartialFileOfAnotherModelIsNotResumed)
{
    const std::string& bytes = test::TinyModels::shared().language;
    auto other = entry(ModelRole::language);
    other.url = server.url("/other.gguf");
    server.serve("/other.gguf", bytes, test::LoopbackServer::Options::cut(1000));
    EXPECT_THROW(ModelInstaller::download(other, {}), ModelError);
    ASSERT_EQ(std::filesystem::file_size(ModelStore::partial(ModelRole::language)), 1000u);

    const auto result = ModelInstaller::download(entry(ModelRole::language), {});
    EXPECT_EQ(result.resumedFrom, 0u);
    EXPECT_EQ(server.ranges("/language.gguf"), std::vector<std::string>{""});
    EXPECT_EQ(test::readAll(ModelStore::target(ModelRole::language)), bytes);
    EXPECT_FALSE(std::filesystem::exists(ModelStore::partial(ModelRole::language).string() + ".url"));
}

TEST_F(ModelInstallerTest, AServerWithoutRangesSendsTheWholeFileAgain)
{
    serveModels(test::LoopbackServer::Options::withoutRanges());
    const std::string& bytes = test::TinyModels::shared().language;
    // A stale partial file whose bytes do not even match: it must not survive in the result.
    writePartial(ModelRole::language, std::string(bytes.size() / 2, 'x'));
    const auto result = ModelInstaller::download(entry(ModelRole::language), {});
    EXPECT_TRUE(result.restartedFromZero);
    EXPECT_EQ(test::readAll(ModelStore::target(ModelRole::language)), bytes);
    EXPECT_FALSE(partial(ModelRole::language));
}

TEST_F(ModelInstallerTest, AnInterruptedTransferKeepsThePartialFileAndResumesLater)
{
    const std::string& bytes = test::TinyModels::shared().speech;
    serveModels(test::LoopbackServer::Options::cut(100000));
    const auto cut = failureOf([&] { ModelInstaller::download(entry(ModelRole::speech), {}); });
    EXPECT_EQ(cut.kind, Case::downloadFailed);
    EXPECT_NE(cut.what.find("the connection ended after 100000 of"), std::string::npos) << cut.what;
    EXPECT_EQ(cut.what.find(".."), std::string::npos) << cut.what;
    EXPECT_FALSE(installed(ModelRole::speech));
    EXPECT_EQ(std::filesystem::file_size(ModelStore::partial(ModelRole::speech)), 100000u);

    serveModels({});
    const auto result = ModelInstaller::download(entry(ModelRole::speech), {});
    EXPECT_EQ(result.resumedFrom, 100000u);
    EXPECT_EQ(test::readAll(ModelStore::target(ModelRole::speech)), bytes);
}

TEST_F(ModelInstallerTest, AChecksumMismatchDeletesThePartialFileAndKeepsThePreviousModel)
{
    ModelInstaller::download(entry(ModelRole::language), {});
    const std::string previous = test::readAll(ModelStore::target(ModelRole::language));
    auto wrong = entry(ModelRole::language);
    wrong.sha256 = std::string(64, 'a');
    const auto mismatch = failureOf([&] { ModelInstaller::download(wrong, {}); });
    EXPECT_EQ(mismatch.kind, Case::checksumMismatch);
    EXPECT_NE(mismatch.what.find("not the published " + std::string(64, 'a')), std::string::npos);
    EXPECT_FALSE(partial(ModelRole::language));
    EXPECT_EQ(test::readAll(ModelStore::target(ModelRole::language)), previous);
}

TEST_F(ModelInstallerTest, NotFoundAndBrokenDownloadsLeaveNothingAtTheFixedPath)
{
    auto missing = entry(ModelRole::speech);
    missing.url = server.url("/gone.bin");
    const auto notFound = failureOf([&] { ModelInstaller::download(missing, {}); });
    EXPECT_EQ(notFound.kind, Case::downloadFailed);
    EXPECT_NE(notFound.what.find("HTTP 404"), std::string::npos) << notFound.what;
    EXPECT_NE(notFound.chinese.find("404"), std::string::npos);
    EXPECT_FALSE(installed(ModelRole::speech));
    EXPECT_FALSE(partial(ModelRole::speech)); // nothing received, nothing kept

    // Served bytes that are no model: refused after the transfer, and not kept for a resume.
    server.serve("/noise.bin", std::string(5000, 'z'));
    auto noise = entry(ModelRole::speech, false);
    noise.url = server.url("/noise.bin");
    EXPECT_EQ(failureOf([&] { ModelInstaller::download(noise, {}); }).kind, Case::invalidFile);
    EXPECT_FALSE(installed(ModelRole::speech));
    EXPECT_FALSE(partial(ModelRole::speech));
}

TEST_F(ModelInstallerTest, CancelLeavesNothingAtTheFixedPathAndASecondDownloadOfTheSameModelIsRefused)
{
    serveModels(test::LoopbackServer::Options::slow(200000));
    std::stop_source stop;
    std::promise<void> started;
    std::atomic<bool> signalled{false};
    auto first = std::async(std::launch::async, [&] {
        return failureOf([&] {
                   ModelInstaller::download(
                       entry(ModelRole::speech),
                       [&](const auto&) {
                           if (!signalled.exchange(true)) {
                               started.set_value();
                           }
                       },
                       stop.get_token());
               })
            .kind;
    });
    ASSERT_EQ(started.get_future().wait_for(std::chrono::seconds(20)), std::future_status::ready);
    EXPECT_EQ(failureOf([&] { ModelInstaller::download(entry(ModelRole::speech), {}); }).kind, Case::busy);
    EXPECT_EQ(failureOf([&] { ModelInstaller::remove(ModelRole::speech); }).kind, Case::busy);
    // The other model is not held up.
    ModelInstaller::download(entry(ModelRole::language), {});
    stop.request_stop();
    EXPECT_EQ(first.get(), Case::cancelled);
    EXPECT_FALSE(installed(ModelRole::speech));
    EXPECT_TRUE(installed(ModelRole::language));
}

TEST_F(ModelInstallerTest, NotEnoughSpaceIsRefusedBeforeAnyTransfer)
{
    auto huge = entry(ModelRole::language);
    huge.bytes = std::uint64_t(1) << 60;
    const auto refused = failureOf([&] { ModelInstaller::download(huge, {}); });
    EXPECT_EQ(refused.kind, Case::notEnoughSpace);
    // The whole requirement, the reserve included, in the units the window shows sizes in.
    EXPECT_NE(refused.what.find("installing needs 1152921504.7 GB free (1152921504.6 GB for the model and 67.1 MB "
                                "left for the system), and "),
              std::string::npos)
        << refused.what;
    EXPECT_TRUE(server.ranges("/language.gguf").empty());
}

TEST_F(ModelInstallerTest, ImportChecksTheFileAndRefusesBrokenOnes)
{
    const auto source = std::filesystem::path(folder.path()) / "downloaded.gguf";
    const std::string& bytes = test::TinyModels::shared().language;

    test::writeAll(source, "not a model");
    EXPECT_EQ(failureOf([&] { ModelInstaller::importFile(source, ModelRole::language); }).kind, Case::invalidFile);
    // A GGUF header on a cut file passes the header check and fails the trial load.
    test::writeAll(source, bytes.substr(0, 2000));
    EXPECT_EQ(failureOf([&] { ModelInstaller::importFile(source, ModelRole::language); }).kind, Case::invalidFile);
    // A language model offered as the speech model.
    test::writeAll(source, bytes);
    EXPECT_EQ(failureOf([&] { ModelInstaller::importFile(source, ModelRole::speech); }).kind, Case::invalidFile);
    EXPECT_FALSE(installed(ModelRole::language));
    EXPECT_FALSE(installed(ModelRole::speech));
    EXPECT_FALSE(std::filesystem::exists(ModelStore::folder() / "language-model.gguf.import"));

    const auto result = ModelInstaller::importFile(source, ModelRole::language);
    EXPECT_EQ(test::readAll(result.file), bytes);
    EXPECT_TRUE(std::filesystem::exists(source));
}

TEST_F(ModelInstallerTest, RemoveDeletesOnlyTheUsersFile)
{
    EXPECT_EQ(failureOf([&] { ModelInstaller::remove(ModelRole::speech); }).kind, Case::notInstalled);
    ModelInstaller::download(entry(ModelRole::speech), {});
    test::writeAll(ModelStore::partial(ModelRole::speech), "left over");
    ModelInstaller::remove(ModelRole::speech);
    EXPECT_FALSE(installed(ModelRole::speech));
    EXPECT_FALSE(partial(ModelRole::speech));
    const auto removed = failureOf([&] { ModelInstaller::verifyInstalled(ModelRole::speech); });
    EXPECT_EQ(removed.kind, Case::notInstalled);
    EXPECT_EQ(removed.chinese, "未安裝語音模型（speech-model.bin）。");
}

TEST(ModelInstallerRateTest, RateAndTimeLeftFollowTheLastSeconds)
{
    using Clock = ModelInstaller::RateMeter::Clock;
    ModelInstaller::RateMeter meter;
    const auto start = Clock::now();
    EXPECT_EQ(meter.bytesPerSecond(), 0);
    meter.add(start, 1000);
    EXPECT_FALSE(meter.secondsLeft(1000, 5000));
    meter.add(start + std::chrono::seconds(1), 3000);
    EXPECT_DOUBLE_EQ(meter.bytesPerSecond(), 2000);
    EXPECT_DOUBLE_EQ(*meter.secondsLeft(3000, 7000), 2);
    EXPECT_FALSE(meter.secondsLeft(3000, 0)); // length unknown
    // A burst long ago no longer counts.
    meter.add(start + std::chrono::seconds(10), 4000);
    meter.add(start + std::chrono::seconds(11), 4100);
    EXPECT_DOUBLE_EQ(meter.bytesPerSecond(), 100);
}

TEST(ModelTextTest, ProgressAndJoinedTexts)
{
    ModelInstaller::Progress progress{ModelInstaller::Progress::Phase::downloading, 312000000, 1100000000, 8400000,
                                      100};
    EXPECT_EQ(ModelText::progress(progress), "312 MB of 1.1 GB · 8.4 MB/s · 1 min 40 s left");
    EXPECT_EQ(test::inLanguage(true, [&] { return ModelText::progress(progress); }),
              "已下載 312 MB／1.1 GB · 每秒 8.4 MB · 尚餘 1 分 40 秒");
    progress.total = 0;
    progress.secondsLeft.reset();
    EXPECT_EQ(ModelText::progress(progress), "312 MB · 8.4 MB/s");

    EXPECT_EQ(ModelText::joined("Install it before trying again.", ". Previous text retained."),
              "Install it before trying again. Previous text retained.");
    EXPECT_EQ(ModelText::joined("Timed out", ". Previous text retained."), "Timed out. Previous text retained.");
    EXPECT_EQ(ModelText::withoutFullStop("已刪除。"), "已刪除");
    EXPECT_EQ(ModelText::withoutFullStop("Done."), "Done");
}

} // namespace
} // namespace kivo
