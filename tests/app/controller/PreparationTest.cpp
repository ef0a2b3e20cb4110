// The background preparation runs: started after launch and on a mode change, on idle processor
// time, one at a time, and gone when a conversion starts or the app ends.
#include "app/controller/Conversion.h"
#include "app/controller/ModelsAccess.h"
#include "app/controller/RunnerPreparation.h"
#include "tests/app/ScopedEnvironment.h"
#include "tests/app/controller/ControllerFixture.h"
#include "tests/app/shell/shortcut/RecordingShortcutBackend.h"

#include <gtest/gtest.h>

#include <sched.h>
#include <signal.h>

#include <fstream>
#include <iterator>
#include <sstream>

namespace kivo {
namespace {

using namespace std::chrono_literals;

constexpr const char* source = "阿明聽日返工";
constexpr int cantonese = 0;
constexpr int written = 1;
constexpr int english = 3;

std::string contents(const std::filesystem::path& file)
{
    std::ifstream in(file, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::vector<std::string> lines(const std::filesystem::path& file)
{
    std::vector<std::string> found;
    std::istringstream in(contents(file));
    for (std::string line; std::getline(in, line);) {
        found.push_back(line);
    }
    return found;
}

class Preparation : public test::ControllerFixture {
protected:
    void configure(Application::Options& options) override
    {
        dataHome.emplace("XDG_DATA_HOME", (bundle.root() / "data").string());
        options.makeShortcutBackend = [] { return std::make_unique<test::RecordingShortcutBackend>(); };
        options.isTrusted = [] { return false; };
        options.requestTrust = [] { return false; };
        options.deliver = [](const std::string&) {};
    }

    void TearDown() override
    {
        app.reset();
        dataHome.reset();
    }

    // Any file will do: the scripted runner never reads it.
    void installModel()
    {
        const auto folder = bundle.root() / "data" / "kivo" / "models";
        std::filesystem::create_directories(folder);
        std::ofstream(folder / "language-model.gguf") << "GGUF";
    }

    // Preparation runs log their arguments and request, then wait until killed; a conversion
    // answers at once.
    void waitingRunner()
    {
        bundle.setRunnerScript("if [ \"$1\" = --prepare ]; then\n"
                               "  cat > \"$0.prepare\"\n"
                               "  exec sleep 40\n"
                               "fi\n"
                               "cat > /dev/null\n"
                               "echo '{\"status\":\"generated\",\"text\":\"Tomorrow.\"}'");
    }

    void launch()
    {
        app->launch();
        app->localize();
        change([](PanelSettings& settings) {
            settings.chinese = true;
            settings.autoInsert = false;
        });
        panel().setSource(QString::fromUtf8(source));
    }

    // Waits for a preparation of the mode with this locale and returns its process id.
    pid_t preparationFor(const std::string& locale)
    {
        pid_t pid = -1;
        const bool found = test::waitUntil([&] {
            const std::string request = contents(bundle.resources() / "rewrite-runner.prepare");
            pid = app->conversion().preparation() ? app->conversion().preparation()->pid() : -1;
            return pid > 0 && request.find("\"locale\":\"" + locale + "\"") != std::string::npos;
        });
        EXPECT_TRUE(found) << contents(bundle.resources() / "rewrite-runner.prepare");
        return pid;
    }

    void setMode(int index)
    {
        change([index](PanelSettings& settings) { settings.modeIndex = index; });
    }

    std::optional<test::ScopedEnvironment> dataHome;
};

TEST_F(Preparation, LaunchPreparesTheModeOnIdleTimeAndAConversionEndsIt)
{
    installModel();
    waitingRunner();
    launch();
    setMode(english);
    const pid_t pid = preparationFor("en-US");
    ASSERT_GT(pid, 0);
    EXPECT_EQ(::sched_getscheduler(pid), SCHED_IDLE);
    const std::string request = contents(bundle.resources() / "rewrite-runner.prepare");
    EXPECT_EQ(request.find("阿明"), std::string::npos) << "never the user's text";
    EXPECT_NE(request.find("\"instructions\""), std::string::npos);

    emit panel().convertClicked();
    EXPECT_FALSE(app->conversion().preparation()->running());
    EXPECT_NE(::kill(pid, 0), 0) << "the preparation must be gone before the conversion runs";
    ASSERT_TRUE(test::waitUntil([this] { return !app->conversion().running(); }));
    EXPECT_EQ(state().result, QStringLiteral("Tomorrow."));
    EXPECT_FALSE(app->conversion().preparation()->running()) << "a conversion does not start another";
}

TEST_F(Preparation, AModeChangeReplacesThePreparationAndQuittingEndsIt)
{
    installModel();
    waitingRunner();
    launch();
    setMode(written);
    const pid_t first = preparationFor("zh-TW");
    ASSERT_GT(first, 0);

    setMode(cantonese);
    const pid_t second = preparationFor("zh-HK");
    ASSERT_GT(second, 0);
    EXPECT_NE(second, first);
    EXPECT_NE(::kill(first, 0), 0) << "one preparation at a time";

    app->willTerminate();
    EXPECT_FALSE(app->conversion().preparation()->running());
    EXPECT_NE(::kill(second, 0), 0) << "no runner outlives the app";
}

TEST_F(Preparation, BothInstructionVariantsArePreparedInTurnAndNothingIsShown)
{
    installModel();
    bundle.setRunnerScript("echo \"$*\" >> \"$0.arguments\"\n"
                           "cat >> \"$0.requests\"\n"
                           "echo >> \"$0.requests\"\n"
                           "echo '{\"status\":\"error\",\"localizedError\":\"broken\"}'");
    launch();
    setMode(written);
    ASSERT_TRUE(test::waitUntil([this] { return !app->conversion().preparation()->running(); }));
    panel().setStatus(QStringLiteral("marker"));
    std::filesystem::remove(bundle.resources() / "rewrite-runner.requests");
    std::filesystem::remove(bundle.resources() / "rewrite-runner.arguments");
    app->conversion().prepare();
    ASSERT_TRUE(test::waitUntil([this] { return !app->conversion().preparation()->running(); }));
    test::spin(100ms);

    const auto requests = lines(bundle.resources() / "rewrite-runner.requests");
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].find("KIVO7_"), std::string::npos);
    EXPECT_NE(requests[1].find("KIVO7_"), std::string::npos) << "the variant with a protected literal";
    EXPECT_EQ(lines(bundle.resources() / "rewrite-runner.arguments"),
              (std::vector<std::string>{"--prepare", "--prepare"}));
    EXPECT_EQ(state().status, QStringLiteral("marker"));
    EXPECT_TRUE(state().result.isEmpty());
    EXPECT_FALSE(app->conversion().running());
}

TEST_F(Preparation, NothingStartsWithoutALanguageModelAndInstallingOneStartsIt)
{
    waitingRunner();
    launch();
    setMode(english);
    setMode(written);
    test::spin(200ms);
    EXPECT_TRUE(!app->conversion().preparation() || !app->conversion().preparation()->running());
    EXPECT_FALSE(std::filesystem::exists(bundle.resources() / "rewrite-runner.prepare"));

    // Installed from the Models window: prepared now, not at the next launch.
    installModel();
    app->models().changed(ModelRole::speech);
    test::spin(200ms);
    EXPECT_FALSE(std::filesystem::exists(bundle.resources() / "rewrite-runner.prepare"));
    app->models().changed(ModelRole::language);
    EXPECT_GT(preparationFor("zh-TW"), 0);
}

} // namespace
} // namespace kivo
