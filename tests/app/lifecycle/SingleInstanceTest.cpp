#include "app/lifecycle/SingleInstance.h"
#include "app/controller/Application.h"
#include "app/controller/Conversion.h"
#include "app/lifecycle/TextService.h"
#include "app/shell/FloatingPanel.h"
#include "tests/app/controller/ControllerTestSupport.h"

#include <gtest/gtest.h>

#include <QDBusConnection>
#include <QMimeData>
#include <QPlainTextEdit>

#include <future>

namespace kivo {
namespace {

// Runs `work` on another thread with a bus connection of its own (another "process" on the
// bus) while this thread keeps serving the exported object.
template <typename Work>
auto fromAnotherClient(Work work)
{
    auto result = std::async(std::launch::async, [work] {
        QDBusConnection bus = QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("second"));
        auto value = work(bus);
        QDBusConnection::disconnectFromBus(QStringLiteral("second"));
        return value;
    });
    test::waitUntil([&] { return result.wait_for(std::chrono::seconds(0)) == std::future_status::ready; });
    return result.get();
}

TEST(SingleInstance, SecondLaunchRaisesTheFirstAndTheTextServiceFeedsOriginal)
{
    test::ensureApplication();
    ASSERT_TRUE(QDBusConnection::sessionBus().isConnected()) << "needs the session bus of test-session.sh";
    test::TestBundle bundle;
    bundle.setRunnerScript("sleep 10");
    Application::Options options;
    options.resourcesDirectory = bundle.resources();
    options.lockPath = bundle.lockPath().string();
    Application app(options);

    int raised = 0;
    TextService service;
    service.onRaise = [&] { ++raised; };
    service.onConvertSelection = [&](const QString& text) { return app.convertSelection(text); };
    ASSERT_EQ(SingleInstance::claim(QDBusConnection::sessionBus(), service), SingleInstance::Claim::primary);

    const auto second = fromAnotherClient([](QDBusConnection bus) {
        TextService other;
        return SingleInstance::claim(bus, other);
    });
    EXPECT_EQ(second, SingleInstance::Claim::raisedExisting);
    EXPECT_EQ(raised, 1);

    auto sent = fromAnotherClient([](QDBusConnection bus) { return SingleInstance::sendText(bus, "今日好熱"); });
    EXPECT_FALSE(sent) << sent->toStdString();
    EXPECT_EQ(app.panel().state().source, QStringLiteral("今日好熱"));
    EXPECT_EQ(app.panel().state().result, QString());
    EXPECT_FALSE(app.conversion().running());

    sent = fromAnotherClient([](QDBusConnection bus) { return SingleInstance::sendText(bus, ""); });
    ASSERT_TRUE(sent);
    EXPECT_EQ(*sent, QStringLiteral("沒有收到選取文字。"));

    app.conversion().run(); // a conversion is running: the text service is refused
    ASSERT_TRUE(app.conversion().running());
    sent = fromAnotherClient([](QDBusConnection bus) { return SingleInstance::sendText(bus, "新文字"); });
    ASSERT_TRUE(sent);
    EXPECT_EQ(*sent, QStringLiteral("Kivo 正在處理，請完成或取消後重試。"));
    EXPECT_EQ(app.panel().state().source, QStringLiteral("今日好熱"));
    emit app.panel().cancelClicked();
    QDBusConnection::sessionBus().unregisterService(SingleInstance::serviceName);
}

} // namespace
} // namespace kivo
