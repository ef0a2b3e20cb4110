// The panel on a real display: sizes, expansion, localization, drawing states, and screenshots
// of both languages kept as test artifacts.
#include "app/controller/Application.h"
#include "app/controller/RunFailureMessage.h"
#include "app/models/ModelAdvice.h"
#include "app/models/ModelStore.h"
#include "app/shell/FloatingButton.h"
#include "app/shell/HintField.h"
#include "app/shell/SettingsPopover.h"
#include "app/shell/StatusLabel.h"
#include "app/shell/VoicePanel.h"
#include "tests/app/controller/ControllerTestSupport.h"
#include "tests/app/shell/PanelWidgets.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QToolTip>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <vector>

namespace kivo {
namespace {

using namespace std::chrono_literals;

class Panel : public ::testing::Test {
protected:
    void SetUp() override
    {
        test::ensureApplication();
        Application::Options options;
        options.resourcesDirectory = std::filesystem::temp_directory_path();
        options.lockPath = (std::filesystem::temp_directory_path() / "kivo-panel-test.lock").string();
        app = std::make_unique<Application>(options);
        app->launch();
        ASSERT_TRUE(test::waitUntil([this] { return ui().window->isVisible(); }));
    }

    FloatingPanel& panel() { return app->panel(); }
    test::PanelWidgets ui() { return test::PanelWidgets(panel()); }

    // Every text of a visible control fits the room it was given, the status line in at most
    // three whole lines, a field's placeholder whole.
    void expectNothingClipped(QWidget* root, const std::string& where)
    {
        for (QWidget* widget : root->findChildren<QWidget*>()) {
            if (!widget->isVisibleTo(root)) {
                continue;
            }
            const std::string name = where + ": " + widget->metaObject()->className() + " \"" +
                                     widget->property("text").toString().toStdString() + "\"";
            if (auto* status = qobject_cast<StatusLabel*>(widget)) {
                EXPECT_LE(status->QLabel::text().count(QLatin1Char('\n')), 2) << name;
                EXPECT_LE(status->sizeHint().height(), status->height()) << name;
                EXPECT_LE(status->sizeHint().width(), status->width()) << name;
            } else if (auto* label = qobject_cast<QLabel*>(widget)) {
                if (label->wordWrap()) {
                    EXPECT_LE(label->heightForWidth(label->width()), label->height()) << name;
                } else {
                    EXPECT_LE(label->sizeHint().width(), label->width()) << name;
                    EXPECT_LE(label->fontMetrics().height(), label->height()) << name;
                }
            } else if (auto* hints = qobject_cast<HintField*>(widget)) {
                const QRect room = hints->placeholderRect();
                const QRect needed = hints->fontMetrics().boundingRect(QRect(QPoint(), QSize(room.width(), 1000)),
                                                                       Qt::TextWordWrap, hints->placeholderText());
                EXPECT_LE(needed.height(), room.height())
                    << name << " placeholder " << hints->placeholderText().toStdString();
                EXPECT_LE(needed.width(), room.width())
                    << name << " placeholder " << hints->placeholderText().toStdString();
            } else if (auto* field = qobject_cast<QLineEdit*>(widget)) {
                // The frame and the text margins take about 6 px on each side.
                EXPECT_LE(field->fontMetrics().horizontalAdvance(field->placeholderText()), field->width() - 12)
                    << name << " placeholder \"" << field->placeholderText().toStdString() << "\"";
            } else if (qobject_cast<QPushButton*>(widget) || qobject_cast<QCheckBox*>(widget) ||
                       qobject_cast<QComboBox*>(widget)) {
                EXPECT_LE(widget->sizeHint().width(), widget->width()) << name;
            }
        }
    }

    // Keeps a picture of the widget with the test's artifacts.
    static void save(QWidget* widget, const std::string& name)
    {
        const std::filesystem::path folder = KIVO_ARTIFACTS_DIR;
        std::filesystem::create_directories(folder);
        EXPECT_TRUE(widget->grab().save(QString::fromStdString((folder / (name + ".png")).string()))) << name;
    }

    std::unique_ptr<Application> app;
};

TEST_F(Panel, ExpandingGrowsDownwardAndStaysOnScreen)
{
    VoicePanel& window = *ui().window;
    EXPECT_EQ(window.size(), QSize(380, 292));
    window.move(100, 120);
    test::spin(50ms);
    const int top = window.geometry().top();
    ui().editorToggle->click();
    EXPECT_TRUE(panel().state().settings.editorExpanded);
    EXPECT_EQ(window.size(), QSize(380, 680));
    EXPECT_EQ(window.geometry().top(), top);
    EXPECT_TRUE(ui().editor->isVisible());
    EXPECT_EQ(ui().editorToggle->toolTip(), QStringLiteral("Collapse Original and Result; keep their text."));
    ui().editorToggle->click();
    EXPECT_EQ(window.size(), QSize(380, 292));
    EXPECT_FALSE(ui().editor->isVisible());

    // Near the bottom of the screen the panel moves up to keep all of it visible.
    const QRect visible = window.screen()->availableGeometry();
    window.move(100, visible.bottom() - 300);
    test::spin(50ms);
    panel().setEditorExpanded(true);
    EXPECT_LE(window.geometry().bottom(), visible.bottom());
    EXPECT_GE(window.geometry().top(), visible.top());
    EXPECT_EQ(window.height(), 680);
}

TEST_F(Panel, LanguageSwitchRewritesTextsAndKeepsTheTarget)
{
    ui().mode->setCurrentIndex(2);
    ui().language->setCurrentIndex(1);
    EXPECT_EQ(ui().mode->currentIndex(), 2);
    EXPECT_EQ(ui().mode->currentText(), QStringLiteral("簡體中文"));
    EXPECT_EQ(ui().sourceTitle->text(), QStringLiteral("原文"));
    EXPECT_EQ(ui().run->text(), QStringLiteral("手動轉換"));
    EXPECT_EQ(ui().record->toolTip(), QStringLiteral("開始錄音，將說話轉成文字；再按一次停止。"));
    EXPECT_EQ(ui().headline->text(), QStringLiteral("點一下，開始說話"));
    EXPECT_TRUE(ui().window->windowTitle().endsWith(QStringLiteral(" — 本機語音與文字轉換")));
    // No models in the test's data folder: the idle status says so at once.
    EXPECT_EQ(ui().status->text(), QStringLiteral("尚未安裝語音模型及語言模型。"));
    EXPECT_EQ(ui().before->accessibleName(), QStringLiteral("原文"));

    ui().language->setCurrentIndex(0);
    EXPECT_EQ(ui().mode->currentText(), QStringLiteral("Simplified Chinese"));
    EXPECT_EQ(ui().notice->text(), ui().mode->toolTip());
    EXPECT_EQ(ui().copyResult->accessibleName(), QStringLiteral("Copy result"));
    EXPECT_EQ(ui().status->text(), QStringLiteral("The speech and language models are not installed yet."));
}

QString longStatus(bool chinese);

TEST_F(Panel, FailureStatusesKeepTheirWayOutInSightInBothLanguages)
{
    ui().window->move(40, 40);
    StatusLabel& status = *ui().status;
    const auto shown = [&status] { return status.QLabel::text().split(QLatin1Char('\n')); };
    for (const bool chinese : {false, true}) {
        ui().language->setCurrentIndex(chinese ? 1 : 0);
        const QString tag = QString::fromLatin1(chinese ? "zh" : "en");
        const QString action = QString::fromStdString(ModelAdvice::openModelsAction());
        // The idle status of a first start: what is missing, then the way to the Models window.
        EXPECT_EQ(status.action(), action);
        EXPECT_EQ(shown().last(), action);
        EXPECT_TRUE(status.toolTip().contains(QStringLiteral("speech-model.bin")));

        // Every failure in the words the person sees, each with what to do; the model ones
        // keep their action on its own line even when the message is elided.
        const auto language = ModelAdvice::languageUnavailable("modelInvalid: cannot read /x.gguf as a GGUF file");
        const auto speech = ModelAdvice::speechMissing();
        const std::vector<std::pair<QString, std::optional<QString>>> statuses{
            {QStringLiteral("未完成：") + QString::fromStdString(language.status) + QStringLiteral(" 原文保留。"),
             QString::fromStdString(language.details)},
            {(chinese ? QStringLiteral("辨識未完成：") : QStringLiteral("Recognition failed: ")) +
                 QString::fromStdString(speech.status),
             QString::fromStdString(speech.details)},
            {longStatus(chinese), QStringLiteral("details")},
            {QString::fromStdString(RunFailureMessage::timedOut()), std::nullopt},
            // The longest progress a conversion shows: a piece of a long text, with tokens.
            {chinese ? QStringLiteral("書面語處理中 2 / 5（每段最多 30 秒）… 已寫 1234 / 約 1500 個詞元")
                     : QStringLiteral("Processing 2 / 5 (up to 30 s each)… 1234 of about 1500 tokens written"),
             std::nullopt},
            {QString::fromStdString(RunFailureMessage::lockHeld()), std::nullopt},
            {QString::fromStdString(
                 RunFailureMessage::launchFailed("/opt/kivo/Resources/rewrite-runner", "No such file or directory")),
             std::nullopt},
            {QStringLiteral("Recognition failed: No audio input device was found. Connect a microphone, and choose "
                            "it as the input in the desktop's sound settings."),
             std::nullopt}};
        int number = 0;
        for (const auto& [text, details] : statuses) {
            status.setText(text);
            if (details) {
                status.setAction(action, *details);
            }
            test::spin(50ms);
            const std::string where = tag.toStdString() + " status " + std::to_string(++number);
            expectNothingClipped(ui().window, where);
            if (details) {
                EXPECT_EQ(shown().last(), action) << where;
                EXPECT_TRUE(status.toolTip().contains(details->section(QLatin1Char('\n'), 0, 0).toHtmlEscaped()))
                    << where;
                EXPECT_EQ(status.accessibleName(), text + QLatin1Char(' ') + action) << where;
            }
            if (text == longStatus(chinese)) {
                EXPECT_TRUE(status.elided()) << "the long status is elided with its action below it";
                // The message still fills every line but the action's.
                EXPECT_EQ(shown().size(), StatusLabel::maximumLines) << where;
                EXPECT_TRUE(shown()[StatusLabel::maximumLines - 2].endsWith(QChar(0x2026))) << where;
            }
            save(ui().window, "status-" + tag.toStdString() + "-" + std::to_string(number));
        }
    }

    // With both models in place the idle status is the usual one, with no action.
    for (const ModelRole role : ModelRoles::allCases) {
        std::filesystem::create_directories(ModelStore::target(role).parent_path());
        std::ofstream(ModelStore::target(role)) << "stand-in";
    }
    ui().language->setCurrentIndex(0);
    EXPECT_EQ(status.text(), QStringLiteral("On-device · Review before copying"));
    EXPECT_TRUE(status.action().isEmpty());
    EXPECT_FALSE(app->panel().state().statusOffersModels);
    for (const ModelRole role : ModelRoles::allCases) {
        std::filesystem::remove(ModelStore::target(role));
    }
}

// What the status line says when no language model is installed, in either language.
QString longStatus(bool chinese)
{
    return chinese
               ? QStringLiteral("未完成：本機語言模型無法使用（模型檔案不存在）。請將 GGUF 對話模型放在 "
                                "/home/someone/.local/share/kivo/models/language-model.gguf。 原文保留。")
               : QStringLiteral(
                     "未完成：The on-device language model is unavailable (the model file does not exist). "
                     "Put a GGUF chat model at /home/someone/.local/share/kivo/models/language-model.gguf. 原文保留。");
}

TEST_F(Panel, LongStatusKeepsThreeWholeLinesAndAWrappingTooltip)
{
    ui().window->move(40, 40);
    for (const bool chinese : {false, true}) {
        ui().language->setCurrentIndex(chinese ? 1 : 0);
        StatusLabel& status = *ui().status;
        status.setText(longStatus(chinese));
        EXPECT_EQ(status.text(), longStatus(chinese));
        EXPECT_TRUE(status.elided());
        EXPECT_TRUE(status.QLabel::text().endsWith(QChar(0x2026))) << status.QLabel::text().toStdString();
        EXPECT_EQ(status.accessibleName(), longStatus(chinese));
        expectNothingClipped(ui().window, chinese ? "zh long status" : "en long status");

        // The whole text is in the tooltip, wrapped to a readable width.
        QToolTip::showText(status.mapToGlobal(status.rect().center()), status.toolTip(), &status);
        QWidget* tip = nullptr;
        ASSERT_TRUE(test::waitUntil([&] {
            for (QWidget* widget : QApplication::topLevelWidgets()) {
                if (widget->inherits("QTipLabel") && widget->isVisible()) {
                    tip = widget;
                }
            }
            return tip != nullptr;
        }));
        EXPECT_LE(tip->width(), 640);
        EXPECT_GE(tip->height(), 2 * status.fontMetrics().height());
        QToolTip::hideText();

        status.setText(QStringLiteral("short"));
        EXPECT_FALSE(status.elided());
        EXPECT_EQ(status.QLabel::text(), QStringLiteral("short"));
    }
}

TEST_F(Panel, ButtonDrawingFollowsItsState)
{
    FloatingButton& record = *ui().record;
    EXPECT_EQ(record.fillColor().rgb(), record.palette().color(QPalette::WindowText).rgb());
    EXPECT_EQ(record.symbolColor().rgb(), record.palette().color(QPalette::Window).rgb());
    record.setRecording(true);
    EXPECT_EQ(record.fillColor(), QColor(255, 59, 48));
    EXPECT_EQ(record.symbolColor(), QColor(Qt::white));
    record.setRecording(false);

    FloatingButton& copy = *ui().copySource;
    copy.setEnabled(true);
    EXPECT_NEAR(copy.fillColor().alphaF(), 0.055, 0.01);
    copy.setHovered(true);
    EXPECT_NEAR(copy.fillColor().alphaF(), 0.13, 0.01);
    copy.setEnabled(false);
    EXPECT_NEAR(copy.fillColor().alphaF(), 0.13 * 0.15, 0.01);
    EXPECT_NEAR(copy.symbolColor().alphaF(), 0.3, 0.01);
}

// How much ink a text leaves in a font: a heading must look heavier than body text.
qint64 ink(const QFont& font, const QString& text)
{
    QImage image(240, 48, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setFont(font);
    painter.setPen(Qt::black);
    painter.drawText(8, 34, text);
    painter.end();
    qint64 sum = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            sum += 255 - qGray(image.pixel(x, y));
        }
    }
    return sum;
}

TEST_F(Panel, HeadingsCornersAndRestartSymbol)
{
    for (const bool chinese : {false, true}) {
        ui().language->setCurrentIndex(chinese ? 1 : 0);
        QFont body = ui().sourceTitle->font();
        body.setWeight(QFont::Normal);
        for (QLabel* heading : {ui().sourceTitle, ui().resultTitle, ui().shortcutTitle}) {
            EXPECT_GT(ink(heading->font(), heading->text()), ink(body, heading->text()) * 11 / 10)
                << heading->text().toStdString();
        }
    }
    EXPECT_FALSE(ui().restartButton->icon().isNull());

    // This display has no compositing manager: the corners must not be left transparent.
    const QImage shot = ui().window->grab().toImage();
    EXPECT_EQ(qAlpha(shot.pixel(0, 0)), 255);
    EXPECT_EQ(qAlpha(shot.pixel(shot.width() - 1, shot.height() - 1)), 255);
    ui().settingsButton->click();
    ASSERT_TRUE(test::waitUntil([this] { return ui().settingsPopover->isVisible(); }));
    EXPECT_EQ(qAlpha(ui().settingsPopover->grab().toImage().pixel(0, 0)), 255);
    ui().settingsButton->click();
}

TEST_F(Panel, ScreenshotsInBothLanguagesShowEveryTextWhole)
{
    ui().window->move(40, 40);
    for (const int language : {0, 1}) {
        ui().language->setCurrentIndex(language);
        const std::string tag = language == 1 ? "zh" : "en";
        for (const bool expanded : {false, true}) {
            panel().setEditorExpanded(expanded);
            if (expanded) {
                ui().before->setPlainText(QStringLiteral("今日天氣好好，我哋去 Central 食 lunch。"));
            }
            test::spin(100ms);
            const std::string state = expanded ? "expanded" : "collapsed";
            expectNothingClipped(ui().window, tag + " " + state);
            EXPECT_EQ(ui().window->size(), QSize(380, expanded ? 680 : 292));
            save(ui().window, "panel-" + tag + "-" + state);
        }
        panel().setEditorExpanded(false);
        ui().status->setText(longStatus(language == 1));
        test::spin(100ms);
        expectNothingClipped(ui().window, tag + " long status");
        save(ui().window, "panel-" + tag + "-long-status");

        ui().speechEngine->setCurrentIndex(1); // shows the hint row
        ui().settingsButton->click();
        ASSERT_TRUE(test::waitUntil([this] { return ui().settingsPopover->isVisible(); }));
        test::spin(100ms);
        ASSERT_TRUE(ui().vocabulary->isVisibleTo(ui().settingsPopover));
        expectNothingClipped(ui().settingsPopover, tag + " settings");
        save(ui().settingsPopover, "settings-" + tag);
        ui().settingsButton->click();
        ui().speechEngine->setCurrentIndex(0);
    }
}

// The controls the flows' activity leaves enabled, shown and copyable.
TEST_F(Panel, ControlsFollowTheActivity)
{
    ui().language->setCurrentIndex(0);
    const test::PanelWidgets widgets = ui();
    panel().setResult(QStringLiteral("result"), true);
    panel().setActivity({});
    EXPECT_TRUE(widgets.record->isEnabled());
    EXPECT_FALSE(widgets.cancel->isEnabled());
    EXPECT_TRUE(widgets.copyResult->isEnabled());
    EXPECT_FALSE(widgets.details->isEnabled());
    EXPECT_FALSE(widgets.vocabulary->isEnabled()) << "hints only for the engine that takes them";

    PanelActivity recording;
    recording.speechBusy = true;
    recording.recording = true;
    recording.hasDetails = true;
    recording.hasTranscript = true;
    panel().setActivity(recording);
    EXPECT_TRUE(widgets.record->isEnabled());
    EXPECT_TRUE(widgets.record->recording());
    EXPECT_EQ(widgets.headline->text(), QStringLiteral("Listening…"));
    EXPECT_TRUE(widgets.cancel->isEnabled());
    EXPECT_FALSE(widgets.copySource->isEnabled());
    EXPECT_FALSE(widgets.details->isEnabled());
    EXPECT_FALSE(widgets.restoreTranscript->isEnabled());
    EXPECT_FALSE(widgets.run->isEnabled());
    EXPECT_TRUE(widgets.before->isReadOnly());
    EXPECT_FALSE(widgets.copyResult->isEnabled());
    EXPECT_FALSE(panel().state().resultCopyable) << "a busy flow takes the copy away until a new result";

    recording.stopping = true;
    panel().setActivity(recording);
    EXPECT_FALSE(widgets.record->isEnabled());
    recording.recording = false;
    recording.stopping = false;
    panel().setActivity(recording);
    EXPECT_FALSE(widgets.record->isEnabled());
    EXPECT_EQ(widgets.headline->text(), QStringLiteral("One moment…"));

    PanelActivity converting;
    converting.converting = true;
    panel().setActivity(converting);
    EXPECT_FALSE(widgets.record->isEnabled());
    EXPECT_TRUE(widgets.cancel->isEnabled());
    EXPECT_TRUE(widgets.copySource->isEnabled());
    EXPECT_FALSE(widgets.mode->isEnabled());
    EXPECT_EQ(widgets.headline->text(), QStringLiteral("Converting…"));

    PanelActivity idle;
    idle.hasDetails = true;
    idle.hasTranscript = true;
    panel().setActivity(idle);
    EXPECT_TRUE(widgets.details->isEnabled());
    EXPECT_TRUE(widgets.restoreTranscript->isEnabled());
    EXPECT_FALSE(widgets.copyResult->isEnabled());
    for (const auto busy : {&PanelActivity::delivering, &PanelActivity::restarting}) {
        PanelActivity other;
        other.*busy = true;
        panel().setActivity(other);
        EXPECT_FALSE(widgets.record->isEnabled());
        EXPECT_FALSE(widgets.run->isEnabled());
    }
    panel().setActivity({});
}

TEST_F(Panel, CopyButtonsCopyTheirText)
{
    ui().language->setCurrentIndex(0);
    const test::PanelWidgets widgets = ui();
    QGuiApplication::clipboard()->setText(QStringLiteral("untouched"));
    panel().setResult({}, false);
    widgets.copyResult->click();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("untouched"));

    panel().setResult(QStringLiteral("轉換完成"), true);
    widgets.copyResult->click();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("轉換完成"));
    EXPECT_EQ(panel().state().status, QStringLiteral("Result copied."));

    panel().setSource(QStringLiteral("text"));
    widgets.copySource->click();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("text"));
}

// Selection changes that leave the caret where it was still change the scope and drop the
// result: select all with the caret at the end, and collapsing a selection onto its start.
TEST_F(Panel, SelectionChangesWithoutACaretMoveAreSeen)
{
    ui().language->setCurrentIndex(0);
    QPlainTextEdit& source = *ui().before;
    source.setPlainText(QStringLiteral("今日好熱"));
    QTextCursor cursor = source.textCursor();
    cursor.movePosition(QTextCursor::End);
    source.setTextCursor(cursor);
    panel().setResult(QStringLiteral("stale result"), true);
    ASSERT_EQ(panel().state().scope, QStringLiteral("Convert all text"));

    source.selectAll();
    EXPECT_EQ(panel().state().scope, QStringLiteral("Convert selection only"));
    EXPECT_EQ(panel().state().selection, (TextRange{0, 4}));
    EXPECT_TRUE(panel().state().result.isEmpty());

    // A selection made from the end back to the start, then collapsed where the caret is.
    cursor.setPosition(4);
    cursor.setPosition(0, QTextCursor::KeepAnchor);
    source.setTextCursor(cursor);
    ASSERT_EQ(panel().state().scope, QStringLiteral("Convert selection only"));
    panel().setResult(QStringLiteral("result of the selection"), true);
    cursor.clearSelection();
    source.setTextCursor(cursor);
    EXPECT_EQ(panel().state().scope, QStringLiteral("Convert all text"));
    EXPECT_TRUE(panel().state().result.isEmpty());
    EXPECT_FALSE(ui().copyResult->isEnabled());
}

} // namespace
} // namespace kivo
