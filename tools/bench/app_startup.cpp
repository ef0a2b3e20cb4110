// app_startup: time from process start to the panel's first paint, and the idle memory of the
// app afterwards. Each sample is a fresh process (this program started again with --child),
// so dynamic loading and Qt's start-up are counted.
//   app_startup [samples]        run under a display (or QT_QPA_PLATFORM=offscreen)
#include "app/controller/Application.h"
#include "app/shell/FloatingPanel.h"
#include "app/shell/VoicePanel.h"
#include "platform/accessibility/GuiEventLoop.h"

#include <QApplication>
#include <QEvent>
#include <QTimer>

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

extern char** environ;

namespace {

long long nowMicroseconds()
{
    return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

long residentKilobytes()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0) {
            return std::stol(line.substr(6));
        }
    }
    return -1;
}

// Notes the first paint of the panel window.
class FirstPaint : public QObject {
public:
    long long at = 0;
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint && at == 0) {
            at = nowMicroseconds();
        }
        return QObject::eventFilter(watched, event);
    }
};

int child(int argc, char** argv, long long startedAt)
{
    const auto application = kivo::GuiEventLoop::create<QApplication>(argc, argv);
    QApplication& app = *application;
    kivo::Application kivo;
    FirstPaint paint;
    kivo.panel().window().installEventFilter(&paint);
    kivo.launch();
    QTimer::singleShot(1500, &app, [&] {
        std::printf("%lld %ld\n", paint.at - startedAt, residentKilobytes());
        std::fflush(stdout);
        QCoreApplication::quit();
    });
    return QApplication::exec();
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 3 && std::string(argv[1]) == "--child") {
        return child(1, argv, std::stoll(argv[2]));
    }
    const int samples = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    std::vector<double> startMs;
    std::vector<long> memoryKb;
    for (int i = 0; i < samples; ++i) {
        int pipeEnds[2];
        if (::pipe(pipeEnds) != 0) {
            return 1;
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], STDOUT_FILENO);
        posix_spawn_file_actions_addclose(&actions, pipeEnds[0]);
        const std::string stamp = std::to_string(nowMicroseconds());
        char flag[] = "--child";
        char* arguments[] = {argv[0], flag, const_cast<char*>(stamp.c_str()), nullptr};
        pid_t pid = -1;
        const int failed = ::posix_spawn(&pid, "/proc/self/exe", &actions, nullptr, arguments, environ);
        posix_spawn_file_actions_destroy(&actions);
        ::close(pipeEnds[1]);
        if (failed) {
            return 1;
        }
        std::string output;
        char buffer[256];
        ssize_t count;
        while ((count = ::read(pipeEnds[0], buffer, sizeof buffer)) > 0) {
            output.append(buffer, static_cast<std::size_t>(count));
        }
        ::close(pipeEnds[0]);
        int status = 0;
        ::waitpid(pid, &status, 0);
        long long micros = 0;
        long kb = 0;
        if (std::sscanf(output.c_str(), "%lld %ld", &micros, &kb) != 2) {
            std::fprintf(stderr, "sample %d failed: %s\n", i, output.c_str());
            return 1;
        }
        startMs.push_back(static_cast<double>(micros) / 1000.0);
        memoryKb.push_back(kb);
    }
    std::sort(startMs.begin(), startMs.end());
    std::sort(memoryKb.begin(), memoryKb.end());
    std::printf("process start to panel painted: median %.1f ms (min %.1f, max %.1f, %d runs)\n",
                startMs[startMs.size() / 2], startMs.front(), startMs.back(), samples);
    std::printf("idle resident memory 1.5 s after launch: median %.1f MiB\n",
                static_cast<double>(memoryKb[memoryKb.size() / 2]) / 1024.0);
    return 0;
}
