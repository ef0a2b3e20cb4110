#pragma once

#include <QCoreApplication>
#include <QMetaObject>
#include <QPointer>

#include <utility>

namespace kivo {

// From a work item's thread: runs `call(object)` later on the main thread, unless the object is
// gone by then. The object itself is only looked at there.
template <typename Object, typename Call>
void callOnMainThread(QPointer<Object> object, Call call)
{
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [object, call = std::move(call)]() mutable {
            if (Object* alive = object.data()) {
                call(*alive);
            }
        },
        Qt::QueuedConnection);
}

} // namespace kivo
