#include "app/shell/VoicePanel.h"

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

void VoicePanel::moveEvent(QMoveEvent* event)
{
    QWidget::moveEvent(event);
    emit moved();
}

void VoicePanel::closeEvent(QCloseEvent* event)
{
    // Closing the panel is quitting the app; the owner decides how.
    event->ignore();
    emit closeRequested();
}

} // namespace kivo
