#include "platform/accessibility/AccessibilityInputAccess.h"
#include "platform/accessibility/AccessibilityThread.h"
#include "tests/platform/accessibility/DesktopSession.h"

#include <atspi/atspi.h>

#include "app/delivery/FocusedInputWriter.h"

#include <QClipboard>
#include <QMimeData>

#include <QGuiApplication>
#include <atomic>
#include <csignal>
#include <thread>

#include <gtest/gtest.h>

#include <algorithm>

namespace kivo {
namespace {

using test::focusTarget;
using test::insertWith;
using test::waitUntil;

bool contains(const std::vector<std::string>& lines, const std::string& line)
{
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

std::string joined(const std::vector<std::string>& lines)
{
    std::string text;
    for (const auto& line : lines) {
        text += line + "\n";
    }
    return text;
}

// Finds an input of the target by its accessible name, focused or not.
AccessibleElement findByNameHere(qint64 pid, const std::string& name)
{
    AccessibleElement desktop(atspi_get_desktop(0));
    std::vector<AccessibleElement> pending;
    for (int a = 0; a < atspi_accessible_get_child_count(desktop.get(), nullptr); ++a) {
        AccessibleElement app(atspi_accessible_get_child_at_index(desktop.get(), a, nullptr));
        if (app && atspi_accessible_get_process_id(app.get(), nullptr) == static_cast<guint>(pid)) {
            pending.push_back(app);
        }
    }
    while (!pending.empty()) {
        AccessibleElement element = std::move(pending.back());
        pending.pop_back();
        gchar* elementName = atspi_accessible_get_name(element.get(), nullptr);
        const bool match =
            elementName && elementName == name && atspi_accessible_get_role(element.get(), nullptr) != ATSPI_ROLE_LABEL;
        g_free(elementName);
        if (match) {
            return element;
        }
        for (int i = 0; i < atspi_accessible_get_child_count(element.get(), nullptr); ++i) {
            pending.emplace_back(atspi_accessible_get_child_at_index(element.get(), i, nullptr));
        }
    }
    return {};
}

AccessibleElement findByName(qint64 pid, const char* name)
{
    return AccessibilityThread::call([pid, n = std::string(name)] { return findByNameHere(pid, n); })
        .value_or(AccessibleElement());
}

bool isFocused(const AccessibleElement& element)
{
    return AccessibilityThread::call([element] {
               AtspiStateSet* states = atspi_accessible_get_state_set(element.get());
               const bool focused = states != nullptr && atspi_state_set_contains(states, ATSPI_STATE_FOCUSED);
               if (states != nullptr) {
                   g_object_unref(states);
               }
               return focused;
           })
        .value_or(false);
}

const std::map<QString, QByteArray> userClipboard{
    {QStringLiteral("text/plain"), QByteArray("the user's text")},
    // What a compositor's X bridge looks for before it hands a Wayland clipboard to X clients.
    {QStringLiteral("text/plain;charset=utf-8"), QByteArray("the user's text")},
    {QStringLiteral("text/html"), QByteArray("<b>the user's</b> text")},
    {QStringLiteral("application/x-kivo-test"), QByteArray("\x00\x01\xff binary", 11)},
};

// The formats we put there must come back exactly; the toolkit may add text aliases.
void expectUserClipboard(TargetAppClient& target)
{
    const auto now = target.clipboard();
    ASSERT_TRUE(now);
    for (const auto& [format, bytes] : userClipboard) {
        ASSERT_TRUE(now->contains(format)) << format.toStdString();
        EXPECT_EQ(now->at(format), bytes) << format.toStdString();
    }
}

class QtTargetTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { target = test::startTarget(test::qtTargetProgram()).release(); }
    static void TearDownTestSuite()
    {
        delete target;
        target = nullptr;
    }
    void SetUp() override { ASSERT_TRUE(target && target->ready()); }

    // Fills and focuses `field`, then reads it back through `access`.
    static std::optional<InputSnapshot> snapshotOf(AccessibilityInputAccess& access, const QString& field,
                                                   const QString& text, int start, int end)
    {
        if (!target->set(field, text, start, end) || !focusTarget(*target, field)) {
            return std::nullopt;
        }
        const auto element = access.focusedTarget();
        return element ? access.snapshot(*element) : std::nullopt;
    }

    static TargetAppClient* target;
};

TargetAppClient* QtTargetTest::target = nullptr;

TEST_F(QtTargetTest, InsertsAtTheCaretAndOverASelectionAndConfirmsByReadingBack)
{
    ASSERT_TRUE(target->set("line", "abc", 1, 1));
    ASSERT_TRUE(focusTarget(*target, "line"));
    AccessibilityInputAccess access;
    EXPECT_EQ(insertWith(access, u"你好😀"), InputDelivery::inserted);
    EXPECT_EQ(target->get("line")->text, QStringLiteral("a你好😀bc"));
    EXPECT_EQ(target->get("line")->start, 5) << "the caret follows the inserted text";
    EXPECT_EQ(access.diagnostics().at(0), "target=kivo-target-app pid=" + std::to_string(target->processId()));
    const std::string paste = test::nativeWaylandTarget(test::qtTargetProgram()) ? "false" : "true";
    EXPECT_TRUE(contains(access.diagnostics(), "route=direct selectedWritable=true valueWritable=true paste=" + paste));
    EXPECT_TRUE(contains(access.diagnostics(), "selection write=done"));
    EXPECT_TRUE(contains(access.diagnostics(), "readback=7 expected=7"));

    ASSERT_TRUE(target->set("line", "早晨😀 world!", 4, 10));
    AccessibilityInputAccess again;
    EXPECT_EQ(insertWith(again, u"世界🙂"), InputDelivery::inserted);
    EXPECT_EQ(target->get("line")->text, QStringLiteral("早晨😀世界🙂!"));
}

TEST_F(QtTargetTest, WholeValueWriteSetsTheCaretInUtf16Units)
{
    ASSERT_TRUE(target->set("line", "xxyy", 2, 2));
    ASSERT_TRUE(focusTarget(*target, "line"));
    AccessibilityInputAccess access;
    const auto element = access.focusedTarget();
    ASSERT_TRUE(element);
    EXPECT_EQ(access.replacePlainValue(u"x😀abcyy", 6, *element), InputWriteStatus::accepted);
    const auto field = target->get("line");
    EXPECT_EQ(field->text, QStringLiteral("x😀abcyy"));
    EXPECT_EQ(field->start, 6);
    const auto snapshot = access.snapshot(*element);
    ASSERT_TRUE(snapshot);
    EXPECT_EQ(snapshot->selection, (TextRange{6, 0}));
}

// One access asks for the focus several times; the element found before is reused only while
// it still holds the focus, so a move to another field or to a password field is always seen.
TEST_F(QtTargetTest, AFocusFoundBeforeIsReusedOnlyWhileItHoldsTheFocus)
{
    ASSERT_TRUE(focusTarget(*target, "line"));
    AccessibilityInputAccess access;
    const AccessibleElement line = findByName(target->processId(), "line");
    EXPECT_EQ(access.focusedTarget(), line);
    EXPECT_EQ(access.focusedTarget(), line);
    EXPECT_TRUE(contains(access.diagnostics(), "focus=as last found"));

    ASSERT_TRUE(focusTarget(*target, "multi"));
    const AccessibleElement multi = findByName(target->processId(), "multi");
    ASSERT_TRUE(waitUntil([&] { return isFocused(multi) && !isFocused(line); }, std::chrono::milliseconds(5000)));
    EXPECT_EQ(access.focusedTarget(), multi);

    ASSERT_TRUE(target->focus("password"));
    const AccessibleElement password = findByName(target->processId(), "password");
    ASSERT_TRUE(waitUntil([&] { return isFocused(password) && !isFocused(multi); }, std::chrono::milliseconds(5000)));
    EXPECT_FALSE(access.focusedTarget());
    EXPECT_TRUE(access.focusIsPassword());
}

TEST_F(QtTargetTest, SecretAndDisabledFieldsAreNoTargets)
{
    ASSERT_TRUE(target->focus("password"));
    // The bus learns of the focus change a little later; until then the field focused before
    // (a real target) would still be reported.
    const AccessibleElement password = findByName(target->processId(), "password");
    ASSERT_TRUE(password);
    ASSERT_TRUE(waitUntil([&] { return isFocused(password); }, std::chrono::milliseconds(5000)));
    AccessibilityInputAccess access;
    EXPECT_FALSE(waitUntil([&] { return access.focusedTarget().has_value(); }, std::chrono::milliseconds(500)));
    EXPECT_EQ(insertWith(access, u"secret"), InputDelivery::passwordField);

    // A disabled field cannot hold the focus; ask about the element itself.
    const AccessibleElement disabled = findByName(target->processId(), "disabled");
    ASSERT_TRUE(disabled);
    EXPECT_FALSE(access.inputTarget(disabled));
    const AccessibleElement line = findByName(target->processId(), "line");
    ASSERT_TRUE(line);
    EXPECT_TRUE(access.inputTarget(line));
}

TEST_F(QtTargetTest, DescribesEachKindOfInput)
{
    AccessibilityInputAccess access;
    auto snapshot = snapshotOf(access, "line", "one", 3, 3);
    ASSERT_TRUE(snapshot);
    // A native Wayland client can be written through accessibility only: no paste keystroke.
    const bool paste = !test::nativeWaylandTarget(test::qtTargetProgram());
    EXPECT_EQ(*snapshot, (InputSnapshot{u"one", {3, 0}, true, true, paste, false}));

    snapshot = snapshotOf(access, "multi", "a\nb", 0, 1);
    ASSERT_TRUE(snapshot);
    // A text area prefers the paste on X11 only.
    EXPECT_EQ(*snapshot, (InputSnapshot{u"a\nb", {0, 1}, true, false, paste, !test::waylandSession()}));

    snapshot = snapshotOf(access, "combo", "two", 1, 1);
    ASSERT_TRUE(snapshot);
    EXPECT_EQ(snapshot->text, u"two");
    EXPECT_FALSE(snapshot->canReplacePlainValue) << "a combo box is written through its selection or a paste";
    EXPECT_FALSE(snapshot->prefersPaste);
    AccessibilityInputAccess writer;
    EXPECT_EQ(insertWith(writer, u"好"), InputDelivery::inserted);
    EXPECT_EQ(target->get("combo")->text, QStringLiteral("t好wo"));
}

TEST_F(QtTargetTest, PasteRouteGivesTheUsersClipboardBackAfterAConfirmedPaste)
{
    ASSERT_TRUE(target->setClipboard(userClipboard));
    ASSERT_TRUE(target->set("multi", "第一行\n第二行", 4, 7));
    ASSERT_TRUE(focusTarget(*target, "multi"));
    AccessibilityInputAccess access;
    EXPECT_EQ(insertWith(access, u"新的🙂"), InputDelivery::inserted);
    EXPECT_EQ(target->get("multi")->text, QStringLiteral("第一行\n新的🙂"));
    if (test::waylandSession()) {
        // Under Wayland text areas get the accessibility write; a native client no keystroke.
        const std::string paste = test::nativeWaylandTarget(test::qtTargetProgram()) ? "false" : "true";
        EXPECT_TRUE(
            contains(access.diagnostics(), "route=direct selectedWritable=true valueWritable=false paste=" + paste));
    } else {
        EXPECT_TRUE(contains(access.diagnostics(), "route=paste selectedWritable=true valueWritable=false paste=true"));
        EXPECT_TRUE(contains(access.diagnostics(), "postAccess=true"));
    }
    expectUserClipboard(*target);
}

TEST_F(QtTargetTest, HeldShiftStopsThePasteBeforeAnythingIsPosted)
{
    if (test::waylandSession()) {
        GTEST_SKIP() << "under Wayland text areas get the accessibility write, no keystroke";
    }
    ASSERT_TRUE(target->setClipboard(userClipboard));
    ASSERT_TRUE(target->set("multi", "keep", 4, 4));
    ASSERT_TRUE(focusTarget(*target, "multi"));
    AccessibilityInputAccess access;
    {
        const test::HeldShift shift;
        EXPECT_EQ(insertWith(access, u"never"), InputDelivery::changed);
    }
    EXPECT_TRUE(contains(access.diagnostics(), "write=changed"));
    test::waitUntil([] { return false; }, std::chrono::milliseconds(200));
    EXPECT_EQ(target->get("multi")->text, QStringLiteral("keep"));
    expectUserClipboard(*target);
}

TEST_F(QtTargetTest, AForeignClipboardChangeIsNeverOverwritten)
{
    if (test::nativeWaylandTarget(test::qtTargetProgram())) {
        // The lease serves the paste route, which only XWayland targets get; weston did not hand
        // this native Qt client's clipboard to X clients at all (a native GTK one's it did).
        GTEST_SKIP() << "the clipboard lease is for XWayland targets";
    }
    ASSERT_TRUE(target->setClipboard(userClipboard));
    ASSERT_TRUE(waitUntil([] { return QGuiApplication::clipboard()->text() == u"the user's text"; }));
    InputPasteboardLease lease;
    ASSERT_TRUE(lease.stage(QStringLiteral("ours")));
    EXPECT_TRUE(lease.isCurrent());
    // X keeps the older of two claims on the clipboard: the target needs an event time later
    // than ours, as a user copying there would have.
    ASSERT_TRUE(focusTarget(*target, "line"));
    {
        const test::HeldShift keystroke;
    }
    test::waitUntil([] { return false; }, std::chrono::milliseconds(100));
    ASSERT_TRUE(target->setClipboard({{QStringLiteral("text/plain"), QByteArray("foreign")}}));
    EXPECT_TRUE(waitUntil([&] { return !lease.isCurrent(); }));
    EXPECT_FALSE(lease.finish());
    EXPECT_FALSE(lease.active());
    const auto now = target->clipboard();
    ASSERT_TRUE(now);
    EXPECT_EQ(now->at(QStringLiteral("text/plain")), QByteArray("foreign"));
}

// The real access, with the target killed right after the paste keystroke was posted.
class KillingAccess : public FocusedInputAccess<AccessibleElement> {
public:
    explicit KillingAccess(qint64 pid) : pid_(pid) {}
    bool isTrusted() override { return inner.isTrusted(); }
    std::optional<AccessibleElement> focusedTarget() override { return inner.focusedTarget(); }
    std::optional<InputSnapshot> snapshot(const AccessibleElement& target) override { return inner.snapshot(target); }
    InputWriteStatus replaceSelection(const std::u16string& text, const AccessibleElement& target) override
    {
        return inner.replaceSelection(text, target);
    }
    InputWriteStatus replacePlainValue(const std::u16string& value, std::int64_t caret,
                                       const AccessibleElement& target) override
    {
        return inner.replacePlainValue(value, caret, target);
    }
    InputWriteStatus pasteOnce(const std::u16string& text, const AccessibleElement& target,
                               const InputSnapshot& original) override
    {
        const InputWriteStatus status = inner.pasteOnce(text, target, original);
        if (status == InputWriteStatus::accepted) {
            killed = ::kill(static_cast<pid_t>(pid_), SIGKILL) == 0;
        }
        return status;
    }
    void finishPaste(bool confirmed) override { inner.finishPaste(confirmed); }
    void recordDiagnostic(const std::string& line) override { inner.recordDiagnostic(line); }

    AccessibilityInputAccess inner;
    bool killed = false;

private:
    qint64 pid_;
};

TEST(KilledTargetTest, TheUsersClipboardComesBackWhenTheTargetDiesInTheMiddleOfAPaste)
{
    if (test::waylandSession()) {
        GTEST_SKIP() << "under Wayland text areas get the accessibility write: no paste to interrupt";
    }
    auto target = test::startTarget(test::qtTargetProgram());
    ASSERT_TRUE(target->ready());
    ASSERT_TRUE(target->set("multi", "before", 6, 6));
    ASSERT_TRUE(focusTarget(*target, "multi"));
    // The clipboard belongs to a program that outlives the target: this one.
    auto* data = new QMimeData;
    for (const auto& [format, bytes] : userClipboard) {
        data->setData(format, bytes);
    }
    QGuiApplication::clipboard()->setMimeData(data);

    KillingAccess access(target->processId());
    std::optional<InputDelivery> outcome;
    const auto insertion = FocusedInputWriter::insert(u"半途😀", access, [&](InputDelivery d) { outcome = d; });
    ASSERT_TRUE(waitUntil([&] { return outcome.has_value(); }, std::chrono::seconds(10))) << "the insertion hung";
    EXPECT_TRUE(access.killed);
    EXPECT_EQ(*outcome, InputDelivery::uncertain);
    EXPECT_TRUE(contains(access.inner.diagnostics(), "clipboard=restored"));
    const QMimeData* now = QGuiApplication::clipboard()->mimeData();
    ASSERT_TRUE(now);
    for (const auto& [format, bytes] : userClipboard) {
        EXPECT_EQ(now->data(format), bytes) << format.toStdString();
    }
}

TEST(AccessibilityThreadTest, ACallThatDoesNotReturnHoldsTheCallerOnlyUntilItsLimit)
{
    test::ensureDesktop();
    const auto release = std::make_shared<std::atomic<bool>>(false);
    const auto stuck = [release] {
        while (!*release) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    };
    EXPECT_FALSE(AccessibilityThread::run(stuck, std::chrono::milliseconds(100)));
    // Behind a call that ran out of time nothing queues up: it is refused without running.
    const auto ran = std::make_shared<std::atomic<bool>>(false);
    EXPECT_FALSE(AccessibilityThread::run([ran] { *ran = true; }, std::chrono::seconds(30)));
    *release = true;
    EXPECT_TRUE(waitUntil([] { return AccessibilityThread::call([] { return true; }).value_or(false); }))
        << "usable again once the stuck call returned";
    EXPECT_FALSE(*ran);
    EXPECT_EQ(AccessibilityThread::call([] { return AccessibilityThread::isCurrent(); }), std::optional(true));
    EXPECT_FALSE(AccessibilityThread::isCurrent());
}

TEST(AccessibilityDiagnosticsTest, KeepsAtMost24LinesAndNoImmediateRepeats)
{
    test::ensureDesktop();
    AccessibilityInputAccess access;
    access.recordDiagnostic("a");
    access.recordDiagnostic("a");
    access.recordDiagnostic("b");
    access.recordDiagnostic("a");
    EXPECT_EQ(access.diagnostics(), (std::vector<std::string>{"a", "b", "a"}));
    for (int i = 0; i < 30; ++i) {
        access.recordDiagnostic("line " + std::to_string(i));
    }
    EXPECT_EQ(access.diagnostics().size(), 24U);
    EXPECT_EQ(access.diagnostics().back(), "line 20") << "later lines are dropped, not rolled";
}

class GtkTargetTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        program = test::gtkTargetProgram();
        if (program.isEmpty()) {
            GTEST_SKIP() << "python3-gi with GTK 3 is not installed";
        }
        target = test::startTarget(program);
        ASSERT_TRUE(target->ready());
    }

    QString program;
    std::unique_ptr<TargetAppClient> target;
};

TEST_F(GtkTargetTest, CountsCodePointsWhenInsertingAtTheCaretAndOverASelection)
{
    // Offsets the GTK target reports are code points: the emoji before the caret counts once.
    // GTK selects a whole entry when it takes the focus, so the caret is placed afterwards.
    ASSERT_TRUE(focusTarget(*target, "line"));
    ASSERT_TRUE(target->set("line", "😀ab", 3, 3));
    AccessibilityInputAccess access;
    const auto element = access.focusedTarget();
    ASSERT_TRUE(element);
    EXPECT_EQ(access.snapshot(*element)->selection, (TextRange{3, 0}));
    EXPECT_EQ(insertWith(access, u"你好🙂"), InputDelivery::inserted);
    EXPECT_EQ(target->get("line")->text, QStringLiteral("😀a你好🙂b"));

    ASSERT_TRUE(target->set("line", "😀早晨 world", 2, 4));
    AccessibilityInputAccess again;
    EXPECT_EQ(insertWith(again, u"晚安"), InputDelivery::inserted);
    EXPECT_EQ(target->get("line")->text, QStringLiteral("😀晚安 world"));

    ASSERT_TRUE(target->focus("password"));
    AccessibilityInputAccess secret;
    EXPECT_FALSE(waitUntil([&] { return secret.focusedTarget().has_value(); }, std::chrono::milliseconds(500)));
}

TEST_F(GtkTargetTest, MultiLineTextViewTakesTheInsertion)
{
    ASSERT_TRUE(target->set("multi", "第一行\n第二行😀", 4, 7));
    ASSERT_TRUE(focusTarget(*target, "multi"));
    AccessibilityInputAccess access;
    EXPECT_EQ(insertWith(access, u"新的🙂"), InputDelivery::inserted) << joined(access.diagnostics());
    EXPECT_EQ(target->get("multi")->text, QStringLiteral("第一行\n新的🙂😀"));
    // A paste on X11; under Wayland the accessibility write, and no keystroke for a native client.
    const bool keys = !test::nativeWaylandTarget(program);
    EXPECT_TRUE(contains(access.diagnostics(),
                         std::string("route=") + (test::waylandSession() ? "direct" : "paste") +
                             " selectedWritable=true valueWritable=false paste=" + (keys ? "true" : "false")));
}

} // namespace
} // namespace kivo
