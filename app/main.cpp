// Kivo: the floating panel that turns spoken Cantonese into text on this machine.
#include "app/controller/TrialApp.h"
#include "app/shell/StatusLabel.h"
#include "app/shell/lifecycle/SingleInstance.h"
#include "app/shell/lifecycle/TerminationSignals.h"
#include "app/shell/lifecycle/TextService.h"

#include <QApplication>
#include <QClipboard>
#include <QDBusConnection>
#include <QIcon>
#include <QMimeData>

#include <cstring>
#include <optional>

int main(int argc, char** argv)
{
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

    // Only one instance: a later launch brings the running panel forward and ends.
    kivo::TextService textService;
    if (kivo::SingleInstance::claim(QDBusConnection::sessionBus(), textService)
        == kivo::SingleInstance::Claim::raisedExisting) {
        return selection ? kivo::SingleInstance::convertSelectionCommand() : 0;
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
    // Logout, kill and Ctrl+C take the quit path; a lost display still stops the model run.
    const kivo::TerminationSignals termination([&trial] { trial.requestQuit(); },
                                               [&trial] { trial.applicationWillExitAbruptly(); });
    trial.applicationDidFinishLaunching();
    if (selection) {
        if (const QString refusal = textService.onConvertSelection(*selection); !refusal.isEmpty()) {
            trial.panel().status->setText(refusal);
        }
    }
    return QApplication::exec();
}
