// A stand-in for Kivo's main for the termination tests: the controller with the same termination
// wiring, one model run started at once. Arguments: resources folder, lock path.
#include "app/controller/TrialApp.h"
#include "app/shell/lifecycle/TerminationSignals.h"

#include <QApplication>
#include <QPlainTextEdit>

#include <cstdio>

int main(int argc, char** argv)
{
    if (argc != 3) {
        return 2;
    }
    QApplication app(argc, argv);
    kivo::TrialApp::Options options;
    options.resourcesDirectory = argv[1];
    options.lockPath = argv[2];
    options.modelTimeLimit = std::chrono::minutes(5);
    kivo::TrialApp trial(options);
    QObject::connect(&app, &QCoreApplication::aboutToQuit, &trial, [&trial] {
        trial.applicationWillTerminate();
        std::printf("quit path\n");
        std::fflush(stdout);
    });
    const kivo::TerminationSignals termination([&trial] { trial.requestQuit(); },
                                               [&trial] { trial.applicationWillExitAbruptly(); });
    trial.panel().before->setPlainText(QStringLiteral("今日好熱"));
    trial.runModel();
    std::printf(trial.hasProcess() ? "running\n" : "not running\n");
    std::fflush(stdout);
    return QApplication::exec();
}
