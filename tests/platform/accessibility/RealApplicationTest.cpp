// Insertion into ordinary applications installed from Debian, each made from a fresh process
// (kivo-insert-once) whose accessibility library has not been started before, as the first
// insertion of a freshly started Kivo is.
#include "tools/targetapp/RealApplication.h"
#include "tests/platform/accessibility/DesktopSession.h"

#include <atspi/atspi.h>

#include <QClipboard>
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

// Focuses one field of `app` with the user's clipboard in place and inserts there afresh.
InsertOnceResult insertInto(RealApplication& app, int role, const std::string& field, const QString& text)
{
    putUserClipboard();
    if (!app.focusElement(role, field)) {
        ADD_FAILURE() << "could not focus " << field;
        return {QStringLiteral("unfocused"), 0, {}};
    }
    return insertFresh(text);
}

// Waits for the application's first `role` element and gives it the focus.
bool focusFirst(RealApplication& app, int role, std::chrono::milliseconds appears)
{
    return app.waitForElement(role, {}, appears) && app.focusWindow(10s) && app.focusElement(role, {});
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
    ASSERT_TRUE(focusFirst(mousepad, ATSPI_ROLE_TEXT, 30s));

    auto result = insertFresh(QStringLiteral("早晨，你好😀"));
    EXPECT_EQ(result.outcome, u"inserted") << joined(result).toStdString();
    EXPECT_TRUE(
        result.diagnostics.contains(QStringLiteral("route=paste selectedWritable=true valueWritable=false paste=true")))
        << joined(result).toStdString();
    EXPECT_EQ(focusedText(), QStringLiteral("早晨，你好😀"));

    // An empty clipboard is still the user's and does not stop the paste.
    ASSERT_TRUE(runTool(QStringLiteral("sh"),
                        {QStringLiteral("-c"), QStringLiteral("printf '' | xclip -selection clipboard")}));
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
    EXPECT_TRUE(result.diagnostics.contains(
        QStringLiteral("route=direct selectedWritable=true valueWritable=false paste=true")))
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
    ASSERT_TRUE(focusFirst(featherpad, ATSPI_ROLE_TEXT, 30s));
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
    if (!installed("chromium")) {
        GTEST_SKIP() << "chromium is not installed";
    }
    test::ensureDesktop();
    QTemporaryDir profile;
    const QString page = writeFieldsPage(profile.path());
    ASSERT_FALSE(page.isEmpty());
    RealApplication chromium(QStringLiteral("chromium"),
                             {QStringLiteral("--force-renderer-accessibility"), QStringLiteral("--no-sandbox"),
                              QStringLiteral("--user-data-dir=") + profile.filePath(QStringLiteral("profile")),
                              QStringLiteral("--no-first-run"), QStringLiteral("--no-default-browser-check"),
                              QStringLiteral("--disable-gpu"), QStringLiteral("--password-store=basic"),
                              QStringLiteral("--disable-background-networking"), QStringLiteral("--disable-sync"),
                              QStringLiteral("--disable-extensions"), page},
                             "chromium");
    ASSERT_TRUE(chromium.waitForElement(ATSPI_ROLE_ENTRY, "line", 60s)) << "the page did not appear on the bus";
    ASSERT_TRUE(chromium.focusWindow(10s));

    auto result = insertInto(chromium, ATSPI_ROLE_ENTRY, "line", QStringLiteral("你好😀"));
    EXPECT_EQ(result.outcome, u"inserted") << joined(result).toStdString();
    EXPECT_TRUE(result.diagnostics.contains(
        QStringLiteral("route=paste selectedWritable=false valueWritable=false paste=true")));
    EXPECT_TRUE(focusedText().contains(QStringLiteral("你好😀"))) << focusedText().toStdString();
    result = insertInto(chromium, ATSPI_ROLE_ENTRY, "area", QStringLiteral("早晨🙂"));
    EXPECT_EQ(result.outcome, u"inserted") << joined(result).toStdString();
    EXPECT_TRUE(focusedText().contains(QStringLiteral("早晨🙂"))) << focusedText().toStdString();
    result = insertInto(chromium, ATSPI_ROLE_SECTION, "rich", QStringLiteral("never"));
    EXPECT_EQ(result.outcome, u"noCheckableInput") << joined(result).toStdString();
    result = insertInto(chromium, ATSPI_ROLE_PASSWORD_TEXT, "secret", QStringLiteral("never"));
    EXPECT_EQ(result.outcome, u"passwordField") << joined(result).toStdString();
}

// A GTK editor started afresh, natively on Wayland in a Wayland session, takes the result in
// its empty document.
void expectEditorTakesTheResult(const char* program)
{
    if (!installed(program)) {
        GTEST_SKIP() << program << " is not installed";
    }
    test::ensureDesktop();
    putUserClipboard();
    QTemporaryDir home;
    RealApplication editor(QStringLiteral("env"),
                           isolatedEnvironment(home.path())
                               << toolkitBackend() << QString::fromLatin1(program) << QStringLiteral("--standalone"),
                           program);
    ASSERT_TRUE(focusFirst(editor, ATSPI_ROLE_TEXT, 40s));
    const auto result = insertFresh(QStringLiteral("今日天氣好熱，我哋去飲茶啦 😀"));
    EXPECT_EQ(result.outcome, u"inserted") << joined(result).toStdString();
    // No keystroke reaches a native client: the text goes in through the bus.
    if (test::waylandSession()) {
        EXPECT_TRUE(result.diagnostics.contains(
            QStringLiteral("route=direct selectedWritable=true valueWritable=false paste=false")))
            << joined(result).toStdString();
    }
    EXPECT_TRUE(test::waitUntil([] { return focusedText() == QStringLiteral("今日天氣好熱，我哋去飲茶啦 😀"); }, 5s))
        << focusedText().toStdString();
}

// GTK 4 gives SHOWING to the window frame alone; the text view is found all the same.
TEST(RealApplicationTest, GnomeTextEditorTakesTheResultInItsDocument)
{
    expectEditorTakesTheResult("gnome-text-editor");
}

TEST(RealApplicationTest, GeditTakesTheResultInItsDocument)
{
    expectEditorTakesTheResult("gedit");
}

// The focused paragraph sits inside a focused document panel that manages its descendants,
// and LibreOffice counts offsets in UTF-16 units.
TEST(RealApplicationTest, LibreOfficeWriterTakesTheResultInTheFocusedParagraph)
{
    if (!QFile::exists(QString::fromLatin1(officeProgram))) {
        GTEST_SKIP() << "LibreOffice is not installed";
    }
    test::ensureDesktop();
    QTemporaryDir home;
    RealApplication writer(QStringLiteral("env"), officeCommand(home.path()) << QStringLiteral("--writer"), "soffice");
    ASSERT_TRUE(writer.waitForElement(ATSPI_ROLE_PARAGRAPH, {}, 90s));
    ASSERT_TRUE(writer.focusWindow(10s));
    ASSERT_TRUE(test::waitUntil([] { return focusedText().isEmpty(); }, 30s)) << focusedText().toStdString();
    // Once the office has settled: for a moment after start-up it takes the clipboard over and
    // its window is not yet reported active for good.
    test::waitUntil([] { return false; }, 3s);
    putUserClipboard();
    auto result = insertFresh(QStringLiteral("飲茶😀"));
    EXPECT_EQ(result.outcome, u"inserted") << joined(result).toStdString();
    result = insertFresh(QStringLiteral("啦"));
    EXPECT_EQ(result.outcome, u"inserted") << joined(result).toStdString();
    EXPECT_EQ(focusedText(), QStringLiteral("飲茶😀啦"));
}

// A filler and a page tab above the document carry FOCUSED too.
TEST(RealApplicationTest, KWriteTakesTheResultInItsDocument)
{
    if (!installed("kwrite")) {
        GTEST_SKIP() << "kwrite is not installed";
    }
    test::ensureDesktop();
    putUserClipboard();
    QTemporaryDir home;
    // Without a file KWrite opens on a welcome page, with no document.
    const QString document = home.filePath(QStringLiteral("notes.txt"));
    QFile(document).open(QIODevice::WriteOnly);
    RealApplication kwrite(QStringLiteral("env"),
                           isolatedEnvironment(home.path()) << QStringLiteral("QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1")
                                                            << QStringLiteral("kwrite") << document,
                           "kwrite");
    ASSERT_TRUE(kwrite.waitForElement(ATSPI_ROLE_TEXT, {}, 60s));
    ASSERT_TRUE(kwrite.focusWindow(10s));
    ASSERT_TRUE(test::waitUntil([] { return focusedText().isEmpty(); }, 20s)) << focusedText().toStdString();
    const auto result = insertFresh(QStringLiteral("今日天氣好熱 😀"));
    EXPECT_EQ(result.outcome, u"inserted") << joined(result).toStdString();
    EXPECT_EQ(focusedText(), QStringLiteral("今日天氣好熱 😀"));
}

// Gecko accepts the accessibility writes into its inputs and changes nothing, so only a paste
// fills them; a native Wayland client is sent no keystroke, and there the truthful outcome is
// that nothing was inserted. Either way the field holds what the outcome says.
void expectFieldHoldsOutcome(const InsertOnceResult& result, const QString& before, const QString& text)
{
    if (test::waylandSession() && result.outcome == u"notInserted") {
        EXPECT_TRUE(result.diagnostics.contains(QStringLiteral("keystroke=none: no X window, a native Wayland client")))
            << joined(result).toStdString();
        // A write that lands late would be pasted a second time by the user.
        EXPECT_FALSE(test::waitUntil([&] { return focusedText() != before; }, 1s)) << focusedText().toStdString();
        return;
    }
    const QString now = focusedText();
    EXPECT_EQ(result.outcome, u"inserted") << joined(result).toStdString();
    EXPECT_EQ(now.count(text), 1) << now.toStdString();
}

// One browser for every field. Gecko reports U+FEFF after an emoji it was given.
TEST(RealApplicationTest, FirefoxFillsInputsAndSaysWhyNotElsewhere)
{
    if (!installed("firefox-esr")) {
        GTEST_SKIP() << "firefox-esr is not installed";
    }
    test::ensureDesktop();
    QTemporaryDir home;
    const QString page = writeFieldsPage(home.path());
    ASSERT_FALSE(page.isEmpty());
    RealApplication firefox(QStringLiteral("env"), firefoxCommand(home.path(), page), "Firefox");
    ASSERT_TRUE(firefox.waitForElement(ATSPI_ROLE_ENTRY, "line", 90s)) << "the page did not appear on the bus";
    ASSERT_TRUE(firefox.focusWindow(10s));

    auto result = insertInto(firefox, ATSPI_ROLE_ENTRY, "line", QStringLiteral("今日天氣好熱😀"));
    expectFieldHoldsOutcome(result, QStringLiteral("網頁"), QStringLiteral("今日天氣好熱😀"));
    result = insertInto(firefox, ATSPI_ROLE_ENTRY, "area", QStringLiteral("飲茶🙂"));
    expectFieldHoldsOutcome(result, QStringLiteral("第一行"), QStringLiteral("飲茶🙂"));

    result = insertInto(firefox, ATSPI_ROLE_SECTION, "rich", QStringLiteral("never"));
    EXPECT_EQ(result.outcome, u"noCheckableInput") << joined(result).toStdString();
    result = insertInto(firefox, ATSPI_ROLE_PASSWORD_TEXT, "secret", QStringLiteral("never"));
    EXPECT_EQ(result.outcome, u"passwordField") << joined(result).toStdString();
}

} // namespace
} // namespace kivo
