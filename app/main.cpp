// Kivo: the floating panel that turns spoken Cantonese into text on this machine.
#include "app/controller/BundleLocation.h"
#include "app/controller/TrialApp.h"
#include "app/shell/StatusLabel.h"
#include "app/shell/lifecycle/RecordingCommand.h"
#include "app/shell/lifecycle/SingleInstance.h"
#include "app/shell/lifecycle/TerminationSignals.h"
#include "app/shell/lifecycle/TextService.h"
#include "app/shell/models/ModelCatalogue.h"
#include "app/shell/models/ModelsCommand.h"
#include "platform/accessibility/FocusTracker.h"
#include "platform/session/DisplaySession.h"

#include <QApplication>
#include <QClipboard>
#include <QDBusConnection>
#include <QIcon>
#include <QMimeData>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

int main(int argc, char** argv)
{
    // Answered without a display, so it also works in a package check or over ssh.
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::error_code error;
        const auto executable = std::filesystem::read_symlink("/proc/self/exe", error);
        std::printf("Kivo %s\n",
                    kivo::BundleLocation::shortVersion(kivo::BundleLocation::bundleDirectory(executable.parent_path()))
                        .c_str());
        return 0;
    }
    // Under Wayland the panel runs on XWayland: there it keeps its saved position, and the key
    // grabs of the shortcut and the paste keystroke reach X clients. An explicit choice stays.
    if (kivo::DisplaySession::current() == kivo::DisplaySession::Kind::wayland &&
        qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && !qEnvironmentVariableIsEmpty("DISPLAY")) {
        qputenv("QT_QPA_PLATFORM", "xcb");
    }
    // Models from the command line, without a display: list, install, import, verify, remove.
    if (argc >= 2 && std::strcmp(argv[1], "--models") == 0) {
        QCoreApplication core(argc, argv);
        return kivo::ModelsCommand::run(std::vector<std::string>(argv + 2, argv + argc), std::cout, std::cerr);
    }
    // An organisation's own model catalogue (a URL or a file; "default" goes back to the
    // built-in one) is kept as a setting.
    if (argc >= 3 && std::strcmp(argv[1], "--catalogue") == 0) {
        const std::string source = argv[2];
        kivo::ModelCatalogue::setConfiguredSource(source == "default" ? std::string() : source);
        std::cout << "Model catalogue: " << (source == "default" ? std::string("built in") : source) << "\n";
        return 0;
    }

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Kivo"));
    QApplication::setDesktopFileName(QStringLiteral("local.kivo.afm-trial"));
    // For a desktop shortcut: hand the selected text to the running Kivo and end, or start
    // Kivo with it when none runs.
    std::optional<QString> selection;
    if (argc == 2 && std::strcmp(argv[1], "--convert-selection") == 0) {
        if (kivo::SingleInstance::running(QDBusConnection::sessionBus())) {
            return kivo::SingleInstance::convertSelectionCommand();
        }
        selection = QGuiApplication::clipboard()->text(QClipboard::Selection);
    }

    // For a desktop shortcut: the running Kivo starts or stops recording; without one, this
    // process becomes Kivo and obeys the command once launched.
    std::optional<kivo::RecordingCommand> recordingCommand;
    if (argc == 2) {
        recordingCommand = kivo::RecordingCommands::fromArgument(argv[1]);
        if (recordingCommand) {
            if (const auto status = kivo::SingleInstance::recordingCommand(*recordingCommand)) {
                return *status;
            }
        }
    }

    // Only one instance: a later launch brings the running panel forward and ends.
    kivo::TextService textService;
    if (kivo::SingleInstance::claim(QDBusConnection::sessionBus(), textService)
        == kivo::SingleInstance::Claim::raisedExisting) {
        // Another Kivo took the name meanwhile: it gets the command or the selection.
        if (recordingCommand) {
            return kivo::SingleInstance::recordingCommand(*recordingCommand).value_or(1);
        }
        return selection ? kivo::SingleInstance::convertSelectionCommand() : 0;
    }

    // The panel's symbols prefer the desktop's icon theme; Adwaita fills in where it has none.
    QIcon::setFallbackThemeName(QStringLiteral("Adwaita"));

    // Insertion looks first where the focus events said the focus went.
    kivo::FocusTracker::start();
    kivo::TrialApp trial;
    textService.onRaise = [&trial] { trial.showWindow(); };
    textService.onConvertSelection = [&trial](const QString& text) {
        QMimeData data;
        data.setText(text);
        QString error;
        trial.convertSelection(&data, &error);
        return error;
    };
    textService.onRecordingCommand = [&trial](kivo::RecordingCommand command) { trial.recordingCommand(command); };
    QObject::connect(&app, &QCoreApplication::aboutToQuit, &trial, [&trial] { trial.applicationWillTerminate(); });
    // Logout, kill and Ctrl+C take the quit path; a lost display still stops the model run.
    const kivo::TerminationSignals termination([&trial] { trial.requestQuit(); },
                                               [&trial] { trial.applicationWillExitAbruptly(); });
    trial.applicationDidFinishLaunching();
    if (recordingCommand) {
        trial.recordingCommand(*recordingCommand);
    }
    if (selection) {
        if (const QString refusal = textService.onConvertSelection(*selection); !refusal.isEmpty()) {
            trial.panel().status->setText(refusal);
        }
    }
    return QApplication::exec();
}
