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
    action_.clear();
    details_.clear();
    describe();
}

void StatusLabel::setAction(const QString& action, const QString& details)
{
    action_ = action;
    details_ = details;
    describe();
}

void StatusLabel::describe()
{
    QString whole = full_;
    for (const QString& part : {action_, details_}) {
        if (!part.isEmpty()) {
            whole += (whole.isEmpty() ? QString() : QStringLiteral("\n")) + part;
        }
    }
    // Rich text makes the tooltip wrap instead of running across the screen.
    setToolTip(whole.isEmpty() ? QString() : Qt::convertFromPlainText(whole, Qt::WhiteSpaceNormal));
    setAccessibleName(action_.isEmpty() ? full_ : full_ + QLatin1Char(' ') + action_);
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
    const int available = std::clamp(contentsRect().height() / std::max(1, metrics.lineSpacing()), 1, maximumLines);
    const QString action = metrics.elidedText(action_, Qt::ElideRight, std::max(width, 1));
    if (width <= 0) {
        elided_ = false;
        QLabel::setText(action_.isEmpty() ? full_ : full_ + QLatin1Char('\n') + action_);
        return;
    }
    // The action's line is reserved first; the message takes what remains, at least one line.
    const int room = std::max(1, available - (action_.isEmpty() ? 0 : 1));
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
    if (!action_.isEmpty()) {
        lines << action;
    }
    QLabel::setText(lines.join(QLatin1Char('\n')));
}

} // namespace kivo
