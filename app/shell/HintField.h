#pragma once

#include <QColor>
#include <QLineEdit>

namespace kivo {

// A one-line field whose placeholder wraps onto a second line, so that a long example is
// shown whole in a narrow field.
class HintField : public QLineEdit {
    Q_OBJECT
public:
    static constexpr int placeholderLines = 2;

    explicit HintField(QWidget* parent);

    // Where the placeholder is drawn.
    QRect placeholderRect() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void fitHeight();

    QColor placeholderColor_;
};

} // namespace kivo
