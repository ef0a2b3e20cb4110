#pragma once

#include <QObject>

#include <functional>
#include <memory>

namespace kivo {

class ModelsWindow;

// The Models window, opened from the settings and from a missing-model status; made on first use.
class ModelsAccess : public QObject {
public:
    // `changed` follows every install or removal in the window.
    explicit ModelsAccess(std::function<void()> changed);
    ~ModelsAccess() override;

    void show(bool chinese);
    void localize(bool chinese);
    ModelsWindow* window() const { return window_.get(); }

private:
    std::function<void()> changed_;
    std::unique_ptr<ModelsWindow> window_;
};

} // namespace kivo
