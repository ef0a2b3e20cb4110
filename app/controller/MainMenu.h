#pragma once

#include <QObject>

#include <functional>
#include <memory>

class QAction;
class QMenu;
class QPoint;
class QWidget;

namespace kivo {

// The app's menu, opened from the panel's background. Fixed titles: the menu does not follow
// the interface language.
class MainMenu : public QObject {
public:
    struct Commands {
        std::function<void()> checkForUpdates;
        // Converts what is selected in another application.
        std::function<void()> convertSelection;
        std::function<void()> quit;
    };

    // The quit key works anywhere in `window`.
    MainMenu(QWidget& window, Commands commands);
    ~MainMenu() override;

    QMenu* menu() const { return menu_.get(); }
    QAction* checkUpdatesItem() const { return checkUpdates_; }
    void popup(const QPoint& globalPosition);

private:
    std::unique_ptr<QMenu> menu_;
    QAction* checkUpdates_ = nullptr;
};

} // namespace kivo
