// Insertion into ordinary applications installed from Debian, each made from a fresh process
// (kivo-insert-once) whose accessibility library has not been started before, as the first
// insertion of a freshly started Kivo is.
#include "tests/platform/accessibility/DesktopSession.h"
#include "tools/targetapp/RealApplication.h"

#include <atspi/atspi.h>

#include <QClipboard>
#include <QDir>
#include <QGuiApplication>
#include <QMimeData>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <map>

namespace kivo {
namespace {

using namespace std::chrono_literals;

const std::map<QString, QByteArray> userClipboard{
    {QStringLiteral("text/plain"), QByteArray("the user's text")},
    {QStringLiteral("text/html"), QByteArray("<b>the user's</b> text")},
    {QStringLiteral("application/x-kivo-test"), QByteArray("\x00\x01\xff binary", 11)},
};

void putUserClipboard()
{
    auto* data = new QMimeData;
    for (const auto& [format, bytes] : userClipboard) {
        data->setData(format, bytes);
    }
    QGuiApplication::clipboard()->setMimeData(data);
}

// Read through the display from whichever process holds the clipboard now.
void expectUserClipboard()
{
    test::waitUntil([] { return false; }, 100ms);
    const QMimeData* now = QGuiApplication::clipboard()->mimeData();
    ASSERT_TRUE(now);
    for (const auto& [format, bytes] : userClipboard) {
        EXPECT_EQ(now->data(format), bytes) << format.toStdString();
    }
}

InsertOnceResult insertFresh(const QString& text)
{
    InsertOnce insertion(QStringLiteral(KIVO_INSERT_ONCE), text);
    InsertOnceResult result = insertion.wait();
    // Keep the inserting process (and the clipboard it gave back) until it has been checked.
    if (result.outcome != u"hung") {
        expectUserClipboard();
    }
    return result;
}

QString focusedText()
{
    AccessibilityInputAccess access;
    const auto target = access.focusedTarget();
    const auto snapshot = target ? access.snapshot(*target) : std::nullopt;
    return snapshot ? QString::fromStdU16String(snapshot->text) : QStringLiteral("<nothing readable>");
}

bool installed(const char* program)
{
    return !QStandardPaths::findExecutable(QString::fromLatin1(program)).isEmpty();
}

QString joined(const InsertOnceResult& result)
{
    return result.outcome + QStringLiteral(": ") + result.diagnostics.join(QStringLiteral(" | "));
}

TEST(RealApplicationTest, MousepadTakesAPasteInItsTextViewAndADirectWriteInItsSearchEntry)
{
    if (!installed("mousepad")) {
        GTEST_SKIP() << "mousepad is not installed";
    }
    test::ensureDesktop();
    putUserClipboard();
    RealApplication mousepad(QStringLiteral("env"), {QStringLiteral("GSETTINGS_BACKEND=memory"),
                                                     QStringLiteral("mousepad"), QStringLiteral("--disable-server")});
    ASSERT_TRUE(mousepad.waitForElement(ATSPI_ROLE_TEXT, {}, 30s));
    ASSERT_TRUE(mousepad.focusWindow(10s));
    ASSERT_TRUE(mousepad.focusElement(ATSPI_ROLE_TEXT, {}));

    auto result = insertFresh(QStringLiteral("早晨，你好😀"));
    EXPECT_EQ(result.outcome, u"inserted") << joined(result).toStdString();
    EXPECT_TRUE(result.diagnostics.contains(QStringLiteral("route=paste selectedWritable=true valueWritable=false paste=true")))
        << joined(result).toStdString();
    EXPECT_EQ(focusedText(), QStringLiteral("早晨，你好😀"));

    // An empty clipboard is still the user's and does not stop the paste.
    ASSERT_TRUE(runTool(QStringLiteral("sh"), {QStringLiteral("-c"), QStringLiteral("printf '' | xclip -selection clipboard")}));
    test::waitUntil([] { return false; }, 200ms);
    {
        InsertOnce insertion(QStringLiteral(KIVO_INSERT_ONCE), QStringLiteral("🙂"));
        result = insertion.wait();
        EXPECT_EQ(result.outcome, u"inserted") << joined(result).toStdString();
        test::waitUntil([] { return false; }, 100ms);
        EXPECT_TRUE(QGuiApplication::clipboard()->text().isEmpty()) << "given back empty";
    }
    EXPECT_EQ(focusedText(), QStringLiteral("早晨，你好😀🙂"));

    putUserClipboard();
    ASSERT_TRUE(RealApplication::key(QStringLiteral("ctrl+f")));
    ASSERT_TRUE(test::waitUntil([] { return focusedText().isEmpty(); }, 20s)) << "the search entry takes the focus";
    result = insertFresh(QStringLiteral("你好"));
    EXPECT_EQ(result.outcome, u"inserted") << joined(result).toStdString();
    // The entry of a search combo box: written through its selection.
    EXPECT_TRUE(result.diagnostics.contains(QStringLiteral("route=AX selectedWritable=true valueWritable=false paste=true")))
        << joined(result).toStdString();
    EXPECT_EQ(focusedText(), QStringLiteral("你好"));
}

TEST(RealApplicationTest, FeatherPadTakesAPaste)
{
    if (!installed("featherpad")) {
        GTEST_SKIP() << "featherpad is not installed";
    }
    test::ensureDesktop();
    putUserClipboard();
    RealApplication featherpad(QStringLiteral("featherpad"), {});
    ASSERT_TRUE(featherpad.waitForElement(ATSPI_ROLE_TEXT, {}, 30s));
    ASSERT_TRUE(featherpad.focusWindow(10s));
    ASSERT_TRUE(featherpad.focusElement(ATSPI_ROLE_TEXT, {}));
    const auto result = insertFresh(QStringLiteral("第一行\n第二行😀"));
    EXPECT_EQ(result.outcome, u"inserted") << joined(result).toStdString();
    EXPECT_EQ(focusedText(), QStringLiteral("第一行\n第二行😀"));
}

TEST(RealApplicationTest, XtermHasNoCheckableInputAndGetsNothing)
{
    if (!installed("xterm")) {
        GTEST_SKIP() << "xterm is not installed";
    }
    test::ensureDesktop();
    putUserClipboard();
    RealApplication xterm(QStringLiteral("xterm"), {});
    ASSERT_TRUE(xterm.focusWindow(20s));
    const auto result = insertFresh(QStringLiteral("echo never"));
    EXPECT_EQ(result.outcome, u"noCheckableInput") << joined(result).toStdString();
}

// One browser for every field: its start-up is the slow part.
TEST(RealApplicationTest, ChromiumFillsInputsByPasteAndRefusesWhatItCannotCheck)
{
    const char* browser = installed("chromium") ? "chromium" : nullptr;
    if (!browser) {
        GTEST_SKIP() << "chromium is not installed";
    }
    test::ensureDesktop();
    QTemporaryDir profile;
    ASSERT_TRUE(profile.isValid());
    const QString page = profile.filePath(QStringLiteral("fields.html"));
    QFile file(page);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(R"(<!doctype html><meta charset="utf-8"><title>fields</title>
<input aria-label="line" value="網頁">
<textarea aria-label="area">第一行</textarea>
<div contenteditable="true" aria-label="rich">可編輯</div>
<input type="password" aria-label="secret" value="pw">)");
    file.close();
    RealApplication chromium(QString::fromLatin1(browser),
                             {QStringLiteral("--force-renderer-accessibility"), QStringLiteral("--no-sandbox"),
                              QStringLiteral("--user-data-dir=") + profile.filePath(QStringLiteral("profile")),
                              QStringLiteral("--no-first-run"), QStringLiteral("--no-default-browser-check"),
                              QStringLiteral("--disable-gpu"), QStringLiteral("--password-store=basic"),
                              QStringLiteral("--disable-background-networking"), QStringLiteral("--disable-sync"),
                              QStringLiteral("--disable-extensions"), QUrl::fromLocalFile(page).toString()},
                             "chromium");
    ASSERT_TRUE(chromium.waitForElement(ATSPI_ROLE_ENTRY, "line", 60s)) << "the page did not appear on the bus";
    ASSERT_TRUE(chromium.focusWindow(10s));

    putUserClipboard();
    ASSERT_TRUE(chromium.focusElement(ATSPI_ROLE_ENTRY, "line"));
    auto result = insertFresh(QStringLiteral("你好😀"));
    EXPECT_EQ(result.outcome, u"inserted") << joined(result).toStdString();
    EXPECT_TRUE(result.diagnostics.contains(QStringLiteral("route=paste selectedWritable=false valueWritable=false paste=true")));
    EXPECT_TRUE(focusedText().contains(QStringLiteral("你好😀"))) << focusedText().toStdString();

    putUserClipboard();
    ASSERT_TRUE(chromium.focusElement(ATSPI_ROLE_ENTRY, "area"));
    result = insertFresh(QStringLiteral("早晨🙂"));
    EXPECT_EQ(result.outcome, u"inserted") << joined(result).toStdString();
    EXPECT_TRUE(focusedText().contains(QStringLiteral("早晨🙂"))) << focusedText().toStdString();

    putUserClipboard();
    ASSERT_TRUE(chromium.focusElement(ATSPI_ROLE_SECTION, "rich"));
    result = insertFresh(QStringLiteral("never"));
    EXPECT_EQ(result.outcome, u"noCheckableInput") << joined(result).toStdString();

    putUserClipboard();
    ASSERT_TRUE(chromium.focusElement(ATSPI_ROLE_PASSWORD_TEXT, "secret"));
    result = insertFresh(QStringLiteral("never"));
    EXPECT_EQ(result.outcome, u"noInput") << joined(result).toStdString();
}

} // namespace
} // namespace kivo
