#include "app/lifecycle/RestartTarget.h"
#include "app/lifecycle/RestartHelper.h"
#include "tests/relaunch/BundleFixture.h"
#include "tests/support/InterfaceLanguageScope.h"

#include <gtest/gtest.h>

#include <unistd.h>

namespace kivo {
namespace {

using namespace std::chrono_literals;

class RestartTargetTest : public testing::BundleFolderTest {};

TEST_F(RestartTargetTest, UsesTheLauncherOnlyWhenItIsThisAppWithAProgram)
{
    const auto launcher = testing::makeBundle(directory / "Dev", identifier);
    std::filesystem::create_directory_symlink(launcher, directory / "dev-link");
    EXPECT_EQ(RestartTarget::resolve(bundle, directory / "dev-link", identifier), launcher);

    const auto foreign = testing::makeBundle(directory / "Other", "org.example.other");
    const auto plain = testing::makeBundle(directory / "Plain", identifier, false);
    EXPECT_EQ(RestartTarget::resolve(bundle, foreign, identifier), bundle);
    EXPECT_EQ(RestartTarget::resolve(bundle, plain, identifier), bundle);
    EXPECT_EQ(RestartTarget::resolve(bundle, directory / "missing", identifier), bundle);
    EXPECT_EQ(RestartTarget::resolve(bundle, std::nullopt, identifier), bundle);
}

TEST_F(RestartTargetTest, ResolvesTheRunningBundleThroughLinks)
{
    std::filesystem::create_directory_symlink(bundle, directory / "bundle-link");
    EXPECT_EQ(RestartTarget::resolve(directory / "bundle-link", std::nullopt, identifier), bundle);
}

TEST_F(RestartTargetTest, HelperStartFailuresCarryTheirMessages)
{
    try {
        RestartHelper::start(directory / "no-resources", ::getpid(), bundle);
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
    const pid_t gone = testing::goneProcessId();
    const auto resources = directory / "Resources";
    std::filesystem::create_directories(resources);
    std::filesystem::copy_file(KIVO_RELAUNCH, resources / RestartHelper::fileName);
    RestartHelper::start(resources, gone, bundle);
    EXPECT_TRUE(testing::waitForFile(bundle / "marker", 10s));
}

} // namespace
} // namespace kivo
