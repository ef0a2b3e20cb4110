#pragma once

#include "app/conversion/ConversionPace.h"
#include "app/conversion/LiteralMasking.h"
#include "app/conversion/OutputMode.h"
#include "app/controller/TrialPreferences.h"
#include "app/shell/FloatingPanel.h"
#include "app/shell/lifecycle/RecordingCommand.h"
#include "app/speech/SpeechDraft.h"
#include "app/speech/SpeechRecorder.h"
#include "app/speech/SpeechReviewPolicy.h"
#include "app/speech/SpeechSession.h"
#include "app/shell/shortcut/GlobalShortcut.h"
#include "platform/text/TextRange.h"

#include <QObject>
#include <QString>
#include <QUuid>

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>

class QAction;
class QMenu;
class QMimeData;
class QPushButton;
class QTimer;

namespace kivo {

class ModelsLink;
class ModelsWindow;
class RunnerPreparation;
class RunnerProcess;
class UpdateController;

// The app's one controller: recording, conversion and insertion state, the panel's actions
// and the client side of a model run. Everything here runs on the Qt main thread.
class TrialApp : public QObject {
public:
    // A failed model run; the message is what the user is shown.
    class TrialError : public std::runtime_error {
    public:
        explicit TrialError(const std::string& message) : std::runtime_error(message) {}
        std::string localizedDescription() const { return what(); }
    };

    struct Options {
        // Where rewrite-runner and the instruction files are; empty: the bundle's Resources/.
        std::filesystem::path resourcesDirectory;
        std::chrono::milliseconds modelTimeLimit{30000};
        // Empty: the per-user path under /tmp.
        std::string lockPath;
        // Builds the recorder on first use; empty: the real recorder in `speech`.
        std::function<std::unique_ptr<SpeechSession>(SpeechSession::Callbacks)> makeRecorder;
        SpeechRecorder::Environment speech;
        std::function<std::optional<SpeechReviewPolicy::Reason>(const std::string&)> reviewTranscript;
        // Receives every result that may be inserted instead of the real insertion (tests).
        std::function<void(const std::string&)> deliver;
        // Global keys; empty: the X11 backend.
        std::function<std::unique_ptr<ShortcutBackend>()> makeShortcutBackend;
        // The accessibility trust check and its prompt; empty: the accessibility bus.
        std::function<bool()> isTrusted;
        std::function<bool()> requestTrust;
        std::chrono::milliseconds permissionPollInterval{2000};
        // Ends the application; empty: QCoreApplication::quit.
        std::function<void()> quit;
    };

    TrialApp();
    explicit TrialApp(Options options);
    ~TrialApp() override;

    FloatingPanel& panel() { return *panel_; }
    QString tr(const char* chineseText, const char* englishText) const;
    bool chinese() const { return panel_->chinese(); }

    // Launch and termination.
    enum class TerminateReply { now, later };
    void applicationDidFinishLaunching();
    void buildMainMenu();
    QMenu* mainMenu() const { return mainMenu_.get(); }
    // Quitting while a recording is busy cancels it first and quits once it has ended.
    TerminateReply applicationShouldTerminate();
    void requestQuit();
    void quit();
    void applicationWillTerminate();
    // The process is ending without the quit path (from exit()): only stop the model run.
    void applicationWillExitAbruptly();
    void showWindow();

    // Updates and restart.
    bool canUseUpdater() const;
    bool updaterConfigured() const;
    void startUpdateService();
    void updateUpdateControls();
    void localizeUpdateControls();
    void checkForUpdates();
    void continueUpdateInstallation();
    void restartApp();
    bool restartInProgress() const { return restartInProgress_; }
    UpdateController* updateController() const { return updateController_.get(); }

    // Preferences record.
    void restorePreferences();
    void savePreferences();
    TrialPreferences& preferences() { return *preferences_; }
    void closePanel();

    // Session controller.
    bool busy() const;
    bool idle() const { return !busy(); }
    void recordPressed();
    void recordFromShortcut();
    // A command from a desktop shortcut over the session bus.
    void recordingCommand(RecordingCommand command);
    void completeRecording(const std::optional<std::string>& text);
    void updateRecordingStatus();
    void updateScope();
    void updateControls();
    void invalidateResult();
    void textDidChange();
    void textViewDidChangeSelection();
    void receiveText(const QString& text);
    // Text-service handler: on failure `error` receives the message.
    void convertSelection(const QMimeData* pasteboard, QString* error);
    void restoreSpeechOriginal();
    void copyBefore();
    void copyAfter();
    void modeChanged();
    void speechEngineChanged();
    void languageChanged();
    void localize();
    void updateSpeechInfo();
    void showSpeechDetails();

    // Model run client.
    void runModel();
    void stopModel(const QString& message);
    // Ends the run without touching the interface: a new epoch, no timer, the runner killed, the lock freed.
    void endModelRun();
    void cancelRun();
    void unlock();
    void deliverProcessedText(const std::string& text);
    // Keeps the current mode's constant instructions evaluated ahead of the first conversion:
    // a background runner on idle processor time, stopped when a conversion starts, the mode
    // changes again or the app ends. Nothing happens without a language model.
    void prepareModel();
    void stopModelPreparation();
    RunnerPreparation* modelPreparation() const { return preparation_.get(); }

    // Recording shortcut.
    GlobalShortcut& globalShortcut();
    void startShortcutMonitoring();
    void stopShortcutMonitoring();
    void refreshShortcut();
    PanelShortcut selectedShortcut() const;
    void updateShortcutLabels();
    void shortcutChanged();
    void autoInsertChanged();
    void requestShortcutPermission();
    void applicationDidBecomeActive();
    GlobalShortcut::State shortcutState() const { return shortcutState_; }

    // Models window: opened from the settings and from a missing-model status.
    void showModels();
    ModelsWindow* modelsWindow() const { return modelsWindow_.get(); }
    QPushButton* modelsButton() const { return modelsButton_; }
    bool statusOffersModels() const;
    // The status between tasks: what is missing, or that all runs on this machine.
    void showIdleStatus();

    // State, read by the shell and by tests.
    bool hasProcess() const { return process_ != nullptr; }
    bool hasTimer() const { return timer_ != nullptr; }
    int lockFD() const { return lockFD_; }
    QUuid epoch() const { return epoch_; }
    bool speechBusy() const { return speechBusy_; }
    SpeechSession::Status speechStatus() const { return speechStatus_; }
    const std::optional<SpeechDiagnostics>& speechDiagnostics() const { return speechDiagnostics_; }
    const std::optional<std::string>& originalSpeechText() const { return originalSpeechText_; }
    const std::filesystem::path& resourcesDirectory() const { return resourcesDirectory_; }
    const std::string& lockPath() const { return lockPath_; }
    QString appVersion() const { return appVersion_; }

private:
    struct RunContext {
        QUuid epoch;
        OutputMode mode;
        std::string source;
        std::vector<LiteralMasking::Span> spans;
    };
    // A text too long to convert within the limit: one run per piece, joined before review.
    struct PieceRun {
        std::string source;
        std::vector<std::string> pieces;
        std::size_t next = 0;
        std::string converted;
    };
    std::optional<PieceRun> pieceRun_;
    ConversionPace pace_;

    void connectActions();
    SpeechSession& recorder();
    void onRecorderStatus(SpeechSession::Status status);
    void setBeforeText(const QString& text);
    TextRange beforeSelection() const;
    void selectBefore(TextRange range);
    OutputMode selectedMode() const;
    void startFailure(const QString& message);
    void completeRun(const RunContext& run, const std::string& output, const std::string& error,
                     bool exitedNormally, int exitStatus);
    void showResult(const RunContext& run, const std::string& output, const std::string& error,
                    bool exitedNormally, int exitStatus);
    void setStatus(const QString& text);
    void setPanelTakesFocus(bool takesFocus);
    void cancelDelivery();
    void connectModels();
    void localizeModels();

    // Seams filled in by later subsystems.

    Options options_;
    std::filesystem::path resourcesDirectory_;
    std::string lockPath_;
    QString appVersion_;
    std::unique_ptr<FloatingPanel> panel_;
    std::unique_ptr<TrialPreferences> preferences_ = std::make_unique<TrialPreferences>();
    std::unique_ptr<UpdateController> updateController_;
    std::unique_ptr<QMenu> mainMenu_;
    QAction* checkUpdatesMenuItem_ = nullptr;
    bool quitAfterRecording_ = false;

    // Session state.
    bool restartInProgress_ = false;
    bool speechBusy_ = false;
    SpeechSession::Status speechStatus_ = SpeechSession::Status::idle;
    std::optional<std::string> speechFailure_;
    std::optional<SpeechDraft> speechDraft_;
    std::optional<SpeechDiagnostics> speechDiagnostics_;
    std::optional<std::string> originalSpeechText_;
    std::string lastPartial_;
    std::unique_ptr<QTimer> recordingTimer_;
    std::optional<std::chrono::steady_clock::time_point> recordingStartedAt_;
    std::unique_ptr<SpeechSession> recorder_;
    // The running insertion into another application's input, if any.
    struct Delivery;
    std::shared_ptr<Delivery> deliveryTask_;

    // Recording shortcut.
    std::unique_ptr<GlobalShortcut> globalShortcut_;
    bool shortcutMonitoringStarted_ = false;
    std::unique_ptr<QTimer> shortcutPermissionTimer_;
    GlobalShortcut::State shortcutState_ = GlobalShortcut::State::disabled();

    // Model run.
    std::unique_ptr<RunnerProcess> process_;
    std::unique_ptr<RunnerPreparation> preparation_;
    // Mode changes prepare only once launching has restored the preferences.
    bool launched_ = false;
    std::unique_ptr<QTimer> timer_;
    QUuid epoch_ = QUuid::createUuid();
    int lockFD_ = -1;

    // Models window; the next status set offers it when the flag is up.
    std::unique_ptr<ModelsWindow> modelsWindow_;
    ModelsLink* modelsLink_ = nullptr;
    QPushButton* modelsButton_ = nullptr;
    std::optional<QString> offerModelsWithStatus_; // the details of a missing-model status
};

} // namespace kivo
