#include "app/controller/ModelsAccess.h"

#include "app/shell/models/ModelsWindow.h"

namespace kivo {

ModelsAccess::ModelsAccess(std::function<void(ModelRole)> changed) : changed_(std::move(changed)) {}

ModelsAccess::~ModelsAccess() = default;

void ModelsAccess::show()
{
    if (!window_) {
        window_ = std::make_unique<ModelsWindow>();
        window_->onChanged = [this](ModelRole role) { changed(role); };
        window_->measureThisComputer();
    } else {
        window_->localize();
        window_->refresh();
    }
    window_->show();
    window_->raise();
    window_->activateWindow();
}

void ModelsAccess::localize()
{
    if (window_) {
        window_->localize();
    }
}

} // namespace kivo
