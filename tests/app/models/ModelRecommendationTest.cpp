// The recommendation from measured speeds, the cached measurement, `--models recommend`, the
// window's marking, and one real measurement of the smallest shape.
#include "app/models/ModelRecommendation.h"
#include "app/models/DepthExtrapolation.h"
#include "app/models/MachineSpeed.h"
#include "app/models/MachineSpeedProbe.h"
#include "app/models/ModelsCommand.h"
#include "app/models/SpeechSpeedProbe.h"
#include "app/shell/models/ModelsWindow.h"
#include "tests/app/ScopedEnvironment.h"
#include "tests/app/controller/ControllerTestSupport.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/InterfaceLanguageScope.h"

#include <QComboBox>
#include <QLabel>

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <thread>

namespace kivo {
namespace {

MachineSpeed speeds(std::map<std::string, double> speech, std::map<std::string, double> language = {})
{
    MachineSpeed speed;
    speed.processor = MachineSpeed::thisProcessor();
    speed.runtime = MachineSpeedProbe::runtime();
    speed.speechSecondsPerSecond = std::move(speech);
    speed.languageSeconds = std::move(language);
    return speed;
}

std::string chosen(const std::optional<ModelRecommendation::Choice>& choice)
{
    return choice ? choice->entry->name : std::string("none");
}

TEST(ModelRecommendationTest, TheLargestCantoneseModelInsideTheBudgetIsRecommended)
{
    const auto catalogue = ModelCatalogue::load({});
    // The 2-core development machine: small keeps up, turbo does not; the fine-tuned small
    // wins over the multilingual one run as Mandarin.
    auto recommendation =
        ModelRecommendation::choose(catalogue, speeds({{"base", 0.05}, {"small", 0.20}, {"large-v3-turbo", 1.3}}));
    EXPECT_EQ(chosen(recommendation.speech), "whisper-small-cantonese");
    EXPECT_DOUBLE_EQ(recommendation.speech->figure, 0.20);
    EXPECT_TRUE(recommendation.recommends(*catalogue.find("whisper-small-cantonese")));
    EXPECT_FALSE(recommendation.recommends(*catalogue.find("whisper-small")));
    // Fast machines keep turbo, which knows "yue"; exactly the budget still fits.
    recommendation =
        ModelRecommendation::choose(catalogue, speeds({{"base", 0.01}, {"small", 0.04}, {"large-v3-turbo", 0.30}}));
    EXPECT_EQ(chosen(recommendation.speech), "whisper-large-v3-turbo-q5_0");
    // Slow machines get the fine-tuned base.
    recommendation =
        ModelRecommendation::choose(catalogue, speeds({{"base", 0.12}, {"small", 0.45}, {"large-v3-turbo", 3.0}}));
    EXPECT_EQ(chosen(recommendation.speech), "whisper-base-yue-hk");
    // Nothing keeps up, or nothing was measured: no recommendation rather than a wrong one.
    EXPECT_EQ(chosen(ModelRecommendation::choose(catalogue, speeds({{"base", 0.31}})).speech), "none");
    EXPECT_EQ(chosen(ModelRecommendation::choose(catalogue, speeds({})).speech), "none");
}

TEST(ModelRecommendationTest, TheLargestLanguageModelLeavingRoomInsideThirtySecondsIsRecommended)
{
    const auto catalogue = ModelCatalogue::load({});
    auto recommendation =
        ModelRecommendation::choose(catalogue, speeds({}, {{"0.5b", 9.0}, {"1.5b", 24.0}, {"3b", 45.0}}));
    EXPECT_EQ(chosen(recommendation.language), "qwen2.5-1.5b-instruct-q4_k_m");
    recommendation = ModelRecommendation::choose(catalogue, speeds({}, {{"0.5b", 9.0}, {"1.5b", 24.5}, {"3b", 45.0}}));
    EXPECT_EQ(chosen(recommendation.language), "qwen2.5-0.5b-instruct-q4_k_m");
    recommendation = ModelRecommendation::choose(catalogue, speeds({}, {{"0.5b", 4.0}, {"1.5b", 8.0}, {"3b", 24.0}}));
    EXPECT_EQ(chosen(recommendation.language), "qwen2.5-3b-instruct-q4_k_m");
    EXPECT_EQ(ModelRecommendation::label(ModelRole::speech, 0.2),
              "Recommended for this computer (0.20 s per second of audio)");
    // The window test of this binary needs widgets, and a process keeps its first application object.
    test::ensureApplication();
    EXPECT_EQ(test::inLanguage(true, [&] { return ModelRecommendation::label(ModelRole::language, 24.4); }),
              "建議此電腦使用（長篇轉換約 24 秒）");
}

// Both probes time one and three layers; the full depth follows from the cost of a layer.
TEST(DepthExtrapolationTest, FullDepthFromOneAndThreeLayersAndNoFileLeftBehind)
{
    test::TemporaryFolder scratch;
    std::vector<std::filesystem::path> files;
    const auto timeAt = [&](int layers, const std::filesystem::path& file) {
        std::ofstream(file) << "model";
        files.push_back(file);
        return 0.5 + 0.25 * layers; // fixed 0.5 s, 0.25 s a layer
    };
    EXPECT_DOUBLE_EQ(DepthExtrapolation::fullDepthSeconds(24, scratch.path(), "shape", ".bin", timeAt, {}), 6.5);
    ASSERT_EQ(files.size(), 2U);
    EXPECT_NE(files[0], files[1]);
    EXPECT_FALSE(std::filesystem::exists(files[0]) || std::filesystem::exists(files[1]));

    const auto failing = [&](int, const std::filesystem::path& file) -> double {
        std::ofstream(file) << "half a model";
        files.push_back(file);
        throw std::runtime_error("disk full");
    };
    EXPECT_THROW(DepthExtrapolation::fullDepthSeconds(24, scratch.path(), "shape", ".bin", failing, {}),
                 std::runtime_error);
    EXPECT_FALSE(std::filesystem::exists(files.back()));

    std::stop_source stopped;
    stopped.request_stop();
    EXPECT_EQ(DepthExtrapolation::fullDepthSeconds(24, scratch.path(), "shape", ".bin", timeAt, stopped.get_token()),
              0.0);
}

TEST(MachineSpeedTest, TheCachedMeasurementStandsOnlyForItsProcessorAndRuntime)
{
    test::TemporaryFolder folder;
    const std::filesystem::path file = std::filesystem::path(folder.path()) / "deep" / "machine-speed.json";
    const auto speed = speeds({{"base", 0.05}, {"small", 0.2}}, {{"1.5b", 20.0}});
    ASSERT_TRUE(speed.save(file));
    const auto read = MachineSpeed::cached(speed.processor, speed.runtime, file);
    ASSERT_TRUE(read);
    EXPECT_EQ(read->speechSecondsPerSecond, speed.speechSecondsPerSecond);
    EXPECT_EQ(read->languageSeconds, speed.languageSeconds);
    EXPECT_FALSE(MachineSpeed::cached("another processor", speed.runtime, file));
    EXPECT_FALSE(MachineSpeed::cached(speed.processor, "another runtime", file));
    EXPECT_FALSE(std::filesystem::exists(file.string() + ".partial"));
    std::ofstream(file) << "{\"format\": 1, \"processor\": 3}";
    EXPECT_FALSE(MachineSpeed::cached(speed.processor, speed.runtime, file));
    std::ofstream(file) << "not json";
    EXPECT_FALSE(MachineSpeed::cached(speed.processor, speed.runtime, file));
    // Figures that are not positive numbers are dropped, not trusted.
    const auto odd = MachineSpeed::fromJson(
        R"({"format":1,"processor":"p","runtime":"r","speechSecondsPerSecond":{"base":0,"small":"fast","large-v3-turbo":1.2}})");
    ASSERT_TRUE(odd);
    EXPECT_EQ(odd->speechSecondsPerSecond, (std::map<std::string, double>{{"large-v3-turbo", 1.2}}));
    EXPECT_NE(MachineSpeed::thisProcessor().find(" × "), std::string::npos);

    // A measurement taken while other work kept the cores busy is flagged, and its load read back.
    auto busy = speed;
    busy.loadAverage = 0.5 * std::max(1u, std::thread::hardware_concurrency());
    EXPECT_FALSE(busy.measuredWhileBusy());
    busy.loadAverage += 0.1;
    EXPECT_TRUE(busy.measuredWhileBusy());
    ASSERT_TRUE(busy.save(file));
    EXPECT_DOUBLE_EQ(MachineSpeed::cached(speed.processor, speed.runtime, file)->loadAverage, busy.loadAverage);
}

class CacheHome : public ::testing::Test {
protected:
    test::TemporaryFolder folder;
    test::ScopedEnvironment cacheHome{"XDG_CACHE_HOME", folder.path()};
};

TEST_F(CacheHome, RecommendPrintsTheFiguresAndTheModelsToInstall)
{
    ASSERT_EQ(MachineSpeed::cacheFile(), std::filesystem::path(folder.path()) / "kivo" / "machine-speed.json");
    ASSERT_TRUE(
        speeds({{"base", 0.05}, {"small", 0.2}, {"large-v3-turbo", 1.3}}, {{"0.5b", 9.0}, {"1.5b", 20.0}, {"3b", 29.0}})
            .save());
    std::ostringstream out;
    std::ostringstream err;
    EXPECT_EQ(ModelsCommand::run({"recommend"}, out, err), 0) << err.str();
    EXPECT_NE(out.str().find("small           0.20 s per second of audio"), std::string::npos) << out.str();
    EXPECT_NE(out.str().find("speech: whisper-small-cantonese · Recommended for this computer (0.20 s"),
              std::string::npos)
        << out.str();
    EXPECT_NE(out.str().find("Kivo --models install whisper-small-cantonese"), std::string::npos);
    EXPECT_NE(out.str().find("language 1.5b          20 s for a long conversion (at most 24)"), std::string::npos)
        << out.str();
    EXPECT_NE(out.str().find("language: qwen2.5-1.5b-instruct-q4_k_m · "), std::string::npos) << out.str();

    EXPECT_EQ(out.str().find("busy"), std::string::npos);

    // A measurement from before language models were measured is made again; this one is new.
    auto slowSpeed = speeds({{"base", 0.5}}, {{"0.5b", 90.0}});
    slowSpeed.loadAverage = 64.0;
    ASSERT_TRUE(slowSpeed.save());
    std::ostringstream slow;
    EXPECT_EQ(ModelsCommand::run({"recommend"}, slow, err), 1);
    EXPECT_NE(slow.str().find("none in the catalogue stays inside the budget"), std::string::npos);
    EXPECT_NE(slow.str().find("Measured while the computer was busy (load average 64.0)"), std::string::npos);
    EXPECT_EQ(ModelsCommand::run({"recommend", "--fast"}, slow, err), 2);
}

TEST_F(CacheHome, AMeasurementStoppedBeforeItStartsMeasuresAndKeepsNothing)
{
    std::stop_source stop;
    stop.request_stop();
    std::vector<std::string> shown;
    const MachineSpeed speed = MachineSpeedProbe::obtain(
        true, [&](const std::string& shape) { shown.push_back(shape); }, stop.get_token());
    EXPECT_TRUE(shown.empty());
    EXPECT_TRUE(speed.speechSecondsPerSecond.empty());
    EXPECT_TRUE(speed.languageSeconds.empty());
    EXPECT_FALSE(std::filesystem::exists(MachineSpeed::cacheFile()));
}

TEST_F(CacheHome, TheWindowMarksAndSelectsTheRecommendedModels)
{
    test::ensureApplication();
    ModelsWindow window("");
    ASSERT_TRUE(test::waitUntil([&] { return window.catalogueLoaded(); }));
    window.measure = [](bool, std::stop_token) {
        return speeds({{"base", 0.05}, {"small", 0.2}, {"large-v3-turbo", 1.3}}, {{"0.5b", 9.0}, {"1.5b", 24.0}});
    };
    window.measureThisComputer();
    ASSERT_TRUE(test::waitUntil([&] { return window.speed->text().startsWith(QStringLiteral("This computer")); }));
    EXPECT_EQ(window.section(ModelRole::speech).choice->currentData().toString(),
              QStringLiteral("whisper-small-cantonese"));
    EXPECT_TRUE(window.section(ModelRole::speech)
                    .choice->currentText()
                    .endsWith(QStringLiteral(
                        "Cantonese (fine-tuned) · Recommended for this computer (0.20 s per second of audio)")));
    EXPECT_EQ(window.section(ModelRole::language).choice->currentData().toString(),
              QStringLiteral("qwen2.5-1.5b-instruct-q4_k_m"));
    EXPECT_TRUE(window.speed->text().contains(QStringLiteral("small 0.20")));

    window.measure = [](bool, std::stop_token) -> MachineSpeed { throw std::runtime_error("no space left"); };
    window.measureThisComputer(true);
    ASSERT_TRUE(test::waitUntil([&] { return window.speed->text().contains(QStringLiteral("no space left")); }));
}

TEST(SpeechSpeedProbeTest, TheBaseShapeIsMeasuredFromGeneratedModelsThatAreRemovedAfterwards)
{
    test::TemporaryFolder folder;
    const std::filesystem::path scratch = std::filesystem::path(folder.path()) / "scratch";
    const double figure = SpeechSpeedProbe::encoderSecondsPerSecond("base", scratch, {});
    EXPECT_GT(figure, 0.0);
    EXPECT_LT(figure, 5.0);
    EXPECT_TRUE(std::filesystem::is_empty(scratch));
    std::stop_source stopped;
    stopped.request_stop();
    EXPECT_EQ(SpeechSpeedProbe::encoderSecondsPerSecond("small", scratch, stopped.get_token()), 0.0);
    EXPECT_THROW(SpeechSpeedProbe::encoderSecondsPerSecond("medium", scratch, {}), std::invalid_argument);
}

} // namespace
} // namespace kivo
