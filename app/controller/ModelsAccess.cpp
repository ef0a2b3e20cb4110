#include "app/controller/ModelsAccess.h"

#include "app/shell/models/ModelsWindow.h"

namespace kivo {

ModelsAccess::ModelsAccess(std::function<void(ModelRole)> changed) : changed_(std::move(changed)) {}

ModelsAccess::~ModelsAccess() = default;

void ModelsAccess::show(bool chinese)
{
    if (!window_) {
        window_ = std::make_unique<ModelsWindow>(chinese);
        window_->onChanged = [this](ModelRole role) { changed(role); };
        window_->measureThisComputer();
    } else {
        window_->setChinese(chinese);
        window_->refresh();
    }
    window_->show();
    window_->raise();
    window_->activateWindow();
}

void ModelsAccess::localize(bool chinese)
{
    if (window_) {
        window_->setChinese(chinese);
    }
}

} // namespace kivo
