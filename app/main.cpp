// Kivo: the floating panel that turns spoken Cantonese into text on this machine.
#include "app/controller/TrialApp.h"

#include <QApplication>
#include <QIcon>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Kivo"));
    QApplication::setDesktopFileName(QStringLiteral("local.kivo.afm-trial"));
    // The panel's symbols prefer the desktop's icon theme; Adwaita fills in where it has none.
    QIcon::setFallbackThemeName(QStringLiteral("Adwaita"));

    kivo::TrialApp trial;
    QObject::connect(&app, &QCoreApplication::aboutToQuit, &trial, [&trial] { trial.applicationWillTerminate(); });
    trial.applicationDidFinishLaunching();
    return QApplication::exec();
}
