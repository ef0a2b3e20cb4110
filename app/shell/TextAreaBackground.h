#pragma once

#include <QColor>
#include <QWidget>

namespace kivo {

// The rounded tinted plate behind a text area.
class TextAreaBackground : public QWidget {
    Q_OBJECT
public:
    static constexpr qreal cornerRadius = 14;

    explicit TextAreaBackground(QWidget* parent);

    QColor tint() const { return tint_; }
    void setTint(const QColor& tint);

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    QColor tint_{Qt::transparent};
};

} // namespace kivo
