#pragma once

#include <QFrame>

class QVBoxLayout;

namespace kivo {

// The settings popover: a popup that closes itself when the user clicks elsewhere, shown
// under the button it is anchored to.
class SettingsPopover : public QFrame {
    Q_OBJECT
public:
    explicit SettingsPopover(QWidget* parent);

    QVBoxLayout* rows() const { return rows_; }
    // Sizes the popover to its content and shows it below `anchor`, inside the screen.
    void showAnchored(QWidget* anchor);
    // Lays out and sizes the popover to its fitting size.
    void fitContent();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QVBoxLayout* rows_;
};

} // namespace kivo
