#pragma once

#include "app/controller/SessionHost.h"
#include "app/controller/SessionOptions.h"
#include "app/lifecycle/RecordingCommand.h"
#include "app/shell/PanelState.h"

#include <QCoreApplication>
#include <QObject>
#include <QString>

#include <filesystem>
#include <memory>
#include <string>

namespace kivo {

class Conversion;
class FloatingPanel;
class Insertion;
class MainMenu;
class ModelsAccess;
class PanelPreferences;
class Recording;
class RecordingShortcut;
class UpdatesAndRestart;

// The app: the panel and the flows that work on it (recording, conversion, insertion), with
// the shortcut, updates and restart, the Models window, the menu and the preferences. The
// flows meet only here, through the narrow host interface. Runs on the Qt main thread.
class Application : public QObject, private SessionHost {
    Q_DECLARE_TR_FUNCTIONS(Application)

public:
    using Options = SessionOptions;

    Application();
    explicit Application(Options options);
    ~Application() override;

    FloatingPanel& panel() override { return *panel_; }
    // Restores the preferences, starts the services and shows the panel.
    void launch();
    // Quitting while a recording is busy cancels it first and quits once it has ended.
    void requestQuit() override;
    void willTerminate();
    // The process is ending without the quit path (from exit()): only stop the model run.
    void exitAbruptly();
    void showWindow();
    // Text from another application's selection; a refusal is returned for the user.
    QString convertSelection(const QString& text);
    // A command from a desktop shortcut over the session bus.
    void recordingCommand(RecordingCommand command);
    void restorePreferences();
    void localize();
    bool busy() const { return !activity().idle(); }

    Recording& recording() const { return *recording_; }
    Conversion& conversion() const { return *conversion_; }
    Insertion& insertion() const { return *insertion_; }
    RecordingShortcut& shortcut() const { return *shortcut_; }
    UpdatesAndRestart& updates() const { return *updates_; }
    ModelsAccess& models() const { return *models_; }
    MainMenu& menu() const { return *menu_; }
    PanelPreferences& preferences() const { return *preferences_; }

private:
    PanelActivity activity() const override;
    void updateControls() override;
    void updateScope() override;
    void savePreferences() override;
    void convert() override;
    void transcriptBegins() override;
    void transcriptSettled(const std::string& text) override;
    void insert(const std::string& text) override;
    void quit() override;

    void connectPanel();
    void settingChanged(PanelSetting setting);
    void cancel();
    void sourceEdited();
    void convertOtherSelection();
    // The status between tasks: what is missing, or that all runs on this machine.
    void showIdleStatus();

    Options options_;
    QString appVersion_;
    std::unique_ptr<FloatingPanel> panel_;
    std::unique_ptr<PanelPreferences> preferences_;
    std::unique_ptr<UpdatesAndRestart> updates_;
    std::unique_ptr<MainMenu> menu_;
    std::unique_ptr<Recording> recording_;
    std::unique_ptr<Insertion> insertion_;
    std::unique_ptr<RecordingShortcut> shortcut_;
    std::unique_ptr<Conversion> conversion_;
    std::unique_ptr<ModelsAccess> models_;
    // Mode changes prepare only once launching has restored the preferences.
    bool launched_ = false;
};

} // namespace kivo
