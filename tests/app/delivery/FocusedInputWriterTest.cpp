#include "app/delivery/FocusedInputWriter.h"
#include "tests/app/delivery/RecordingInputAccess.h"
#include "tests/support/CoreApplication.h"
#include "tools/targetapp/EventLoopWait.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

namespace kivo {
namespace {

using test::RecordingInputAccess;
using namespace std::chrono_literals;

InputSnapshot field(std::u16string text, TextRange selection, bool selectedWritable, bool valueWritable,
                    bool paste = false, bool prefersPaste = false)
{
    return InputSnapshot{std::move(text), selection, selectedWritable, valueWritable, paste, prefersPaste};
}

class WriterTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { test::ensureCoreApplication(); }

    // Short waits keep the tests quick; the count of read-backs stays the real one.
    InputDelivery insert(const std::u16string& text, FocusedInputWriter::Delays delays = {1ms, 1ms, 1ms, 1ms})
    {
        std::optional<InputDelivery> outcome;
        insertion = FocusedInputWriter::insert(
            text, access, [&](InputDelivery d) { outcome = d; }, delays);
        if (beforeRun) {
            beforeRun();
        }
        spinUntil([&] { return outcome.has_value(); }, 5s);
        return outcome.value_or(InputDelivery::uncertain);
    }

    int count(const std::string& call) const
    {
        return static_cast<int>(std::count(access.calls.begin(), access.calls.end(), call));
    }
    bool wrote() const { return access.writes > 0; }
    // A fresh scripted input showing this field.
    void on(InputSnapshot shown)
    {
        access = RecordingInputAccess{};
        access.field = std::move(shown);
    }

    RecordingInputAccess access;
    std::unique_ptr<FocusedInputWriter::Insertion<int>> insertion;
    std::function<void()> beforeRun;
};

TEST_F(WriterTest, StopsBeforeTouchingTheInputWhenItMayNotOrHasNothingToDo)
{
    on(field(u"abc", {3, 0}, true, true));
    access.trusted = false;
    EXPECT_EQ(insert(u"x"), InputDelivery::permissionRequired);
    EXPECT_EQ(access.calls, std::vector<std::string>{"isTrusted"});

    access.trusted = true;
    access.calls.clear();
    EXPECT_EQ(insert(u""), InputDelivery::noInput);
    EXPECT_EQ(access.calls, std::vector<std::string>{"isTrusted"}) << "empty text never queries the focus";

    // The backend gives no target when the frontmost app is this one, or nothing is focused.
    access.focused.reset();
    EXPECT_EQ(insert(u"x"), InputDelivery::noInput);
    // Another application has the keyboard but nothing whose content could be checked.
    access.uncheckable = true;
    EXPECT_EQ(insert(u"x"), InputDelivery::noCheckableInput);
    // A password field is never written and says so, whatever else is known.
    access.password = true;
    EXPECT_EQ(insert(u"x"), InputDelivery::passwordField);
    access.uncheckable = false;
    EXPECT_EQ(insert(u"x"), InputDelivery::passwordField);
    access.password = false;

    access.focused = 7;
    access.field.reset();
    EXPECT_EQ(insert(u"x"), InputDelivery::unsupported);
    EXPECT_FALSE(wrote());
    EXPECT_TRUE(access.diagnostics.empty());
}

TEST_F(WriterTest, RefusesSelectionsThatSplitACharacterOrLeaveTheText)
{
    const std::u16string emoji = u"a\U0001F600b";                  // the emoji is two UTF-16 units
    const std::u16string family = u"x\U0001F468\u200D\U0001F469y"; // one cluster of five units
    const std::u16string crlf = u"line\r\nnext";
    struct Case {
        std::u16string text;
        TextRange selection;
    };
    for (const Case& c :
         {Case{emoji, {2, 0}}, Case{emoji, {1, 1}}, Case{family, {1, 2}}, Case{crlf, {5, 0}}, Case{crlf, {4, 1}},
          Case{u"abc", {2, 2}}, Case{u"abc", {-1, 1}}, Case{u"abc", {4, 0}}, Case{u"abc", {1, -1}}}) {
        on(field(c.text, c.selection, true, true, true));
        EXPECT_EQ(insert(u"z"), InputDelivery::unsupported) << c.selection.location << "," << c.selection.length;
        EXPECT_FALSE(wrote());
    }
    // Whole characters on both sides are fine, including the end of the text.
    on(field(emoji, {1, 2}, true, false));
    EXPECT_EQ(insert(u"好"), InputDelivery::inserted);
    EXPECT_EQ(access.field->text, u"a好b");
    on(field(crlf, {6, 4}, true, false));
    EXPECT_EQ(insert(u"🙂"), InputDelivery::inserted);
    EXPECT_EQ(access.field->text, u"line\r\n🙂");
}

TEST_F(WriterTest, ChoosesTheRouteAndRecordsIt)
{
    // Direct selection write for a plain field.
    on(field(u"hello", {5, 0}, true, true, true));
    EXPECT_EQ(insert(u" 世界"), InputDelivery::inserted);
    EXPECT_EQ(count("replaceSelection"), 1);
    EXPECT_EQ(access.diagnostics.front(), "route=direct selectedWritable=true valueWritable=true paste=true");
    EXPECT_TRUE(access.finishedPastes.empty()) << "only the paste route borrows the clipboard";

    // A multi-line area prefers paste even though it could be written directly.
    on(field(u"ab", {1, 0}, true, false, true, true));
    EXPECT_EQ(insert(u"X"), InputDelivery::inserted);
    EXPECT_EQ(count("pasteOnce"), 1);
    EXPECT_EQ(access.pasteOriginal, field(u"ab", {1, 0}, true, false, true, true));
    EXPECT_EQ(access.diagnostics.front(), "route=paste selectedWritable=true valueWritable=false paste=true");
    EXPECT_EQ(access.finishedPastes, std::vector<bool>{true});

    // One direct route is enough: paste stays unused without a preference for it.
    on(field(u"ab", {2, 0}, true, false, true, false));
    EXPECT_EQ(insert(u"X"), InputDelivery::inserted);
    EXPECT_EQ(count("replaceSelection"), 1);
    EXPECT_EQ(count("pasteOnce"), 0);

    // Paste as the only capability is used without a preference for it.
    on(field(u"", {0, 0}, false, false, true, false));
    EXPECT_EQ(insert(u"X"), InputDelivery::inserted);
    EXPECT_EQ(count("pasteOnce"), 1);

    // No way to write at all.
    on(field(u"ab", {0, 0}, false, false, false, true));
    EXPECT_EQ(insert(u"X"), InputDelivery::unsupported);
    EXPECT_EQ(access.diagnostics,
              std::vector<std::string>{"route=direct selectedWritable=false valueWritable=false paste=false"});
    EXPECT_FALSE(wrote());
}

TEST_F(WriterTest, PlainValueRouteWritesTheWholeValueAndPlacesTheCaretAfterTheText)
{
    on(field(u"xxyy", {2, 0}, false, true));
    EXPECT_EQ(insert(u"abc"), InputDelivery::inserted);
    EXPECT_EQ(access.plainValue, u"xxabcyy");
    EXPECT_EQ(count("replacePlainValue caret=5"), 1);

    // The caret counts UTF-16 units, and a selection is replaced.
    on(field(u"a😀bcd", {3, 2}, false, true));
    EXPECT_EQ(insert(u"你😀"), InputDelivery::inserted);
    EXPECT_EQ(access.plainValue, u"a😀你😀d");
    EXPECT_EQ(count("replacePlainValue caret=6"), 1);
}

TEST_F(WriterTest, AnyMovementBeforeTheWriteEndsChangedWithoutWriting)
{
    // The user types between the baseline and the guard.
    on(field(u"abc", {3, 0}, true, true));
    access.beforeSnapshot = [](RecordingInputAccess& a, int n) {
        if (n == 1) {
            a.field->text = u"abcd";
        }
    };
    EXPECT_EQ(insert(u"x"), InputDelivery::changed);
    EXPECT_FALSE(wrote());

    // Only the caret moves.
    on(field(u"abc", {3, 0}, true, true));
    access.beforeSnapshot = [](RecordingInputAccess& a, int n) {
        if (n == 1) {
            a.field->selection = {1, 0};
        }
    };
    EXPECT_EQ(insert(u"x"), InputDelivery::changed);
    EXPECT_FALSE(wrote());

    // Focus moves to another input right after the content check.
    on(field(u"abc", {3, 0}, true, true));
    access.beforeSnapshot = [](RecordingInputAccess& a, int n) {
        if (n == 1) {
            a.focused = 8;
        }
    };
    EXPECT_EQ(insert(u"x"), InputDelivery::changed);
    EXPECT_FALSE(wrote());
    const std::vector<std::string> guard{"focusedTarget", "snapshot 7", "focusedTarget"};
    EXPECT_TRUE(std::search(access.calls.begin(), access.calls.end(), guard.begin(), guard.end()) !=
                access.calls.end());
}

TEST_F(WriterTest, MapsTheWriteStatusAndNeverWritesTwice)
{
    struct Case {
        InputWriteStatus status;
        InputDelivery delivery;
    };
    for (const bool paste : {false, true}) {
        for (const Case c : {Case{InputWriteStatus::failed, InputDelivery::uncertain},
                             Case{InputWriteStatus::unsupported, InputDelivery::unsupported},
                             Case{InputWriteStatus::changed, InputDelivery::changed}}) {
            on(field(u"ab", {2, 0}, true, true, paste, paste));
            access.writeStatus = c.status;
            EXPECT_EQ(insert(u"x"), c.delivery) << rawValue(c.status);
            EXPECT_EQ(access.writes, 1);
            EXPECT_EQ(access.snapshots, 2) << "no read-back after a write that was not accepted";
            EXPECT_EQ(access.diagnostics.back(), "write=" + std::string(rawValue(c.status)));
            EXPECT_EQ(access.finishedPastes, paste ? std::vector<bool>{false} : std::vector<bool>{});
        }
    }
}

TEST_F(WriterTest, VerifiesByReadingBackUpToFiveTimes)
{
    // The target applies the write late: the third read-back confirms it.
    on(field(u"ab", {2, 0}, true, true));
    access.staleReadbacks = 2;
    EXPECT_EQ(insert(u"好"), InputDelivery::inserted);
    EXPECT_EQ(
        access.diagnostics,
        (std::vector<std::string>{"route=direct selectedWritable=true valueWritable=true paste=false", "write=accepted",
                                  "readback=2 expected=3", "readback=2 expected=3", "readback=3 expected=3"}));

    // A write that never shows: five read-backs, one write, and the input as it was, so nothing
    // was inserted; the paste is not confirmed.
    on(field(u"ab", {2, 0}, false, false, true));
    access.staleReadbacks = -1;
    EXPECT_EQ(insert(u"xyz"), InputDelivery::notInserted);
    EXPECT_EQ(access.writes, 1);
    EXPECT_EQ(std::count(access.diagnostics.begin(), access.diagnostics.end(), "readback=2 expected=5"), 5);
    EXPECT_EQ(access.finishedPastes, std::vector<bool>{false});

    // Text of the right length is not enough: the content must match exactly.
    on(field(u"ab", {2, 0}, true, true));
    access.staleReadbacks = -1;
    access.beforeSnapshot = [](RecordingInputAccess& a, int n) {
        if (n >= 2) {
            a.field->text = u"a?c";
        }
    };
    EXPECT_EQ(insert(u"c"), InputDelivery::uncertain);

    // The input disappears after the write.
    on(field(u"ab", {2, 0}, true, true));
    access.beforeSnapshot = [](RecordingInputAccess& a, int n) {
        if (n >= 2) {
            a.field.reset();
        }
    };
    EXPECT_EQ(insert(u"x"), InputDelivery::uncertain);
    EXPECT_EQ(access.diagnostics.back(), "readback=-1 expected=3");
}

TEST_F(WriterTest, NothingInsertedNeedsTheLastReadBackToShowTheOriginal)
{
    // Changed at first, back to the original at the end: nothing of ours is there now.
    on(field(u"ab", {2, 0}, true, true));
    access.staleReadbacks = -1;
    access.beforeSnapshot = [](RecordingInputAccess& a, int n) { a.field->text = n == 3 ? u"abz" : u"ab"; };
    EXPECT_EQ(insert(u"x"), InputDelivery::notInserted);

    // Something else at the end: unknown.
    on(field(u"ab", {2, 0}, true, true));
    access.staleReadbacks = -1;
    access.beforeSnapshot = [](RecordingInputAccess& a, int n) { a.field->text = n >= 6 ? u"abz" : u"ab"; };
    EXPECT_EQ(insert(u"x"), InputDelivery::uncertain);

    // Gecko's read-back of a write ending in an emoji.
    on(field(u"網頁", {2, 0}, true, true));
    access.readbackSuffix = u"\uFEFF";
    EXPECT_EQ(insert(u"好熱😀"), InputDelivery::inserted);
}

// Read-backs recorded from real toolkits, against what was expected.
TEST(ReadBackTest, AllowsGeckosMarkAfterAnEmojiAndNothingElse)
{
    using FocusedInputWriter::readBackMatches;
    // Firefox ESR 115, <input> given "今日天氣好熱😀" after "網頁".
    EXPECT_TRUE(readBackMatches(u"網頁今日天氣好熱😀\uFEFF", u"網頁今日天氣好熱😀"));
    // Its <textarea>, the emoji in the middle and with a presentation selector.
    EXPECT_TRUE(readBackMatches(u"第一行☺\uFE0F\uFEFF飲茶🙂\uFEFF", u"第一行☺\uFE0F飲茶🙂"));
    // Chromium's embedded object stands for itself on both sides.
    EXPECT_TRUE(readBackMatches(u"a\uFFFCb", u"a\uFFFCb"));
    EXPECT_FALSE(readBackMatches(u"a\uFFFCb", u"ab"));

    EXPECT_FALSE(readBackMatches(u"網\uFEFF頁", u"網頁")) << "not after an emoji";
    EXPECT_FALSE(readBackMatches(u"\uFEFF網頁", u"網頁"));
    EXPECT_FALSE(readBackMatches(u"😀\uFEFF\uFEFF", u"😀")) << "one mark per emoji";
    EXPECT_FALSE(readBackMatches(u"😀\uFEFF", u"😀x")) << "a missing character";
    EXPECT_FALSE(readBackMatches(u"😀\uFEFFx", u"😀")) << "an extra character";
    EXPECT_FALSE(readBackMatches(u"😁\uFEFF", u"😀"));
    // The second write into the same <input>: the first emoji's mark was read with the baseline.
    EXPECT_TRUE(readBackMatches(u"好😀\uFEFF熱😀\uFEFF", u"好😀\uFEFF熱😀"));
    EXPECT_FALSE(readBackMatches(u"好😀熱😀\uFEFF", u"好😀\uFEFF熱😀")) << "the old mark must stay";
    EXPECT_FALSE(readBackMatches(u"😀", u"😀\uFEFF")) << "a mark we wrote must be there";
    EXPECT_FALSE(readBackMatches(u"😀\uFEFF\uFEFF", u"😀\uFEFF")) << "and is compared exactly";
    EXPECT_TRUE(readBackMatches(u"", u""));
    EXPECT_FALSE(readBackMatches(u"\uFEFF", u""));
}

TEST_F(WriterTest, DefaultWaitsSpreadFiveReadBacksOverAboutThreeQuarterSeconds)
{
    EXPECT_EQ(FocusedInputWriter::defaultVerificationDelays(), (FocusedInputWriter::Delays{50ms, 100ms, 200ms, 400ms}));
}

TEST_F(WriterTest, CancellationBeforeTheWriteIsChangedAndDuringVerificationUncertain)
{
    on(field(u"ab", {2, 0}, true, true));
    beforeRun = [this] { insertion->cancel(); };
    EXPECT_EQ(insert(u"x"), InputDelivery::changed);
    EXPECT_FALSE(wrote());

    // Cancelled while waiting for the second read-back: no more read-backs, paste released unconfirmed.
    on(field(u"ab", {2, 0}, true, false, true, true));
    access.staleReadbacks = -1;
    access.beforeSnapshot = [this](RecordingInputAccess& a, int n) {
        if (n == 2) { // the first read-back; cancel once its wait has begun
            QTimer::singleShot(0, [this] { insertion->cancel(); });
        }
        (void)a;
    };
    beforeRun = nullptr;
    EXPECT_EQ(insert(u"x", {10s, 10s, 10s, 10s}), InputDelivery::uncertain);
    EXPECT_EQ(access.writes, 1);
    EXPECT_EQ(access.snapshots, 3);
    EXPECT_EQ(access.finishedPastes, std::vector<bool>{false});
}

} // namespace
} // namespace kivo
