#include "app/shell/SettingsPopover.h"

#include "app/shell/Compositing.h"

#include <QApplication>
#include <QKeyEvent>
#include <QPainter>
#include <QScreen>
#include <QVBoxLayout>

namespace kivo {

SettingsPopover::SettingsPopover(QWidget* parent)
    : QFrame(parent, Qt::Tool | Qt::FramelessWindowHint), rows_(new QVBoxLayout(this))
{
    // Named once for the window list, the same in every interface language.
    setAccessibleName(QStringLiteral("Settings"));
    setAttribute(Qt::WA_TranslucentBackground);
    rows_->setSpacing(16);
    rows_->setContentsMargins(18, 18, 18, 18);
    rows_->setSizeConstraint(QLayout::SetFixedSize);
}

void SettingsPopover::fitContent()
{
    rows_->activate();
    adjustSize();
}

void SettingsPopover::showAnchored(QWidget* anchor)
{
    fitContent();
    const QPoint below = anchor->mapToGlobal(QPoint(anchor->width() / 2, anchor->height() + 6));
    QRect frame(QPoint(below.x() - width() / 2, below.y()), size());
    if (const QScreen* screen = anchor->screen()) {
        const QRect visible = screen->availableGeometry();
        frame.moveLeft(
            std::clamp(frame.left(), visible.left(), std::max(visible.left(), visible.right() - frame.width())));
        frame.moveTop(
            std::clamp(frame.top(), visible.top(), std::max(visible.top(), visible.bottom() - frame.height())));
    }
    move(frame.topLeft());
    anchor_ = anchor;
    show();
    raise();
    activateWindow();
    focusNextChild();
}

bool SettingsPopover::justClosed() const
{
    return closedByDeactivation_.isValid() && closedByDeactivation_.elapsed() < 300;
}

void SettingsPopover::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape) {
        hide();
        if (anchor_) {
            anchor_->activateWindow();
            anchor_->setFocus(Qt::OtherFocusReason);
        }
        return;
    }
    QFrame::keyPressEvent(event);
}

void SettingsPopover::changeEvent(QEvent* event)
{
    QFrame::changeEvent(event);
    // Clicking anywhere else closes it, as a pop-up would.
    if (event->type() == QEvent::ActivationChange && isVisible() && !isActiveWindow()) {
        // A pop-up list of one of its own pop-ups takes the activation only for a moment.
        if (QWidget* active = QApplication::activePopupWidget(); active && isAncestorOf(active)) {
            return;
        }
        closedByDeactivation_.start();
        hide();
    }
}

void SettingsPopover::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QColor border = palette().color(QPalette::WindowText);
    border.setAlphaF(0.15f);
    painter.setPen(QPen(border, 1));
    painter.setBrush(palette().color(QPalette::Window));
    const QRectF frame = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    if (Compositing::active()) {
        painter.drawRoundedRect(frame, 12, 12);
    } else {
        // Transparent corners would show black.
        painter.fillRect(rect(), palette().color(QPalette::Window));
        painter.drawRect(frame);
    }
}

} // namespace kivo
