#pragma once

#include <QPoint>
#include <QWidget>

#include <optional>

namespace kivo {

// The borderless, translucent, rounded panel window. It is moved by dragging its background:
// the window manager moves it where it can, otherwise the panel follows the pointer itself.
class VoicePanel : public QWidget {
    Q_OBJECT
public:
    static constexpr int width = 380;
    static constexpr int collapsedHeight = 292;
    static constexpr int expandedHeight = 680;
    static constexpr qreal cornerRadius = 26;

    VoicePanel();

    // Moves the window for the app itself (placement, clamping): not reported as `moved`.
    void place(const QPoint& topLeft);

signals:
    // The user moved the window (dragged it, or had the window manager move it).
    void moved();
    void closeRequested();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    std::optional<QPoint> dragOffset_;
    std::optional<QPoint> placed_;
};

} // namespace kivo
