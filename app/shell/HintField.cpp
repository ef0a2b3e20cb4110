#include "app/shell/HintField.h"

#include <QEvent>
#include <QPainter>

namespace kivo {
namespace {

constexpr int inset = 6;

} // namespace

HintField::HintField(QWidget* parent) : QLineEdit(parent)
{
    // The field's own placeholder is one line, cut at the edge: it is drawn here instead.
    placeholderColor_ = palette().color(QPalette::PlaceholderText);
    QPalette quiet = palette();
    quiet.setColor(QPalette::PlaceholderText, Qt::transparent);
    setPalette(quiet);
    fitHeight();
}

QRect HintField::placeholderRect() const
{
    return rect().adjusted(inset, inset / 2, -inset, -inset / 2);
}

void HintField::fitHeight()
{
    setFixedHeight(placeholderLines * fontMetrics().lineSpacing() + inset + 4);
}

void HintField::changeEvent(QEvent* event)
{
    QLineEdit::changeEvent(event);
    if (event->type() == QEvent::FontChange) {
        fitHeight();
    }
}

void HintField::paintEvent(QPaintEvent* event)
{
    QLineEdit::paintEvent(event);
    if (!text().isEmpty() || placeholderText().isEmpty()) {
        return;
    }
    QPainter painter(this);
    painter.setPen(placeholderColor_);
    painter.drawText(placeholderRect(), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextWordWrap, placeholderText());
}

} // namespace kivo
