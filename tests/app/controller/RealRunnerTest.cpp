// Convert end to end with the real rewrite-runner and a tiny generated model.
#include "app/controller/Conversion.h"
#include "app/controller/RunnerPreparation.h"
#include "tests/app/ScopedEnvironment.h"
#include "tests/app/controller/ControllerFixture.h"
#include "tests/app/shell/PanelWidgets.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <memory>

namespace kivo {
namespace {

class RealRunner : public test::ControllerFixture {
protected:
    void configure(Application::Options&) override
    {
        bundle.linkRunner(KIVO_REWRITE_RUNNER);
        ::setenv("XDG_DATA_HOME", (bundle.root() / "data").c_str(), 1);
    }

    void SetUp() override
    {
        ControllerFixture::SetUp();
        change([](PanelSettings& settings) {
            settings.modeIndex = 3;
            settings.autoInsert = false;
        });
        type(QStringLiteral("今日天氣好好"));
    }

    void makeModel()
    {
        const auto folder = bundle.root() / "data" / "kivo" / "models";
        std::filesystem::create_directories(folder);
        const std::string command =
            std::string(KIVO_TINY_GGUF) + " '" + (folder / "language-model.gguf").string() + "'";
        ASSERT_EQ(std::system(command.c_str()), 0);
    }

    void convert()
    {
        emit panel().convertClicked();
        ASSERT_TRUE(test::waitUntil([this] { return !app->conversion().running(); }, std::chrono::seconds(60)));
    }
};

TEST_F(RealRunner, TinyModelAnswerReachesTheResult)
{
    makeModel();
    convert();
    const QString shown = status();
    EXPECT_TRUE(shown.startsWith(QStringLiteral("Completed in "))) << shown.toStdString();
    EXPECT_EQ(state().result, QStringLiteral("a"));
    EXPECT_EQ(app->conversion().lockDescriptor(), -1);
}

// The state the app prepares for a mode is the one its next conversion reads: same key, same
// bytes, nothing written again.
TEST_F(RealRunner, APreparedStateIsWhatTheFirstConversionReads)
{
    char pattern[] = "/dev/shm/kivo-runtime-XXXXXX";
    if (::mkdtemp(pattern) == nullptr) {
        GTEST_SKIP() << "no tmpfs at /dev/shm";
    }
    const std::filesystem::path runtime = pattern;
    const std::unique_ptr<const char, void (*)(const char*)> removal(
        pattern, [](const char* folder) { std::filesystem::remove_all(folder); });
    const test::ScopedEnvironment runtimeSetting("XDG_RUNTIME_DIR", runtime.string());
    makeModel();

    app->conversion().prepare();
    ASSERT_TRUE(app->conversion().preparation());
    ASSERT_TRUE(
        test::waitUntil([this] { return !app->conversion().preparation()->running(); }, std::chrono::seconds(60)));
    const auto written = [&] {
        std::map<std::filesystem::path, std::filesystem::file_time_type> times;
        for (const auto& entry : std::filesystem::directory_iterator(runtime / "kivo-prefix")) {
            times[entry.path()] = entry.last_write_time();
        }
        return times;
    };
    const auto kept = written();
    EXPECT_EQ(kept.size(), 2u) << "without and with a protected literal";

    convert();
    EXPECT_EQ(state().result, QStringLiteral("a"));
    EXPECT_EQ(written(), kept);
}

TEST_F(RealRunner, MissingModelSaysWhereToPutOne)
{
    convert();
    EXPECT_EQ(status(), QStringLiteral("未完成：No language model is installed. Download one. 原文保留。"));
    // The runtime's own reason and where to put a model are in the tooltip; the line offers Models.
    const QString tooltip = test::PanelWidgets(panel()).status->toolTip();
    EXPECT_TRUE(tooltip.contains(QStringLiteral("modelNotFound"))) << tooltip.toStdString();
    EXPECT_TRUE(state().statusOffersModels);
    EXPECT_EQ(state().source, QStringLiteral("今日天氣好好"));
    EXPECT_TRUE(state().result.isEmpty());
}

} // namespace
} // namespace kivo
