// The app's menu (opened from the panel's background) and the quit path.
#include "app/controller/TrialApp.h"

#include "app/controller/RunnerProcess.h"
#include "app/shell/VoicePanel.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPointer>
#include <QTimer>

namespace kivo {

namespace {

// The edit commands act on whichever text field has the keyboard.
template <typename Command>
void onFocusedText(Command command)
{
    QWidget* focused = QApplication::focusWidget();
    if (auto* plain = qobject_cast<QPlainTextEdit*>(focused)) {
        command(plain);
    } else if (auto* line = qobject_cast<QLineEdit*>(focused)) {
        command(line);
    }
}

} // namespace

void TrialApp::buildMainMenu()
{
    // Fixed titles: the menu does not follow the interface language.
    mainMenu_ = std::make_unique<QMenu>();
    QMenu* application = mainMenu_->addMenu(QStringLiteral("Kivo"));
    checkUpdatesMenuItem_ = application->addAction(QStringLiteral("檢查更新…"), this, [this] { checkForUpdates(); });
    QMenu* services = application->addMenu(QStringLiteral("服務"));
    // The desktop's stand-in for a system text service: convert what is selected elsewhere.
    services->addAction(QStringLiteral("轉換選取文字"), this, [this] {
        QMimeData selection;
        selection.setText(QGuiApplication::clipboard()->text(QClipboard::Selection));
        QString error;
        convertSelection(&selection, &error);
        if (!error.isEmpty()) {
            setStatus(error);
        }
    });
    application->addSeparator();
    QAction* quit = application->addAction(QStringLiteral("結束 Kivo"), this, [this] { requestQuit(); });
    quit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    quit->setShortcutContext(Qt::WindowShortcut);
    panel_->window->addAction(quit);

    QMenu* edit = mainMenu_->addMenu(QStringLiteral("編輯"));
    const auto addEdit = [edit](const QString& title, QKeySequence::StandardKey key, auto command) {
        QAction* action = edit->addAction(title, [command] { onFocusedText(command); });
        // Shown for reference; the text fields handle the keys themselves.
        action->setShortcut(key);
        action->setShortcutContext(Qt::WidgetShortcut);
    };
    addEdit(QStringLiteral("剪下"), QKeySequence::Cut, [](auto* field) { field->cut(); });
    addEdit(QStringLiteral("複製"), QKeySequence::Copy, [](auto* field) { field->copy(); });
    addEdit(QStringLiteral("貼上"), QKeySequence::Paste, [](auto* field) { field->paste(); });
    addEdit(QStringLiteral("全選"), QKeySequence::SelectAll, [](auto* field) { field->selectAll(); });

    VoicePanel* window = panel_->window.get();
    window->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(window, &QWidget::customContextMenuRequested, this, [this, window](const QPoint& at) {
        updateUpdateControls();
        mainMenu_->popup(window->mapToGlobal(at));
    });
}

TrialApp::TerminateReply TrialApp::applicationShouldTerminate()
{
    if (!speechBusy_) {
        return TerminateReply::now;
    }
    quitAfterRecording_ = true;
    recorder().cancel();
    // A recorder that never reports back must not keep the app from quitting.
    QTimer::singleShot(std::chrono::seconds(5), this, [this] { quit(); });
    return TerminateReply::later;
}

void TrialApp::requestQuit()
{
    if (applicationShouldTerminate() == TerminateReply::now) {
        quit();
    }
}

void TrialApp::applicationWillExitAbruptly()
{
    // No widgets, no display and no bus here: they may be what just went away.
    stopModelPreparation();
    endModelRun();
}

void TrialApp::quit()
{
    if (options_.quit) {
        options_.quit();
    } else {
        QCoreApplication::quit();
    }
}

} // namespace kivo
