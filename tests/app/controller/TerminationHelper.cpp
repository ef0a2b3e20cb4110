// A stand-in for Kivo's main for the termination tests: the application with the same
// termination wiring, one model run started at once. Arguments: resources folder, lock path.
#include "app/controller/Application.h"
#include "app/controller/Conversion.h"
#include "app/lifecycle/TerminationSignals.h"
#include "app/shell/FloatingPanel.h"

#include <QApplication>

#include <cstdio>

int main(int argc, char** argv)
{
    if (argc != 3) {
        return 2;
    }
    QApplication app(argc, argv);
    kivo::Application::Options options;
    options.resourcesDirectory = argv[1];
    options.lockPath = argv[2];
    options.modelTimeLimit = std::chrono::minutes(5);
    kivo::Application kivo(options);
    QObject::connect(&app, &QCoreApplication::aboutToQuit, &kivo, [&kivo] {
        kivo.willTerminate();
        std::printf("quit path\n");
        std::fflush(stdout);
    });
    const kivo::TerminationSignals termination([&kivo] { kivo.requestQuit(); }, [&kivo] { kivo.exitAbruptly(); });
    kivo.panel().setSource(QStringLiteral("今日好熱"));
    kivo.conversion().run();
    std::printf(kivo.conversion().running() ? "running\n" : "not running\n");
    std::fflush(stdout);
    return QApplication::exec();
}
