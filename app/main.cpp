// Kivo: the floating panel that turns spoken Cantonese into text on this machine.
#include "app/controller/Application.h"
#include "app/controller/BundleLocation.h"
#include "app/lifecycle/CommandLine.h"
#include "app/lifecycle/RecordingCommand.h"
#include "app/lifecycle/SingleInstance.h"
#include "app/lifecycle/TerminationSignals.h"
#include "app/lifecycle/TextService.h"
#include "app/models/ModelCatalogue.h"
#include "app/models/ModelError.h"
#include "app/models/ModelsCommand.h"
#include "app/shell/FloatingPanel.h"
#include "platform/accessibility/FocusTracker.h"
#include "platform/accessibility/GuiEventLoop.h"
#include "platform/session/DisplaySession.h"

#include <QApplication>
#include <QClipboard>
#include <QDBusConnection>
#include <QIcon>

#include <cstdio>
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

namespace {

// Checked when it is set, so that a wrong path or URL is noticed now rather than in the Models window.
int setCatalogue(const std::string& source)
{
    if (!source.empty()) {
        try {
            kivo::ModelCatalogue::load(source);
        } catch (const kivo::ModelError& failure) {
            std::cerr << failure.what() << "\n";
            return 1;
        }
    }
    kivo::ModelCatalogue::setConfiguredSource(source);
    std::cout << "Model catalogue: " << (source.empty() ? std::string("built in") : source) << "\n";
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i) {
        arguments << QString::fromLocal8Bit(argv[i]);
    }
    const kivo::CommandLine commandLine = kivo::CommandLine::parse(arguments);
    using Action = kivo::CommandLine::Action;
    // Answered without a display, so they also work in a package check or over ssh.
    switch (commandLine.action()) {
    case Action::printHelp: std::cout << kivo::CommandLine::helpText().toStdString(); return 0;
    case Action::printVersion: {
        std::error_code error;
        const auto executable = std::filesystem::read_symlink("/proc/self/exe", error);
        std::printf("Kivo %s\n",
                    kivo::BundleLocation::shortVersion(kivo::BundleLocation::bundleDirectory(executable.parent_path()))
                        .c_str());
        return 0;
    }
    case Action::usageError:
        std::cerr << "Kivo: " << commandLine.error().toStdString() << "\n"
                  << kivo::CommandLine::usageLine().toStdString() << "Kivo --help explains the options.\n";
        return 2;
    case Action::models: {
        // Models from the command line, without a display: list, install, import, verify, remove.
        QCoreApplication core(argc, argv);
        return kivo::ModelsCommand::run(commandLine.modelsArguments(), std::cout, std::cerr);
    }
    case Action::setCatalogue: {
        // An organisation's own model catalogue is kept as a setting.
        QCoreApplication core(argc, argv);
        return setCatalogue(commandLine.catalogue());
    }
    case Action::startPanel:
    case Action::convertSelection:
    case Action::recording: break;
    }
    // Under Wayland the panel runs on XWayland: there it keeps its saved position, and the key
    // grabs of the shortcut and the paste keystroke reach X clients. An explicit choice stays.
    if (kivo::DisplaySession::current() == kivo::DisplaySession::Kind::wayland &&
        qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && !qEnvironmentVariableIsEmpty("DISPLAY")) {
        qputenv("QT_QPA_PLATFORM", "xcb");
    }

    const auto qtApplication = kivo::GuiEventLoop::create<QApplication>(argc, argv);
    QApplication& app = *qtApplication;
    QApplication::setApplicationName(QStringLiteral("Kivo"));
    QApplication::setDesktopFileName(QStringLiteral("local.kivo.afm-trial"));
    // For a desktop shortcut: hand the selected text to the running Kivo and end, or start
    // Kivo with it when none runs.
    std::optional<QString> selection;
    if (commandLine.action() == Action::convertSelection) {
        if (kivo::SingleInstance::running(QDBusConnection::sessionBus())) {
            return kivo::SingleInstance::convertSelectionCommand();
        }
        selection = QGuiApplication::clipboard()->text(QClipboard::Selection);
    }

    // For a desktop shortcut: the running Kivo starts or stops recording; without one, this
    // process becomes Kivo and obeys the command once launched.
    const std::optional<kivo::RecordingCommand> recordingCommand = commandLine.recordingCommand();
    if (recordingCommand) {
        if (const auto status = kivo::SingleInstance::recordingCommand(*recordingCommand)) {
            return *status;
        }
    }

    // Only one instance: a later launch brings the running panel forward and ends.
    kivo::TextService textService;
    if (kivo::SingleInstance::claim(QDBusConnection::sessionBus(), textService) ==
        kivo::SingleInstance::Claim::raisedExisting) {
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
    kivo::Application application;
    textService.onRaise = [&application] { application.showWindow(); };
    textService.onConvertSelection = [&application](const QString& text) { return application.convertSelection(text); };
    textService.onRecordingCommand = [&application](kivo::RecordingCommand command) {
        application.recordingCommand(command);
    };
    QObject::connect(&app, &QCoreApplication::aboutToQuit, &application,
                     [&application] { application.willTerminate(); });
    // Logout, kill and Ctrl+C take the quit path; a lost display still stops the model run.
    const kivo::TerminationSignals termination([&application] { application.requestQuit(); },
                                               [&application] { application.exitAbruptly(); });
    application.launch();
    if (recordingCommand) {
        application.recordingCommand(*recordingCommand);
    }
    if (selection) {
        if (const QString refusal = textService.onConvertSelection(*selection); !refusal.isEmpty()) {
            application.panel().setStatus(refusal);
        }
    }
    return QApplication::exec();
}
