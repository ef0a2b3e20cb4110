#include "app/controller/TrialApp.h"
#include "app/shell/StatusLabel.h"
#include "tests/app/controller/ControllerTestSupport.h"

#include <QComboBox>

#include <gtest/gtest.h>

#include <memory>

namespace kivo {
namespace {

// The controller's side of automatic insertion, with no accessibility bus to reach: every
// delivery ends as permission required, which is enough to see how the outcome is reported.
class DeliveryWiring : public ::testing::Test {
protected:
    void SetUp() override
    {
        test::ensureApplication();
        app = std::make_unique<TrialApp>(TrialApp::Options{});
        app->localize();
        app->panel().language->setCurrentIndex(1);
        app->localize();
    }

    std::unique_ptr<TrialApp> app;
};

TEST_F(DeliveryWiring, AppendsTheOutcomeOnceAndPutsTheDiagnosticsInTheTooltip)
{
    app->panel().status->setText(QStringLiteral("完成 · 1.0 秒。"));
    app->deliverProcessedText("結果");
    EXPECT_TRUE(app->busy());
    app->deliverProcessedText("第二個"); // ignored while the first runs
    ASSERT_TRUE(test::waitUntil([&] { return !app->busy(); }));
    test::spin(std::chrono::milliseconds(50));
    const QString expected = QStringLiteral("完成 · 1.0 秒。 · 需輔助使用權限；結果留在 Kivo");
    EXPECT_EQ(app->panel().status->text(), expected);
    EXPECT_EQ(app->panel().status->toolTip(), expected + QLatin1Char('\n'));
}

TEST_F(DeliveryWiring, AStaleOutcomeLeavesTheStatusLineAlone)
{
    app->deliverProcessedText("結果");
    app->stopModel(QStringLiteral("已停止。"));
    ASSERT_TRUE(test::waitUntil([&] { return !app->busy(); }));
    test::spin(std::chrono::milliseconds(50));
    EXPECT_EQ(app->panel().status->text(), QStringLiteral("已停止。"));
}

} // namespace
} // namespace kivo
