#include "app/controller/PanelPreferences.h"
#include "app/controller/Application.h"
#include "app/shell/FloatingPanel.h"
#include "app/shell/VoicePanel.h"
#include "tests/app/controller/ControllerTestSupport.h"

#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QScreen>
#include <QTemporaryDir>

#include <cmath>
#include <functional>
#include <limits>

namespace kivo {
namespace {

QVariantMap storedRecord()
{
    return QSettings(QStringLiteral("kivo"), QStringLiteral("Kivo")).value(PanelPreferences::preferencesKey).toMap();
}

void storeRecord(const QVariantMap& record)
{
    QSettings(QStringLiteral("kivo"), QStringLiteral("Kivo")).setValue(PanelPreferences::preferencesKey, record);
}

class PanelPreferencesTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        test::ensureApplication();
        // The settings file goes to a private config folder, as XDG_CONFIG_HOME would put it.
        configHome = new QTemporaryDir();
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, configHome->path());
    }
    static void TearDownTestSuite() { delete configHome; }

    void SetUp() override { QSettings(QStringLiteral("kivo"), QStringLiteral("Kivo")).clear(); }

    std::unique_ptr<Application> makeApp()
    {
        Application::Options options;
        options.resourcesDirectory = bundle.resources();
        options.lockPath = bundle.lockPath().string();
        return std::make_unique<Application>(options);
    }

    // The window's frame in the record's bottom-left coordinates.
    static QRectF bottomLeftFrame(const QWidget& window)
    {
        const QRect frame = window.frameGeometry();
        const double height = QGuiApplication::primaryScreen()->geometry().height();
        return {double(frame.x()), height - frame.y() - frame.height(), double(frame.width()), double(frame.height())};
    }

    static QRect centred(const QWidget& window)
    {
        QRect frame = window.frameGeometry();
        frame.moveCenter(window.screen()->availableGeometry().center());
        return frame;
    }

    // The user changes settings in the panel.
    static void change(FloatingPanel& panel, const std::function<void(PanelSettings&)>& edit)
    {
        PanelSettings settings = panel.state().settings;
        edit(settings);
        panel.setSettings(settings);
    }

    inline static QTemporaryDir* configHome = nullptr;
    test::TestBundle bundle;
};

TEST_F(PanelPreferencesTest, FirstLaunchTakesTheDefaultsAndWritesNothingUntilRestored)
{
    auto app = makeApp();
    FloatingPanel& panel = app->panel();
    const PanelSettings& settings = panel.state().settings;
    change(panel, [](PanelSettings& edited) { edited.vocabulary = QStringLiteral("before restore"); });
    app->preferences().save(panel);
    EXPECT_TRUE(storedRecord().isEmpty());

    app->restorePreferences();
    EXPECT_TRUE(app->preferences().preferencesReady());
    EXPECT_FALSE(settings.chinese);
    EXPECT_EQ(settings.modeIndex, 1); // Traditional Chinese
    EXPECT_EQ(settings.dictation, false);
    EXPECT_TRUE(settings.autoProcess);
    EXPECT_TRUE(settings.autoInsert);
    EXPECT_TRUE(settings.hongKongCharacters);
    EXPECT_EQ(settings.vocabulary, QString());
    EXPECT_EQ(settings.shortcutIndex, 0);
    EXPECT_FALSE(settings.editorExpanded);
    EXPECT_EQ(panel.window().frameGeometry().topLeft(), centred(panel.window()).topLeft());
    // Restoring sets controls whose handlers save; none of that may reach the store.
    EXPECT_TRUE(storedRecord().isEmpty());
}

TEST_F(PanelPreferencesTest, RecordRoundTripsAndIsWrittenWhole)
{
    storeRecord({{"language", "zh-Hant"},
                 {"targetLanguage", "en"},
                 {"speechEngine", "dictation"},
                 {"autoProcess", false},
                 {"autoInsert", false},
                 {"hongKongCharacters", false},
                 {"convertWhileSpeaking", false},
                 {"vocabulary", "灣仔, Kivo"},
                 {"shortcut", "commandShiftSpace"},
                 {"editorExpanded", true},
                 {"stale", "old key"}});
    auto app = makeApp();
    app->restorePreferences();
    FloatingPanel& panel = app->panel();
    const PanelSettings& settings = panel.state().settings;
    EXPECT_TRUE(settings.chinese);
    EXPECT_EQ(settings.modeIndex, 3);
    EXPECT_EQ(settings.dictation, true);
    EXPECT_FALSE(settings.autoProcess);
    EXPECT_FALSE(settings.autoInsert);
    EXPECT_FALSE(settings.hongKongCharacters);
    EXPECT_FALSE(settings.convertWhileSpeaking);
    EXPECT_EQ(settings.vocabulary, QStringLiteral("灣仔, Kivo"));
    EXPECT_EQ(settings.shortcutIndex, 2);
    EXPECT_TRUE(settings.editorExpanded);

    app->preferences().save(panel);
    const QVariantMap saved = storedRecord();
    EXPECT_EQ(saved.size(), 12);
    EXPECT_EQ(saved["hongKongCharacters"], false);
    EXPECT_EQ(saved["convertWhileSpeaking"], false);
    EXPECT_FALSE(saved.contains("stale"));
    EXPECT_EQ(saved["language"], "zh-Hant");
    EXPECT_EQ(saved["inputLanguage"], "zh-HK");
    EXPECT_EQ(saved["targetLanguage"], "en");
    EXPECT_EQ(saved["speechEngine"], "dictation");
    EXPECT_EQ(saved["autoProcess"].typeId(), QMetaType::Bool);
    EXPECT_EQ(saved["autoProcess"], false);
    EXPECT_EQ(saved["shortcut"], "commandShiftSpace");
    EXPECT_EQ(saved["editorExpanded"], true);
    EXPECT_EQ(saved["windowFrame"], PanelPreferences::frameText(bottomLeftFrame(panel.window())));
}

TEST_F(PanelPreferencesTest, LegacyRecordAndUnknownValuesFallBack)
{
    storeRecord({{"writingMode", "cantonese"},
                 {"language", "en-US"},
                 {"speechEngine", "Dictation"},
                 {"autoProcess", "false"},
                 {"autoInsert", 0},
                 {"shortcut", "leftCommand"},
                 {"editorExpanded", "yes"}});
    auto app = makeApp();
    app->restorePreferences();
    FloatingPanel& panel = app->panel();
    const PanelSettings& settings = panel.state().settings;
    EXPECT_EQ(settings.modeIndex, 0); // Cantonese from the legacy mode
    EXPECT_FALSE(settings.chinese);
    EXPECT_EQ(settings.dictation, false);
    EXPECT_TRUE(settings.autoProcess);
    EXPECT_TRUE(settings.autoInsert);
    EXPECT_EQ(settings.shortcutIndex, 0);
    EXPECT_FALSE(settings.editorExpanded);

    app->preferences().save(panel);
    const QVariantMap saved = storedRecord();
    EXPECT_EQ(saved["targetLanguage"], "yue-Hant");
    EXPECT_FALSE(saved.contains("writingMode"));
    EXPECT_EQ(saved["language"], "en");
}

TEST_F(PanelPreferencesTest, SavedFramePlacesTheWindowOrLeavesItCentred)
{
    auto app = makeApp();
    QWidget& window = app->panel().window();
    const QRectF visible = [] {
        const QRect available = QGuiApplication::primaryScreen()->availableGeometry();
        const double height = QGuiApplication::primaryScreen()->geometry().height();
        return QRectF(available.x(), height - available.y() - available.height(), available.width(),
                      available.height());
    }();
    const QSizeF size = window.frameGeometry().size();

    // Inside: the top-left corner follows the saved one; the saved size is not applied.
    storeRecord({{"windowFrame", QStringLiteral("{{40, 60}, {10, 500}}")}});
    app->restorePreferences();
    EXPECT_EQ(bottomLeftFrame(window).topLeft(), QPointF(40, 60 + 500 - size.height()));
    EXPECT_EQ(QSizeF(window.frameGeometry().size()), size);

    // Partly off the right and bottom edges: pulled inside the visible frame.
    storeRecord({{"windowFrame", PanelPreferences::frameText({visible.right() - 20, visible.y() - size.height() / 2,
                                                              size.width(), size.height()})}});
    app->restorePreferences();
    EXPECT_EQ(bottomLeftFrame(window).topLeft(), QPointF(visible.right() - size.width(), visible.y()));

    // On no attached screen, unreadable, or not finite: centred.
    for (const QString& text : {QStringLiteral("{{5000, 5000}, {300, 200}}"), QStringLiteral("{{garbage}}"),
                                QStringLiteral("{{nan, 10}, {300, 200}}")}) {
        window.move(3, 3);
        storeRecord({{"windowFrame", text}});
        app->restorePreferences();
        EXPECT_EQ(window.frameGeometry().topLeft(), centred(window).topLeft()) << text.toStdString();
    }
}

// Launching is no move of the user's: a frame saved on a screen that is absent now survives
// showing the window and later saves, until the user moves the panel.
TEST_F(PanelPreferencesTest, UnplaceableFrameIsKeptUntilTheUserMovesThePanel)
{
    const QString elsewhere = QStringLiteral("{{5000, 5000}, {380, 292}}");
    storeRecord({{"windowFrame", elsewhere}, {"language", "en"}});
    auto app = makeApp();
    app->restorePreferences();
    app->showWindow();
    ASSERT_TRUE(test::waitUntil([&] { return app->panel().window().isVisible(); }));
    test::spin(std::chrono::milliseconds(100));
    EXPECT_EQ(storedRecord()["windowFrame"], elsewhere);
    app->panel().setEditorExpanded(true); // clamps the window and saves
    EXPECT_EQ(storedRecord()["editorExpanded"], true);
    EXPECT_EQ(storedRecord()["windowFrame"], elsewhere);

    app->panel().window().move(30, 40); // as a drag does
    ASSERT_TRUE(test::waitUntil([&] { return storedRecord()["windowFrame"] != elsewhere; }));
    EXPECT_EQ(storedRecord()["windowFrame"], PanelPreferences::frameText(bottomLeftFrame(app->panel().window())));
    app->panel().window().hide();
}

TEST_F(PanelPreferencesTest, HintEditsSaveAndOtherTextEditsDoNot)
{
    auto app = makeApp();
    app->restorePreferences();
    FloatingPanel& panel = app->panel();
    panel.setSource(QStringLiteral("原文"));
    emit panel.sourceEdited();
    EXPECT_TRUE(storedRecord().isEmpty());
    change(panel, [](PanelSettings& edited) { edited.vocabulary = QStringLiteral("深水埗"); });
    EXPECT_EQ(storedRecord()["vocabulary"], QStringLiteral("深水埗"));
    change(panel, [](PanelSettings& edited) { edited.vocabulary = QStringLiteral("深水埗，旺角"); });
    EXPECT_EQ(storedRecord()["vocabulary"], QStringLiteral("深水埗，旺角"));
}

TEST(PanelPreferencesFrame, LenientTextAndClampIntoTheFirstIntersectingScreen)
{
    EXPECT_EQ(PanelPreferences::frameFromText(QStringLiteral("{{1.5, -2}, {3e2, 4}}")), QRectF(1.5, -2, 300, 4));
    EXPECT_EQ(PanelPreferences::frameFromText(QStringLiteral("1 2 3 4 5")), QRectF(1, 2, 3, 4));
    EXPECT_FALSE(PanelPreferences::frameFromText(QStringLiteral("{{1, 2}, {3}}")));
    EXPECT_EQ(PanelPreferences::frameFromText(PanelPreferences::frameText({10, 20, 30.25, 40})),
              QRectF(10, 20, 30.25, 40));

    const std::vector<QRectF> screens{{0, 0, 1000, 800}, {1000, 0, 800, 600}};
    // Touches only the second screen: clamped into it, not into the first.
    EXPECT_EQ(PanelPreferences::placement({1700, 500, 300, 200}, {300, 200}, screens), QPointF(1500, 400));
    EXPECT_FALSE(PanelPreferences::placement({-900, 0, 300, 200}, {300, 200}, screens));
    const double infinity = std::numeric_limits<double>::infinity();
    EXPECT_FALSE(PanelPreferences::placement({0, infinity, 300, 200}, {300, 200}, screens));
}

} // namespace
} // namespace kivo
