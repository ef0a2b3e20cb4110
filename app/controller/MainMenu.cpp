#include "app/controller/MainMenu.h"

#include <QAction>
#include <QApplication>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>

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

MainMenu::MainMenu(QWidget& window, Commands commands) : menu_(std::make_unique<QMenu>())
{
    // The menu's titles are Chinese in both interface languages, so not in the catalogue; the
    // update item is renamed in the interface language by the update controls.
    QMenu* application = menu_->addMenu(QStringLiteral("Kivo"));
    checkUpdates_ = application->addAction(QStringLiteral("檢查更新…"), this, commands.checkForUpdates);
    QMenu* services = application->addMenu(QStringLiteral("服務"));
    // The desktop's stand-in for a system text service: convert what is selected elsewhere.
    services->addAction(QStringLiteral("轉換選取文字"), this, commands.convertSelection);
    application->addSeparator();
    QAction* quit = application->addAction(QStringLiteral("結束 Kivo"), this, commands.quit);
    quit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    quit->setShortcutContext(Qt::WindowShortcut);
    window.addAction(quit);

    QMenu* edit = menu_->addMenu(QStringLiteral("編輯"));
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
}

MainMenu::~MainMenu() = default;

void MainMenu::popup(const QPoint& globalPosition)
{
    menu_->popup(globalPosition);
}

} // namespace kivo
