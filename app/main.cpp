// Kivo: the floating panel that turns spoken Cantonese into text on this machine.
#include "app/controller/TrialApp.h"
#include "app/shell/lifecycle/SingleInstance.h"
#include "app/shell/lifecycle/TextService.h"

#include <QApplication>
#include <QDBusConnection>
#include <QIcon>
#include <QMimeData>

#include <cstring>

int main(int argc, char** argv)
{
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
