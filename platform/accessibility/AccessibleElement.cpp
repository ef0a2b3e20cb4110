#include "platform/accessibility/AccessibleElement.h"

#include "platform/accessibility/AccessibilityThread.h"

#include <atspi/atspi.h>

#include <utility>

namespace kivo {

AccessibleElement::AccessibleElement(AtspiAccessible* accessible) : accessible_(accessible)
{
    if (!accessible_) {
        return;
    }
    const AtspiObject& object = accessible_->parent;
    if (object.app && object.app->bus_name) {
        busName_ = object.app->bus_name;
    }
    if (object.path) {
        path_ = object.path;
    }
}

AccessibleElement::AccessibleElement(const AccessibleElement& other)
    : accessible_(other.accessible_), busName_(other.busName_), path_(other.path_)
{
    if (accessible_) {
        g_object_ref(accessible_);
    }
}

AccessibleElement::AccessibleElement(AccessibleElement&& other) noexcept
    : accessible_(std::exchange(other.accessible_, nullptr)), busName_(std::move(other.busName_)),
      path_(std::move(other.path_))
{
}

AccessibleElement& AccessibleElement::operator=(AccessibleElement other) noexcept
{
    std::swap(accessible_, other.accessible_);
    std::swap(busName_, other.busName_);
    std::swap(path_, other.path_);
    return *this;
}

AccessibleElement::~AccessibleElement()
{
    if (!accessible_) {
        return;
    }
    // The last reference tears the object out of libatspi's tables, which only its thread uses.
    if (AccessibilityThread::isCurrent()) {
        g_object_unref(accessible_);
    } else {
        AccessibilityThread::post([accessible = accessible_] { g_object_unref(accessible); });
    }
}

} // namespace kivo
