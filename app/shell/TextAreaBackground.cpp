#include "app/shell/TextAreaBackground.h"

#include <QEvent>
#include <QPainter>

namespace kivo {

TextAreaBackground::TextAreaBackground(QWidget* parent) : QWidget(parent)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void TextAreaBackground::setTint(const QColor& tint)
{
    if (tint != tint_) {
        tint_ = tint;
        update();
    }
}

void TextAreaBackground::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(tint_);
    painter.drawRoundedRect(QRectF(rect()), cornerRadius, cornerRadius);
}

void TextAreaBackground::changeEvent(QEvent* event)
{
    // A palette or style change alters what the tint is drawn over.
    if (event->type() == QEvent::PaletteChange || event->type() == QEvent::StyleChange) {
        update();
    }
    QWidget::changeEvent(event);
}

} // namespace kivo
