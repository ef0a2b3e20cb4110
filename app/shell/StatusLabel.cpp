#include "app/shell/StatusLabel.h"

#include <QEvent>
#include <QTextDocument>
#include <QTextLayout>

#include <algorithm>

namespace kivo {

StatusLabel::StatusLabel(QWidget* parent) : QLabel(parent)
{
    // The lines are broken here, so that the label never shows a line cut through its middle.
    setWordWrap(false);
    setTextFormat(Qt::PlainText);
}

void StatusLabel::setText(const QString& text)
{
    full_ = text;
    // Rich text makes the tooltip wrap instead of running across the screen.
    setToolTip(text.isEmpty() ? QString() : Qt::convertFromPlainText(text, Qt::WhiteSpaceNormal));
    setAccessibleName(text);
    fit();
}

void StatusLabel::append(const QString& text)
{
    setText(full_ + text);
}

void StatusLabel::resizeEvent(QResizeEvent* event)
{
    QLabel::resizeEvent(event);
    fit();
}

void StatusLabel::changeEvent(QEvent* event)
{
    QLabel::changeEvent(event);
    if (event->type() == QEvent::FontChange) {
        fit();
    }
}

void StatusLabel::fit()
{
    const int width = contentsRect().width();
    const QFontMetrics metrics = fontMetrics();
    const int room = std::clamp(contentsRect().height() / std::max(1, metrics.lineSpacing()), 1, maximumLines);
    if (width <= 0) {
        elided_ = false;
        QLabel::setText(full_);
        return;
    }
    QString text = full_;
    text.replace(QLatin1Char('\n'), QChar::LineSeparator);
    QTextLayout layout(text, font());
    QTextOption option(alignment());
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    QStringList lines;
    int rest = -1;
    layout.beginLayout();
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(width);
        if (lines.size() == room - 1 && rest < 0) {
            rest = line.textStart();
        }
        lines << text.mid(line.textStart(), line.textLength());
    }
    layout.endLayout();
    elided_ = lines.size() > room;
    if (elided_) {
        QString last = text.mid(rest);
        last.replace(QChar::LineSeparator, QLatin1Char(' '));
        lines.resize(room - 1);
        lines << metrics.elidedText(last.simplified(), Qt::ElideRight, width);
    }
    for (QString& line : lines) {
        line.remove(QChar::LineSeparator);
        while (line.endsWith(QLatin1Char(' '))) {
            line.chop(1);
        }
    }
    QLabel::setText(lines.join(QLatin1Char('\n')));
}

} // namespace kivo
