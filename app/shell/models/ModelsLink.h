#pragma once

#include <QObject>

#include <functional>

class QLabel;

namespace kivo {

// Makes the status line open the Models window while it shows a missing-model message: a
// click (or Return/Space when it has the focus) runs `open`.
class ModelsLink : public QObject {
public:
    ModelsLink(QLabel* status, std::function<void()> open);

    void setOffered(bool offered);
    bool offered() const { return offered_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QLabel* status_;
    std::function<void()> open_;
    bool offered_ = false;
};

} // namespace kivo
