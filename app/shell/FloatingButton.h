#pragma once

#include <QAbstractButton>
#include <QColor>

namespace kivo {

// The panel's round symbol button: a capsule whose fill and symbol tint follow the prominent,
// recording, hovered, enabled and pressed states. The title is kept for the tooltip and the
// accessibility name; only the symbol is drawn.
class FloatingButton : public QAbstractButton {
    Q_OBJECT
public:
    explicit FloatingButton(QWidget* parent);

    bool prominent() const { return prominent_; }
    void setProminent(bool prominent);
    bool recording() const { return recording_; }
    void setRecording(bool recording);
    bool hovered() const { return hovered_; }
    void setHovered(bool hovered);

    QString symbol() const { return symbol_; }
    // Symbol, title, tooltip and accessibility name in one step.
    void setIcon(const QString& symbol, const QString& title);

    // The capsule's colour and the symbol's colour for the current state, with alpha applied.
    QColor fillColor() const;
    QColor symbolColor() const;
    qreal symbolSize() const { return prominent_ ? 30 : 16; }

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void changeEvent(QEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    bool prominent_ = false;
    bool recording_ = false;
    bool hovered_ = false;
    bool keyboardFocus_ = false;
    QString symbol_;
};

} // namespace kivo
