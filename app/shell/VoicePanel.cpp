#include "app/shell/VoicePanel.h"

#include "app/shell/Compositing.h"

#include <QCloseEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QWindow>

namespace kivo {

VoicePanel::VoicePanel() : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint)
{
    setAttribute(Qt::WA_TranslucentBackground);
    setFixedSize(width, collapsedHeight);
}

void VoicePanel::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QColor fill = palette().color(QPalette::Window);
    fill.setAlphaF(0.94f);
    QColor border(255, 255, 255);
    border.setAlphaF(0.2f);
    painter.setPen(QPen(border, 1));
    if (!Compositing::active()) {
        // Without a compositor the transparent corners would show black.
        fill.setAlphaF(1.0f);
        painter.fillRect(rect(), fill);
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5));
        return;
    }
    painter.setBrush(fill);
    painter.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), cornerRadius, cornerRadius);
}

void VoicePanel::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        return QWidget::mousePressEvent(event);
    }
    if (windowHandle() && windowHandle()->startSystemMove()) {
        return;
    }
    dragOffset_ = event->globalPosition().toPoint() - frameGeometry().topLeft();
}

void VoicePanel::mouseMoveEvent(QMouseEvent* event)
{
    if (dragOffset_ && (event->buttons() & Qt::LeftButton)) {
        move(event->globalPosition().toPoint() - *dragOffset_);
    }
}

void VoicePanel::mouseReleaseEvent(QMouseEvent* event)
{
    dragOffset_.reset();
    QWidget::mouseReleaseEvent(event);
}

void VoicePanel::place(const QPoint& topLeft)
{
    placed_ = topLeft;
    move(topLeft);
}

void VoicePanel::moveEvent(QMoveEvent* event)
{
    QWidget::moveEvent(event);
    // Showing the window reports where the app put it; that is no move of the user's.
    if (!isVisible() || pos() == placed_) {
        return;
    }
    placed_.reset();
    emit moved();
}

void VoicePanel::closeEvent(QCloseEvent* event)
{
    // Closing the panel is quitting the app; the owner decides how.
    event->ignore();
    emit closeRequested();
}

} // namespace kivo
