#include "app/controller/ModelsAccess.h"

#include "app/shell/models/ModelsWindow.h"

namespace kivo {

ModelsAccess::ModelsAccess() = default;

ModelsAccess::~ModelsAccess() = default;

void ModelsAccess::show(bool chinese)
{
    if (!window_) {
        window_ = std::make_unique<ModelsWindow>(chinese);
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
