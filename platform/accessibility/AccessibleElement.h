#pragma once

#include <string>

using AtspiAccessible = struct _AtspiAccessible;

namespace kivo {

// One element of another application on the accessibility bus, held by reference. Two
// elements are equal when they are the same object of the same application connection.
class AccessibleElement {
public:
    AccessibleElement() = default;
    // Takes over one reference of `accessible`.
    explicit AccessibleElement(AtspiAccessible* accessible);
    AccessibleElement(const AccessibleElement& other);
    AccessibleElement(AccessibleElement&& other) noexcept;
    AccessibleElement& operator=(AccessibleElement other) noexcept;
    ~AccessibleElement();

    AtspiAccessible* get() const { return accessible_; }
    explicit operator bool() const { return accessible_ != nullptr; }
    const std::string& busName() const { return busName_; }
    const std::string& path() const { return path_; }

    friend bool operator==(const AccessibleElement& a, const AccessibleElement& b)
    {
        return a.busName_ == b.busName_ && a.path_ == b.path_;
    }

private:
    AtspiAccessible* accessible_ = nullptr;
    std::string busName_;
    std::string path_;
};

} // namespace kivo
