#include "app/lifecycle/RestartTarget.h"
#include "app/lifecycle/RestartHelper.h"
#include "tests/relaunch/BundleFixture.h"
#include "tests/support/InterfaceLanguageScope.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

namespace kivo {
namespace {

using namespace std::chrono_literals;

constexpr const char* identifier = "local.kivo.afm-trial";

class RestartTargetTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "kivo-restart-XXXXXX").string();
        directory = std::filesystem::canonical(::mkdtemp(pattern.data()));
        current = testing::makeBundle(directory / "Kivo", identifier);
    }
    void TearDown() override { std::filesystem::remove_all(directory); }

    std::filesystem::path directory;
    std::filesystem::path current;
};

TEST_F(RestartTargetTest, UsesTheLauncherOnlyWhenItIsThisAppWithAProgram)
{
    const auto launcher = testing::makeBundle(directory / "Dev", identifier);
    std::filesystem::create_directory_symlink(launcher, directory / "dev-link");
    EXPECT_EQ(RestartTarget::resolve(current, directory / "dev-link", identifier), launcher);

    const auto foreign = testing::makeBundle(directory / "Other", "org.example.other");
    const auto plain = testing::makeBundle(directory / "Plain", identifier, false);
    EXPECT_EQ(RestartTarget::resolve(current, foreign, identifier), current);
    EXPECT_EQ(RestartTarget::resolve(current, plain, identifier), current);
    EXPECT_EQ(RestartTarget::resolve(current, directory / "missing", identifier), current);
    EXPECT_EQ(RestartTarget::resolve(current, std::nullopt, identifier), current);
}

TEST_F(RestartTargetTest, ResolvesTheRunningBundleThroughLinks)
{
    std::filesystem::create_directory_symlink(current, directory / "current-link");
    EXPECT_EQ(RestartTarget::resolve(directory / "current-link", std::nullopt, identifier), current);
}

TEST_F(RestartTargetTest, HelperStartFailuresCarryTheirMessages)
{
    try {
        RestartHelper::start(directory / "no-resources", ::getpid(), current);
        FAIL() << "a missing helper must be reported";
    } catch (const RestartHelper::RestartError& error) {
        EXPECT_EQ(error.reason(), RestartHelper::RestartError::Reason::helperMissing);
        EXPECT_EQ(error.message(), "Restart helper is missing. Rebuild the app.");
        EXPECT_EQ(test::inLanguage(true, [&] { return error.message(); }), "重新啟動工具遺失，請重新建置 App。");
    }
}

TEST_F(RestartTargetTest, StartedHelperReopensTheBundleAfterThisProcessIsGone)
{
    // The helper waits for a process id: give it one that has already ended.
    const pid_t gone = ::fork();
    if (gone == 0) {
        ::_exit(0);
    }
    ::waitpid(gone, nullptr, 0);
    const auto resources = directory / "Resources";
    std::filesystem::create_directories(resources);
    std::filesystem::copy_file(KIVO_RELAUNCH, resources / RestartHelper::fileName);
    RestartHelper::start(resources, gone, current);
    EXPECT_TRUE(testing::waitForFile(current / "marker", 10s));
}

} // namespace
} // namespace kivo
