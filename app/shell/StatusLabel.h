#pragma once

#include <QLabel>

namespace kivo {

// The status line: at most three whole lines, the last one elided when the text is longer.
// An action ("Click here to …") keeps a line of its own that elision never takes. The tooltip
// and the accessibility name always carry all of it, the tooltip also the details; it wraps.
class StatusLabel : public QLabel {
    Q_OBJECT
public:
    static constexpr int maximumLines = 3;

    explicit StatusLabel(QWidget* parent);

    void setText(const QString& text); // also the tooltip; clears the action and details
    void setAction(const QString& action, const QString& details);
    void append(const QString& text);
    // The whole text, not only what fits.
    QString text() const { return full_; }
    QString action() const { return action_; }
    bool elided() const { return elided_; }

protected:
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void fit();
    void describe();

    QString full_;
    QString action_;
    QString details_;
    bool elided_ = false;
};

} // namespace kivo
