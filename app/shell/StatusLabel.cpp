#include "app/shell/StatusLabel.h"

namespace kivo {

StatusLabel::StatusLabel(QWidget* parent) : QLabel(parent)
{
    setWordWrap(true);
    setTextFormat(Qt::PlainText);
}

void StatusLabel::setText(const QString& text)
{
    QLabel::setText(text);
    setToolTip(text);
}

void StatusLabel::append(const QString& text)
{
    setText(QLabel::text() + text);
}

} // namespace kivo
