#include "app/shell/FloatingButton.h"

#include "app/shell/SymbolGlyph.h"

#include <QEvent>
#include <QFocusEvent>
#include <QPainter>
#include <QPen>

namespace kivo {

FloatingButton::FloatingButton(QWidget* parent) : QAbstractButton(parent)
{
    // Reachable with Tab (and pressed with Space) for people who do not use a pointer; a
    // click does not take the keyboard away from the text fields.
    setFocusPolicy(Qt::TabFocus);
    setAttribute(Qt::WA_Hover);
    setCursor(Qt::PointingHandCursor);
}

void FloatingButton::setProminent(bool prominent)
{
    if (prominent_ != prominent) {
        prominent_ = prominent;
        update();
    }
}

void FloatingButton::setRecording(bool recording)
{
    if (recording_ != recording) {
        recording_ = recording;
        update();
    }
}

void FloatingButton::setHovered(bool hovered)
{
    if (hovered_ != hovered) {
        hovered_ = hovered;
        update();
    }
}

void FloatingButton::setIcon(const QString& symbol, const QString& title)
{
    symbol_ = symbol;
    setText(title);
    setToolTip(title);
    setAccessibleName(title);
    update();
}

QColor FloatingButton::fillColor() const
{
    const QColor label = palette().color(QPalette::WindowText);
    QColor fill;
    if (recording_) {
        fill = QColor(255, 59, 48);
    } else if (prominent_) {
        fill = label;
    } else {
        fill = label;
        fill.setAlphaF(hovered_ ? 0.13f : 0.055f);
    }
    const float factor = !isEnabled() ? 0.15f : isDown() ? 0.55f : 1.0f;
    fill.setAlphaF(fill.alphaF() * factor);
    return fill;
}

QColor FloatingButton::symbolColor() const
{
    QColor color;
    if (prominent_) {
        color = recording_ ? QColor(Qt::white) : palette().color(QPalette::Window);
    } else {
        color = palette().color(QPalette::WindowText);
    }
    color.setAlphaF(color.alphaF() * (isEnabled() ? 1.0f : 0.3f));
    return color;
}

QSize FloatingButton::sizeHint() const
{
    return prominent_ ? QSize(72, 72) : QSize(28, 28);
}

void FloatingButton::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF capsule = QRectF(rect()).adjusted(1, 1, -1, -1);
    const qreal radius = capsule.height() / 2;
    painter.setPen(Qt::NoPen);
    painter.setBrush(fillColor());
    painter.drawRoundedRect(capsule, radius, radius);
    if (hasFocus() && keyboardFocus_) {
        painter.setPen(QPen(palette().color(QPalette::Highlight), 2));
        painter.setBrush(Qt::NoBrush);
        painter.drawRoundedRect(capsule, radius, radius);
    }

    const qreal side = std::min(symbolSize(), std::min(capsule.width(), capsule.height()));
    QRectF box(0, 0, side, side);
    box.moveCenter(capsule.center());
    SymbolGlyph::paint(painter, box, symbol_, symbolColor());
}

void FloatingButton::focusInEvent(QFocusEvent* event)
{
    // The ring shows where the keyboard is; a window that gets the keyboard back keeps the
    // previous answer.
    if (event->reason() == Qt::MouseFocusReason) {
        keyboardFocus_ = false;
    } else if (event->reason() != Qt::ActiveWindowFocusReason && event->reason() != Qt::PopupFocusReason) {
        keyboardFocus_ = true;
    }
    QAbstractButton::focusInEvent(event);
    update();
}

void FloatingButton::focusOutEvent(QFocusEvent* event)
{
    QAbstractButton::focusOutEvent(event);
    update();
}

void FloatingButton::enterEvent(QEnterEvent* event)
{
    setHovered(true);
    QAbstractButton::enterEvent(event);
}

void FloatingButton::leaveEvent(QEvent* event)
{
    setHovered(false);
    QAbstractButton::leaveEvent(event);
}

void FloatingButton::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::EnabledChange || event->type() == QEvent::PaletteChange) {
        update();
    }
    QAbstractButton::changeEvent(event);
}

} // namespace kivo
