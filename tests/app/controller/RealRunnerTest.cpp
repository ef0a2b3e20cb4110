// Convert end to end with the real rewrite-runner and a tiny generated model.
#include "app/controller/RunnerPreparation.h"
#include "app/controller/TrialApp.h"
#include "app/shell/StatusLabel.h"
#include "tests/app/controller/ControllerTestSupport.h"

#include <QCheckBox>
#include <QComboBox>
#include <QPlainTextEdit>
#include <QPushButton>

#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <memory>
#include <optional>

namespace kivo {
namespace {

class RealRunner : public ::testing::Test {
protected:
    void SetUp() override
    {
        test::ensureApplication();
        bundle.linkRunner(KIVO_REWRITE_RUNNER);
        ::setenv("XDG_DATA_HOME", (bundle.root() / "data").c_str(), 1);
        TrialApp::Options options;
        options.resourcesDirectory = bundle.resources();
        options.lockPath = bundle.lockPath().string();
        app = std::make_unique<TrialApp>(options);
        app->localize();
        app->panel().language->setCurrentIndex(0);
        app->panel().mode->setCurrentIndex(3);
        app->panel().autoInsert->setChecked(false);
        app->panel().before->setPlainText(QStringLiteral("今日天氣好好"));
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
        app->panel().run->click();
        ASSERT_TRUE(test::waitUntil([this] { return !app->hasProcess(); }, std::chrono::seconds(60)));
    }

    test::TestBundle bundle;
    std::unique_ptr<TrialApp> app;
};

TEST_F(RealRunner, TinyModelAnswerReachesTheResult)
{
    makeModel();
    convert();
    const QString status = app->panel().status->text();
    EXPECT_TRUE(status.startsWith(QStringLiteral("Completed in "))) << status.toStdString();
    EXPECT_EQ(app->panel().after->toPlainText(), QStringLiteral("a"));
    EXPECT_EQ(app->lockFD(), -1);
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
    struct Restore {
        std::optional<std::string> value;
        ~Restore() { value ? ::setenv("XDG_RUNTIME_DIR", value->c_str(), 1) : ::unsetenv("XDG_RUNTIME_DIR"); }
    } restore{std::getenv("XDG_RUNTIME_DIR") ? std::optional<std::string>(std::getenv("XDG_RUNTIME_DIR")) : std::nullopt};
    ::setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
    makeModel();

    app->prepareModel();
    ASSERT_TRUE(app->modelPreparation());
    ASSERT_TRUE(test::waitUntil([this] { return !app->modelPreparation()->running(); }, std::chrono::seconds(60)));
    std::map<std::filesystem::path, std::filesystem::file_time_type> kept;
    for (const auto& entry : std::filesystem::directory_iterator(runtime / "kivo-prefix")) {
        kept[entry.path()] = entry.last_write_time();
    }
    EXPECT_EQ(kept.size(), 2u) << "without and with a protected literal";

    convert();
    EXPECT_EQ(app->panel().after->toPlainText(), QStringLiteral("a"));
    std::map<std::filesystem::path, std::filesystem::file_time_type> after;
    for (const auto& entry : std::filesystem::directory_iterator(runtime / "kivo-prefix")) {
        after[entry.path()] = entry.last_write_time();
    }
    EXPECT_EQ(after, kept);
}

TEST_F(RealRunner, MissingModelSaysWhereToPutOne)
{
    convert();
    const QString status = app->panel().status->text();
    // The runner's reason code goes to the tooltip; the line says what to do.
    EXPECT_TRUE(status.contains(QStringLiteral("No language model is installed. Download one."))) << status.toStdString();
    EXPECT_FALSE(status.contains(QStringLiteral("modelNotFound")));
    EXPECT_TRUE(app->panel().status->toolTip().contains(QStringLiteral("modelNotFound")));
    EXPECT_TRUE(status.endsWith(QStringLiteral(" 原文保留。")));
    EXPECT_EQ(app->panel().before->toPlainText(), QStringLiteral("今日天氣好好"));
    EXPECT_TRUE(app->panel().after->toPlainText().isEmpty());
}

} // namespace
} // namespace kivo
