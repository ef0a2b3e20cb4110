// The controller's side of the Models window: the settings button, the missing-model status
// that opens it, and its language.
#include "app/controller/TrialApp.h"

#include "app/shell/SettingsPopover.h"
#include "app/shell/StatusLabel.h"
#include "app/shell/models/ModelAdvice.h"
#include "app/shell/models/ModelsLink.h"
#include "app/shell/models/ModelsWindow.h"

#include <QPushButton>
#include <QVBoxLayout>

namespace kivo {

void TrialApp::connectModels()
{
    modelsLink_ = new ModelsLink(panel_->status, [this] { showModels(); });
    modelsButton_ = new QPushButton(panel_->settingsPopover);
    panel_->settingsPopover->rows()->addWidget(modelsButton_);
    connect(modelsButton_, &QPushButton::clicked, this, [this] {
        panel_->settingsPopover->hide();
        showModels();
    });
    localizeModels();
}

void TrialApp::localizeModels()
{
    if (modelsButton_) {
        modelsButton_->setText(tr("模型…", "Models…"));
        modelsButton_->setToolTip(tr("下載、匯入或刪除語音及語言模型", "Download, import or remove the speech and language models"));
    }
    if (modelsWindow_) {
        modelsWindow_->setChinese(chinese());
    }
}

void TrialApp::showModels()
{
    if (!modelsWindow_) {
        modelsWindow_ = std::make_unique<ModelsWindow>(chinese());
        // The idle status stops saying a model is missing once it is there.
        modelsWindow_->onChanged = [this](ModelRole) {
            if (idle()) {
                showIdleStatus();
            }
        };
        modelsWindow_->measureThisComputer();
    } else {
        modelsWindow_->setChinese(chinese());
        modelsWindow_->refresh();
    }
    modelsWindow_->show();
    modelsWindow_->raise();
    modelsWindow_->activateWindow();
}

void TrialApp::showIdleStatus()
{
    // A first start without models says so at once, rather than at the first failure.
    if (const auto missing = ModelAdvice::missingAtStart(chinese())) {
        offerModelsWithStatus_ = QString::fromStdString(missing->details);
        return setStatus(QString::fromStdString(missing->status));
    }
    setStatus(tr("本機處理 · 輸出請檢閱", "On-device · Review before copying"));
}

bool TrialApp::statusOffersModels() const
{
    return modelsLink_ && modelsLink_->offered();
}

} // namespace kivo
