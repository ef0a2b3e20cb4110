#pragma once

#include <QLabel>

namespace kivo {

// The status line: at most three whole lines, the last one elided when the text is longer.
// The tooltip and the accessibility name always carry all of it; the tooltip wraps.
class StatusLabel : public QLabel {
    Q_OBJECT
public:
    static constexpr int maximumLines = 3;

    explicit StatusLabel(QWidget* parent);

    void setText(const QString& text); // also the tooltip
    void append(const QString& text);
    // The whole text, not only what fits.
    QString text() const { return full_; }
    bool elided() const { return elided_; }

protected:
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void fit();

    QString full_;
    bool elided_ = false;
};

} // namespace kivo
