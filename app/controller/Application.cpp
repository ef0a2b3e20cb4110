#include "app/controller/Application.h"

#include "app/controller/BundleLocation.h"
#include "app/controller/Conversion.h"
#include "app/controller/Insertion.h"
#include "app/controller/MainMenu.h"
#include "app/controller/ModelsAccess.h"
#include "app/controller/PanelPreferences.h"
#include "app/controller/Recording.h"
#include "app/controller/RecordingShortcut.h"
#include "app/controller/RunLock.h"
#include "app/controller/UpdatesAndRestart.h"
#include "app/models/ModelAdvice.h"
#include "app/shell/FloatingPanel.h"
#include "app/shell/VoicePanel.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>

namespace kivo {

Application::Application() : Application(Options{}) {}

Application::Application(Options options)
    : options_(std::move(options)), panel_(std::make_unique<FloatingPanel>()),
      preferences_(std::make_unique<PanelPreferences>())
{
    const std::filesystem::path executableDirectory = QCoreApplication::applicationDirPath().toStdString();
    const std::filesystem::path resources = options_.resourcesDirectory.empty()
                                                ? BundleLocation::resourcesDirectory(executableDirectory)
                                                : options_.resourcesDirectory;
    appVersion_ =
        QString::fromStdString(BundleLocation::shortVersion(BundleLocation::bundleDirectory(executableDirectory)));
    // The flows see the application only through the host interface.
    SessionHost& host = *this;
    updates_ = std::make_unique<UpdatesAndRestart>(host, resources);
    menu_ = std::make_unique<MainMenu>(panel_->window(), MainMenu::Commands{[this] { updates_->checkForUpdates(); },
                                                                            [this] { convertOtherSelection(); },
                                                                            [this] { requestQuit(); }});
    recording_ = std::make_unique<Recording>(host, options_);
    insertion_ = std::make_unique<Insertion>(host, options_.deliver);
    shortcut_ = std::make_unique<RecordingShortcut>(host, options_, [this] { recording_->pressFromShortcut(); });
    conversion_ = std::make_unique<Conversion>(host, resources,
                                               options_.lockPath.empty() ? RunLock::defaultPath() : options_.lockPath,
                                               options_.modelTimeLimit);
    // The idle status stops saying a model is missing once it is there, the engine choices
    // name the model now installed, and a new language model is prepared as at launch.
    models_ = std::make_unique<ModelsAccess>([this](ModelRole role) {
        recording_->updateSpeechInfo();
        if (role == ModelRole::language && launched_) {
            conversion_->prepare();
        }
        if (!busy()) {
            showIdleStatus();
        }
    });
    connectPanel();
    updateControls();
}

Application::~Application() = default;

void Application::connectPanel()
{
    FloatingPanel* p = panel_.get();
    connect(p, &FloatingPanel::recordClicked, this, [this] { recording_->press(); });
    connect(p, &FloatingPanel::cancelClicked, this, [this] { cancel(); });
    connect(p, &FloatingPanel::convertClicked, this, [this] { conversion_->run(); });
    connect(p, &FloatingPanel::restoreTranscriptClicked, this, [this] { recording_->restoreTranscript(); });
    connect(p, &FloatingPanel::detailsClicked, this, [this] { recording_->showDetails(); });
    connect(p, &FloatingPanel::modelsClicked, this, [this] { models_->show(); });
    connect(p, &FloatingPanel::restartClicked, this, [this] { updates_->restart(); });
    connect(p, &FloatingPanel::shortcutPermissionClicked, this, [this] { shortcut_->requestPermission(); });
    connect(p, &FloatingPanel::closeRequested, this, [this] { requestQuit(); });
    connect(p, &FloatingPanel::menuRequested, this, [this](const QPoint& at) {
        updates_->updateControls();
        menu_->popup(at);
    });
    connect(p, &FloatingPanel::sourceEdited, this, [this] { sourceEdited(); });
    connect(p, &FloatingPanel::selectionChanged, this, [this] {
        const PanelActivity now = activity();
        if (!now.converting && !now.speechBusy && !now.delivering) {
            panel_->setResult({}, false);
            updateScope();
        }
    });
    connect(p, &FloatingPanel::settingChanged, this, [this](PanelSetting setting) { settingChanged(setting); });
    connect(&p->checkUpdatesAction(), &QAction::triggered, this, [this] { updates_->checkForUpdates(); });
    connect(qApp, &QGuiApplication::applicationStateChanged, this, [this](Qt::ApplicationState state) {
        if (state == Qt::ApplicationActive) {
            shortcut_->activated();
        }
    });
}

void Application::settingChanged(PanelSetting setting)
{
    switch (setting) {
    case PanelSetting::windowFrame: preferences_->windowMoved(*panel_); return;
    case PanelSetting::language: localize(); break;
    case PanelSetting::mode:
        panel_->setResult({}, false);
        localize();
        savePreferences();
        conversion_->convertAheadInSelectedMode();
        if (launched_) {
            conversion_->prepare();
        }
        return;
    case PanelSetting::speechEngine:
        recording_->updateSpeechInfo();
        updateControls();
        break;
    case PanelSetting::autoInsert: shortcut_->updateLabels(); break;
    case PanelSetting::shortcut: shortcut_->refresh(); break;
    case PanelSetting::autoProcess: updateControls(); break;
    case PanelSetting::vocabulary:
    case PanelSetting::convertWhileSpeaking:
    case PanelSetting::hongKongCharacters:
    case PanelSetting::editorExpanded: break;
    }
    savePreferences();
}

void Application::launch()
{
    restorePreferences();
    updates_->start(menu_->checkUpdatesItem());
    shortcut_->start();
    showWindow();
    if (QWidget* focused = QApplication::focusWidget()) {
        focused->clearFocus();
    }
    launched_ = true;
    conversion_->prepare();
}

void Application::willTerminate()
{
    insertion_->cancel();
    shortcut_->stop();
    savePreferences();
    conversion_->stopPreparation();
    conversion_->stop(QString());
}

void Application::exitAbruptly()
{
    // No widgets, no display and no bus here: they may be what just went away.
    conversion_->stopPreparation();
    conversion_->end();
}

void Application::requestQuit()
{
    if (!recording_->busy()) {
        quit();
        return;
    }
    recording_->cancelThen([this] { quit(); });
}

void Application::quit()
{
    if (options_.quit) {
        options_.quit();
    } else {
        QCoreApplication::quit();
    }
}

void Application::restorePreferences()
{
    preferences_->restore(*panel_, [this] { localize(); });
}

void Application::savePreferences()
{
    preferences_->save(*panel_);
}

void Application::showWindow()
{
    panel_->present();
}

PanelActivity Application::activity() const
{
    PanelActivity activity;
    activity.converting = conversion_->running();
    activity.speechBusy = recording_->busy();
    activity.recording = recording_->status() == SpeechSession::Status::recording;
    activity.stopping = recording_->stopping();
    activity.delivering = insertion_->busy();
    activity.restarting = updates_->restarting();
    activity.hasDetails = recording_->hasDetails();
    activity.hasTranscript = recording_->transcript().has_value();
    return activity;
}

void Application::updateControls()
{
    panel_->setActivity(activity());
    updates_->updateControls();
}

void Application::updateScope()
{
    panel_->setScope(panel_->state().selection.length == 0 ? tr("Convert all text") : tr("Convert selection only"));
}

void Application::convert()
{
    conversion_->run();
}

void Application::transcriptBegins()
{
    conversion_->transcriptBegins();
}

void Application::transcriptSettled(const std::string& text)
{
    conversion_->transcriptSettled(text);
}

void Application::insert(const std::string& text)
{
    const QUuid shown = conversion_->epoch();
    insertion_->deliver(text, [this, shown] { return conversion_->epoch() == shown; });
}

void Application::cancel()
{
    if (insertion_->busy()) {
        return;
    }
    if (!recording_->busy()) {
        conversion_->stop(tr("Cancelled. Original retained."));
        return;
    }
    recording_->cancel();
}

void Application::sourceEdited()
{
    const PanelActivity now = activity();
    if (now.converting || now.speechBusy || now.delivering) {
        return;
    }
    panel_->setResult({}, false);
    panel_->setStatus(tr("Original changed. Convert again."));
    updateScope();
}

QString Application::convertSelection(const QString& text)
{
    // The refusals are Chinese in both interface languages, so not in the catalogue.
    if (busy()) {
        return QStringLiteral("Kivo 正在處理，請完成或取消後重試。");
    }
    if (text.isEmpty()) {
        return QStringLiteral("沒有收到選取文字。");
    }
    panel_->setSource(text);
    panel_->setResult({}, false);
    updateScope();
    panel_->setStatus(tr("Text loaded. Click Convert manually to process."));
    panel_->showEditor();
    showWindow();
    return {};
}

void Application::convertOtherSelection()
{
    if (const QString refusal = convertSelection(QGuiApplication::clipboard()->text(QClipboard::Selection));
        !refusal.isEmpty()) {
        panel_->setStatus(refusal);
    }
}

void Application::recordingCommand(RecordingCommand command)
{
    recording_->command(command);
}

void Application::localize()
{
    panel_->localize(appVersion_);
    recording_->updateSpeechInfo();
    updateControls();
    updateScope();
    updates_->localize();
    shortcut_->updateLabels();
    models_->localize();
    const PanelActivity now = activity();
    if (!now.converting && !now.speechBusy && !now.delivering) {
        showIdleStatus();
    }
}

void Application::showIdleStatus()
{
    // A first start without models says so at once, rather than at the first failure.
    if (const auto missing = ModelAdvice::missingAtStart()) {
        return panel_->setStatus(QString::fromStdString(missing->status), QString::fromStdString(missing->details));
    }
    panel_->setStatus(tr("On-device · Review before copying"));
}

} // namespace kivo
