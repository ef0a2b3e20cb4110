#pragma once

#include <QElapsedTimer>
#include <QFrame>
#include <QPointer>

class QVBoxLayout;

namespace kivo {

// The settings popover: a small window shown under the button it is anchored to, closed by
// Escape or when another window becomes active. It is a tool window rather than a pop-up so
// that keyboard focus can move through it and screen readers can reach its controls.
class SettingsPopover : public QFrame {
    Q_OBJECT
public:
    explicit SettingsPopover(QWidget* parent);

    QVBoxLayout* rows() const { return rows_; }
    // Sizes the popover to its content and shows it below `anchor`, inside the screen, with
    // the keyboard on its first control.
    void showAnchored(QWidget* anchor);
    // Lays out and sizes the popover to its fitting size.
    void fitContent();
    // True right after the popover closed itself because the user clicked elsewhere (such as
    // on the button that toggles it).
    bool justClosed() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    QVBoxLayout* rows_;
    QPointer<QWidget> anchor_;
    QElapsedTimer closedByDeactivation_;
};

} // namespace kivo
