#pragma once

#include "app/models/ModelRole.h"

#include <QObject>

#include <functional>
#include <memory>

namespace kivo {

class ModelsWindow;

// The Models window, opened from the settings and from a missing-model status; made on first use.
class ModelsAccess : public QObject {
public:
    // `changed` follows every install or removal in the window.
    explicit ModelsAccess(std::function<void(ModelRole)> changed);
    ~ModelsAccess() override;

    void show();
    void localize();
    ModelsWindow* window() const { return window_.get(); }
    // A model of this role was installed or removed.
    void changed(ModelRole role) { changed_(role); }

private:
    std::function<void(ModelRole)> changed_;
    std::unique_ptr<ModelsWindow> window_;
};

} // namespace kivo
