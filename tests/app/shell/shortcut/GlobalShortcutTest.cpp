#include "app/shell/shortcut/GlobalShortcut.h"
#include "tests/app/shell/shortcut/RecordingShortcutBackend.h"
#include "tests/support/InterfaceLanguageScope.h"

#include <gtest/gtest.h>

#include <memory>

using namespace kivo;
using Kind = KeyMonitorEvent::Kind;
using State = GlobalShortcut::State;

namespace {

struct Fixture {
    std::shared_ptr<test::RecordingShortcutBackend::Log> log = std::make_shared<test::RecordingShortcutBackend::Log>();
    bool trusted = true;
    int fired = 0;
    GlobalShortcut shortcut{std::make_unique<test::RecordingShortcutBackend>(log), [this] { return trusted; },
                            [this] { ++fired; }};

    void flags(bool right, bool others = false) { log->global({Kind::flagsChanged, right, others}); }
    void press(Kind kind) { log->global({kind, false, false}); }
};

} // namespace

TEST(RightCommandGesture, FiresOnlyForACleanSoloTap)
{
    RightCommandGesture gesture;
    EXPECT_FALSE(gesture.flagsChanged(true, false));
    EXPECT_FALSE(gesture.flagsChanged(true, false)); // repeated down while held
    EXPECT_TRUE(gesture.flagsChanged(false, false));
    EXPECT_FALSE(gesture.flagsChanged(false, false)); // a second release fires nothing

    // Shift pressed and released while held.
    gesture.flagsChanged(true, false);
    gesture.flagsChanged(true, true);
    gesture.flagsChanged(true, false);
    EXPECT_FALSE(gesture.flagsChanged(false, false));

    // Left Super already held when the right one goes down.
    EXPECT_FALSE(gesture.flagsChanged(true, true));
    EXPECT_FALSE(gesture.flagsChanged(false, false));

    // A key press in between.
    gesture.flagsChanged(true, false);
    gesture.cancel();
    EXPECT_FALSE(gesture.flagsChanged(false, false));

    // Another modifier still held at release.
    gesture.flagsChanged(true, false);
    EXPECT_FALSE(gesture.flagsChanged(false, true));
    EXPECT_EQ(gesture, RightCommandGesture{});
}

TEST(PanelShortcut, ValuesTitlesAndOutOfRangeIndex)
{
    EXPECT_EQ(PanelShortcut::fromRawValue("commandShiftSpace"), PanelShortcut(PanelShortcut::commandShiftSpace));
    EXPECT_FALSE(PanelShortcut::fromRawValue("rightOption").has_value());
    EXPECT_EQ(PanelShortcut(PanelShortcut::controlOptionSpace).title(), QStringLiteral("Ctrl+Alt+Space"));
    EXPECT_EQ(test::inLanguage(true, [] { return PanelShortcut(PanelShortcut::commandShiftSpace).title(); }),
              QStringLiteral("Shift+Super+Space"));
    EXPECT_EQ(PanelShortcut(PanelShortcut::rightCommand).title(), QStringLiteral("Right Super (tap)"));
    EXPECT_EQ(test::inLanguage(true, [] { return PanelShortcut(PanelShortcut::rightCommand).title(); }),
              QStringLiteral("右 Super（單按）"));
    EXPECT_EQ(test::inLanguage(true, [] { return PanelShortcut(PanelShortcut::disabled).title(); }),
              QStringLiteral("停用"));
    EXPECT_EQ(PanelShortcut::atIndex(3), PanelShortcut::disabled);
    EXPECT_EQ(PanelShortcut::atIndex(-1), PanelShortcut::rightCommand);
    EXPECT_EQ(PanelShortcut::atIndex(4), PanelShortcut::rightCommand);
}

TEST(GlobalShortcut, RightKeyTapNeedsTrustForTheGlobalMonitor)
{
    Fixture f;
    EXPECT_EQ(f.shortcut.configure(PanelShortcut::rightCommand), State::ready());
    EXPECT_EQ(f.log->localInstalls, 1);
    EXPECT_EQ(f.log->globalInstalls, 1);
    f.flags(true);
    f.flags(false);
    EXPECT_EQ(f.fired, 1);
    f.flags(true);
    f.press(Kind::keyDown);
    f.flags(false);
    f.flags(true);
    f.press(Kind::mouseDown);
    f.flags(false);
    EXPECT_EQ(f.fired, 1);

    f.trusted = false;
    EXPECT_EQ(f.shortcut.configure(PanelShortcut::rightCommand), State::permissionRequired());
    EXPECT_EQ(f.log->globalInstalls, 1) << "no global monitor without trust";
    ASSERT_TRUE(f.log->local) << "taps in our own windows still work";
    f.log->local({Kind::flagsChanged, true, false});
    f.log->local({Kind::flagsChanged, false, false});
    EXPECT_EQ(f.fired, 2);

    f.trusted = true;
    f.log->globalFails = true;
    EXPECT_EQ(f.shortcut.configure(PanelShortcut::rightCommand), State::failed(-1));
}

TEST(GlobalShortcut, CombinationsRegisterExclusivelyAndReportTheStatus)
{
    Fixture f;
    EXPECT_EQ(f.shortcut.configure(PanelShortcut::controlOptionSpace), State::ready());
    EXPECT_EQ(f.log->combination, HotKeyCombination::controlAltSpace);
    EXPECT_EQ(f.log->localInstalls, 0);
    f.log->pressed();
    EXPECT_EQ(f.fired, 1);

    f.log->registrationStatus = 10; // taken by another client
    EXPECT_EQ(f.shortcut.configure(PanelShortcut::commandShiftSpace), State::failed(10));
    EXPECT_EQ(f.log->combination, HotKeyCombination::shiftSuperSpace);
    EXPECT_EQ(f.log->unregistrations, 1) << "the earlier registration was torn down";
    EXPECT_EQ(f.shortcut.selection(), PanelShortcut::disabled);
}

TEST(GlobalShortcut, StopAndDisabledRemoveEverything)
{
    Fixture f;
    f.shortcut.configure(PanelShortcut::rightCommand);
    f.flags(true);
    EXPECT_EQ(f.shortcut.configure(PanelShortcut::disabled), State::disabled());
    EXPECT_EQ(f.log->monitorRemovals, 1);
    EXPECT_FALSE(f.log->local);
    EXPECT_FALSE(f.log->global);
    EXPECT_EQ(f.shortcut.gesture(), RightCommandGesture{}) << "a half tap does not survive";

    f.shortcut.configure(PanelShortcut::commandShiftSpace);
    f.shortcut.stop();
    EXPECT_EQ(f.log->unregistrations, 1);
    EXPECT_EQ(f.shortcut.selection(), PanelShortcut::disabled);
    f.shortcut.stop();
    EXPECT_EQ(f.log->unregistrations, 1) << "nothing left to remove";
}

TEST(GlobalShortcut, RefreshesOnlyWhenTrustChanges)
{
    Fixture f;
    f.trusted = false;
    EXPECT_EQ(f.shortcut.configure(PanelShortcut::rightCommand), State::permissionRequired());
    EXPECT_FALSE(f.shortcut.refreshPermission().has_value());
    f.trusted = true;
    EXPECT_EQ(f.shortcut.refreshPermission(), State::ready());
    EXPECT_FALSE(f.shortcut.refreshPermission().has_value());
    EXPECT_EQ(f.log->globalInstalls, 1);
}
