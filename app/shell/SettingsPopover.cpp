#include "app/shell/SettingsPopover.h"

#include <QGuiApplication>
#include <QPainter>
#include <QScreen>
#include <QVBoxLayout>

namespace kivo {

SettingsPopover::SettingsPopover(QWidget* parent)
    : QFrame(parent, Qt::Popup | Qt::FramelessWindowHint), rows_(new QVBoxLayout(this))
{
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
        frame.moveLeft(std::clamp(frame.left(), visible.left(), std::max(visible.left(), visible.right() - frame.width())));
        frame.moveTop(std::clamp(frame.top(), visible.top(), std::max(visible.top(), visible.bottom() - frame.height())));
    }
    move(frame.topLeft());
    show();
}

void SettingsPopover::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QColor border = palette().color(QPalette::WindowText);
    border.setAlphaF(0.15f);
    painter.setPen(QPen(border, 1));
    painter.setBrush(palette().color(QPalette::Window));
    painter.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 12, 12);
}

} // namespace kivo
