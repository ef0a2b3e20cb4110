// Kivo: the floating panel that turns spoken Cantonese into text on this machine.
#include "app/controller/TrialApp.h"
#include "app/shell/lifecycle/SingleInstance.h"
#include "app/shell/lifecycle/TextService.h"
#include "app/shell/models/ModelCatalogue.h"
#include "app/shell/models/ModelsCommand.h"

#include <QApplication>
#include <QDBusConnection>
#include <QIcon>
#include <QMimeData>

#include <cstring>
#include <iostream>
#include <string>
#include <vector>

int main(int argc, char** argv)
{
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
    // For a desktop shortcut: hand the selected text to the running Kivo and end.
    if (argc == 2 && std::strcmp(argv[1], "--convert-selection") == 0) {
        return kivo::SingleInstance::convertSelectionCommand();
    }

    // Only one instance: a later launch brings the running panel forward and ends.
    kivo::TextService textService;
    if (kivo::SingleInstance::claim(QDBusConnection::sessionBus(), textService)
        == kivo::SingleInstance::Claim::raisedExisting) {
        return 0;
    }

    // The panel's symbols prefer the desktop's icon theme; Adwaita fills in where it has none.
    QIcon::setFallbackThemeName(QStringLiteral("Adwaita"));

    kivo::TrialApp trial;
    textService.onRaise = [&trial] { trial.showWindow(); };
    textService.onConvertSelection = [&trial](const QString& text) {
        QMimeData data;
        data.setText(text);
        QString error;
        trial.convertSelection(&data, &error);
        return error;
    };
    QObject::connect(&app, &QCoreApplication::aboutToQuit, &trial, [&trial] { trial.applicationWillTerminate(); });
    trial.applicationDidFinishLaunching();
    return QApplication::exec();
}
