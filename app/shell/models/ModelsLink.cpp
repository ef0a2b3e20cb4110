#include "app/shell/models/ModelsLink.h"

#include <QKeyEvent>
#include <QLabel>

namespace kivo {

ModelsLink::ModelsLink(QLabel* status, std::function<void()> open)
    : QObject(status), status_(status), open_(std::move(open))
{
    status_->installEventFilter(this);
}

void ModelsLink::setOffered(bool offered)
{
    offered_ = offered;
    status_->setCursor(offered ? Qt::PointingHandCursor : Qt::ArrowCursor);
    status_->setFocusPolicy(offered ? Qt::TabFocus : Qt::NoFocus);
}

bool ModelsLink::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != status_ || !offered_) {
        return false;
    }
    if (event->type() == QEvent::MouseButtonRelease) {
        open_();
        return true;
    }
    if (event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Space) {
            open_();
            return true;
        }
    }
    return false;
}

} // namespace kivo
