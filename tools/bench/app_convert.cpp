// app_convert: time from pressing Convert to the Result shown, with the real rewrite-runner and
// a tiny generated model (so it measures the app's side: lock, process start, pipes, model load
// and reply handling, not a real model's generation).
//   app_convert [runs]
#include "app/controller/Application.h"
#include "app/controller/Conversion.h"
#include "app/shell/FloatingPanel.h"
#include "platform/accessibility/GuiEventLoop.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

int main(int argc, char** argv)
{
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;
    const auto application = kivo::GuiEventLoop::create<QApplication>(argc, argv);

    std::string pattern = (std::filesystem::temp_directory_path() / "kivo-convert-bench-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) {
        return 1;
    }
    const std::filesystem::path root = pattern;
    const auto resources = root / "Resources";
    std::filesystem::create_directories(resources);
    for (const auto& entry : std::filesystem::directory_iterator(KIVO_RESOURCES_DIR)) {
        if (entry.path().extension() == ".txt" || entry.path().extension() == ".json") {
            std::filesystem::copy_file(entry.path(), resources / entry.path().filename());
        }
    }
    std::filesystem::create_symlink(KIVO_REWRITE_RUNNER, resources / "rewrite-runner");
    const auto models = root / "data" / "kivo" / "models";
    std::filesystem::create_directories(models);
    const std::string generate = std::string(KIVO_TINY_GGUF) + " '" + (models / "language-model.gguf").string() + "'";
    if (std::system(generate.c_str()) != 0) {
        return 1;
    }
    ::setenv("XDG_DATA_HOME", (root / "data").c_str(), 1);

    kivo::Application::Options options;
    options.resourcesDirectory = resources;
    options.lockPath = (root / "run.lock").string();
    kivo::Application kivo(options);
    kivo.localize();
    auto& panel = kivo.panel();
    kivo::PanelSettings settings = panel.state().settings;
    settings.chinese = false;
    settings.modeIndex = 3;
    panel.setSettings(settings);
    panel.setSource(QStringLiteral("今日天氣好好，我哋食完飯之後再傾。"));

    std::vector<double> millis;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer clock;
        clock.start();
        emit panel.convertClicked();
        while (kivo.conversion().running()) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
            QThread::usleep(200);
        }
        millis.push_back(static_cast<double>(clock.nsecsElapsed()) / 1e6);
        if (panel.state().result.isEmpty()) {
            std::fprintf(stderr, "no result: %s\n", panel.state().status.toStdString().c_str());
        }
    }
    std::sort(millis.begin(), millis.end());
    std::printf("Convert to Result (tiny model): median %.1f ms (min %.1f, max %.1f, %d runs)\n",
                millis[millis.size() / 2], millis.front(), millis.back(), runs);
    std::filesystem::remove_all(root);
    return 0;
}
