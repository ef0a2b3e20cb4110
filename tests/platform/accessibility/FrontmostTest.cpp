// The frontmost application comes from the accessibility tree's active window. Only a session
// with a window manager settles which window is active: the weston session.
#include "platform/accessibility/AccessibilityInputAccess.h"
#include "tests/platform/accessibility/DesktopSession.h"

#include <gtest/gtest.h>

namespace kivo {
namespace {

// The process the insertion would write into, from the access's first diagnostic line.
qint64 frontmostProcess()
{
    AccessibilityInputAccess access;
    access.focusedTarget();
    const auto& lines = access.diagnostics();
    if (lines.empty() || lines.front().rfind("target=", 0) != 0) {
        return -1;
    }
    const auto at = lines.front().rfind(" pid=");
    return at == std::string::npos ? -1 : std::stoll(lines.front().substr(at + 5));
}

TEST(FrontmostTest, TheActiveWindowOfTheCompositorPicksTheTarget)
{
    if (!test::waylandSession()) {
        GTEST_SKIP() << "needs a window manager: run in scripts/test-session.sh --wayland";
    }
    const QString gtk = test::gtkTargetProgram();
    if (gtk.isEmpty()) {
        GTEST_SKIP() << "python3-gi with GTK 3 is not installed";
    }
    auto first = test::startTarget(test::qtTargetProgram());
    ASSERT_TRUE(first->ready());
    ASSERT_TRUE(first->set("line", "first", 5, 5));
    ASSERT_TRUE(test::focusTarget(*first, "line"));
    EXPECT_EQ(frontmostProcess(), first->processId());

    // A new window takes the focus: the target moves with it.
    auto second = test::launchTarget(gtk);
    ASSERT_TRUE(second->ready());
    ASSERT_TRUE(test::focusTarget(*second, "line"));
    ASSERT_TRUE(second->set("line", "second", 6, 6));
    EXPECT_TRUE(test::waitUntil([&] { return frontmostProcess() == second->processId(); }));
    AccessibilityInputAccess access;
    EXPECT_EQ(test::insertWith(access, u"!"), InputDelivery::inserted);
    EXPECT_EQ(second->get("line")->text, QStringLiteral("second!"));
    EXPECT_EQ(first->get("line")->text, QStringLiteral("first"));

    // Closing it hands the focus back to the window below.
    second.reset();
    EXPECT_TRUE(test::waitUntil([&] { return frontmostProcess() == first->processId(); }));
}

} // namespace
} // namespace kivo
