#pragma once

#include <QLabel>

namespace kivo {

// The status line. Its text can outgrow three lines, so the tooltip always carries all of it.
class StatusLabel : public QLabel {
    Q_OBJECT
public:
    explicit StatusLabel(QWidget* parent);

    void setText(const QString& text); // also the tooltip
    void append(const QString& text);
};

} // namespace kivo
