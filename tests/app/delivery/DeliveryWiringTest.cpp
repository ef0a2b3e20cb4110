#include "app/controller/Application.h"
#include "app/controller/Conversion.h"
#include "app/controller/Insertion.h"
#include "tests/app/controller/ControllerTestSupport.h"
#include "tests/app/shell/PanelWidgets.h"

#include <gtest/gtest.h>

#include <memory>

namespace kivo {
namespace {

// The app's side of automatic insertion. With no other application in front the outcome is
// permission required or no input, depending on whether the session's bus is reachable.
class DeliveryWiring : public ::testing::Test {
protected:
    void SetUp() override
    {
        test::ensureApplication();
        app = std::make_unique<Application>(Application::Options{});
        PanelSettings chinese = app->panel().state().settings;
        chinese.chinese = true;
        app->panel().setSettings(chinese);
    }

    // Inserts `text` as the result the panel shows now.
    void insert(const std::string& text)
    {
        const QUuid shown = app->conversion().epoch();
        app->insertion().deliver(text, [this, shown] { return app->conversion().epoch() == shown; });
    }

    QString status() { return app->panel().state().status; }

    std::unique_ptr<Application> app;
};

TEST_F(DeliveryWiring, AppendsTheOutcomeOnceAndPutsTheDiagnosticsInTheTooltip)
{
    app->panel().setStatus(QStringLiteral("完成 · 1.0 秒。"));
    insert("結果");
    EXPECT_TRUE(app->busy());
    insert("第二個"); // ignored while the first runs
    ASSERT_TRUE(test::waitUntil([&] { return !app->busy(); }));
    test::spin(std::chrono::milliseconds(50));
    EXPECT_TRUE(status() == QStringLiteral("完成 · 1.0 秒。 · 需輔助使用權限；結果留在 Kivo") ||
                status() == QStringLiteral("完成 · 1.0 秒。 · 沒有輸入框；結果留在 Kivo"))
        << status().toStdString();
    EXPECT_TRUE(test::PanelWidgets(app->panel()).status->toolTip().startsWith(status() + QLatin1Char('\n')));
}

TEST_F(DeliveryWiring, AStaleOutcomeLeavesTheStatusLineAlone)
{
    insert("結果");
    app->conversion().stop(QStringLiteral("已停止。"));
    ASSERT_TRUE(test::waitUntil([&] { return !app->busy(); }));
    test::spin(std::chrono::milliseconds(50));
    EXPECT_EQ(status(), QStringLiteral("已停止。"));
}

} // namespace
} // namespace kivo
