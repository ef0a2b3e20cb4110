#include "app/controller/TrialApp.h"
#include "app/shell/StatusLabel.h"
#include "tests/app/controller/ControllerTestSupport.h"

#include <QComboBox>

#include <gtest/gtest.h>

#include <memory>

namespace kivo {
namespace {

// The controller's side of automatic insertion. With no other application in front the outcome
// is permission required or no input, depending on whether the session's bus is reachable.
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
    const QString status = app->panel().status->text();
    EXPECT_TRUE(status == QStringLiteral("完成 · 1.0 秒。 · 需輔助使用權限；結果留在 Kivo") ||
                status == QStringLiteral("完成 · 1.0 秒。 · 沒有輸入框；結果留在 Kivo"))
        << status.toStdString();
    EXPECT_TRUE(app->panel().status->toolTip().startsWith(status + QLatin1Char('\n')));
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
