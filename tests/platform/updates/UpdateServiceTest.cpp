#include "platform/updates/UpdateService.h"
#include "platform/updates/Appcast.h"
#include "tests/app/controller/ControllerTestSupport.h"
#include "tests/platform/updates/UpdateFixture.h"

#include <gtest/gtest.h>

#include <optional>

namespace kivo {
namespace {

class UpdateServiceTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { test::ensureApplication(); }

    // Runs one check to its end: an abort, or a relaunch after the install.
    void check(bool postpone = false)
    {
        auto configuration = fixture.configuration();
        configuration.relaunch = [this](const std::filesystem::path& bundle) { relaunched = bundle; };
        UpdateService::Delegate delegate;
        delegate.shouldPostponeRelaunch = [this, postpone](std::function<void()> install) {
            continuation = std::move(install);
            return postpone;
        };
        delegate.didAbort = [this](const UpdateError& error) { aborted = error; };
        service = std::make_unique<UpdateService>(configuration, delegate);
        service->startUpdater();
        service->checkForUpdates();
        EXPECT_FALSE(service->canCheckForUpdates());
        test::waitUntil([&] { return aborted || relaunched || (postpone && continuation); });
    }

    test::UpdateFixture fixture;
    std::unique_ptr<UpdateService> service;
    std::optional<UpdateError> aborted;
    std::optional<std::filesystem::path> relaunched;
    std::function<void()> continuation;
};

TEST_F(UpdateServiceTest, NoNewerVersionAbortsWithNoUpdate)
{
    fixture.publish("0.1.0");
    check();
    ASSERT_TRUE(aborted);
    EXPECT_TRUE(aborted->isNoUpdateFound());
    EXPECT_TRUE(service->canCheckForUpdates());
    EXPECT_EQ(fixture.installedVersion(), "0.1.0");
}

TEST_F(UpdateServiceTest, SignedUpdateIsInstalledOverTheBundleAndRelaunched)
{
    fixture.publish("0.1.0");
    fixture.publish("0.10.0");
    fixture.publish("0.2.0");
    check();
    ASSERT_FALSE(aborted) << aborted->what();
    ASSERT_TRUE(relaunched);
    EXPECT_EQ(*relaunched, fixture.installed);
    EXPECT_EQ(fixture.installedVersion(), "0.10.0");
    EXPECT_EQ(fixture.leftovers(), 0);
}

TEST_F(UpdateServiceTest, PostponedInstallWaitsForItsContinuation)
{
    fixture.publish("0.2.0");
    check(true);
    ASSERT_TRUE(continuation);
    EXPECT_EQ(fixture.installedVersion(), "0.1.0");
    continuation();
    EXPECT_EQ(fixture.installedVersion(), "0.2.0");
    EXPECT_TRUE(relaunched);
}

TEST_F(UpdateServiceTest, BadSignatureOrForeignBundleIsRefusedAndNothingIsLeft)
{
    fixture.publish("0.2.0", test::kivoIdentifier, UpdateSignature::generateKeyPair().secretKey);
    check();
    ASSERT_TRUE(aborted);
    EXPECT_EQ(aborted->code(), UpdateError::signatureInvalid);
    EXPECT_EQ(fixture.installedVersion(), "0.1.0");
    EXPECT_EQ(fixture.leftovers(), 0);

    aborted.reset();
    fixture.publish("0.3.0", "org.example.other");
    check();
    ASSERT_TRUE(aborted);
    EXPECT_EQ(aborted->code(), UpdateError::installFailed);
    EXPECT_EQ(fixture.installedVersion(), "0.1.0");
    EXPECT_EQ(fixture.leftovers(), 0);
    EXPECT_FALSE(relaunched);
}

TEST_F(UpdateServiceTest, MissingFeedAndTruncatedArchiveAbort)
{
    check();
    ASSERT_TRUE(aborted);
    EXPECT_EQ(aborted->code(), UpdateError::feedFailed);

    aborted.reset();
    fixture.publish("0.2.0");
    fixture.server.serve("/Kivo-0.2.0.tar.gz", "short");
    check();
    ASSERT_TRUE(aborted);
    EXPECT_EQ(aborted->code(), UpdateError::downloadFailed);
    EXPECT_EQ(fixture.installedVersion(), "0.1.0");
}

TEST(UpdateAppcast, VersionsCompareByNumberAndUnsignedItemsAreSkipped)
{
    EXPECT_LT(Appcast::compareVersions("0.9", "0.10"), 0);
    EXPECT_EQ(Appcast::compareVersions("1.0", "1"), 0);
    EXPECT_GT(Appcast::compareVersions("1.0.1", "1.0"), 0);
    const auto items = Appcast::parse(std::string("<rss xmlns:kivo=\"") + Appcast::xmlNamespace +
                                      "\"><channel><item><kivo:version>2.0</kivo:version>"
                                      "<enclosure url=\"http://127.0.0.1/a\" length=\"3\"/></item>"
                                      "<item><kivo:version>1.5</kivo:version><enclosure url=\"http://127.0.0.1/b\" "
                                      "length=\"4\" kivo:signature=\"c2ln\"/></item></channel></rss>");
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items[0].version, "1.5");
    EXPECT_EQ(items[0].length, 4u);
    EXPECT_THROW(Appcast::parse("<rss><channel><item>"), UpdateError);
}

} // namespace
} // namespace kivo
