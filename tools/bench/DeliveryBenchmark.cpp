// Times whole verified insertions into kivo-target-app (and the GTK target when GTK is there)
// by each route: from the start of the insertion to its confirmed read-back ("text area" is
// whatever route the writer picks for a multi-line input). With "real", it
// times instead insertions from fresh processes (kivo-insert-once) into ordinary applications
// (mousepad, FeatherPad, Chromium, xterm) and checks that the user's clipboard came back.
// With "panel", it drives the real panel's Convert with automatic insertion (a stand-in runner
// answering after 0.2 s) into ordinary applications and reports press -> outcome, the part
// after the runner's reply, and the longest the panel's main thread went without answering.
// With "native", it times fresh-process insertions into GTK editors and Firefox running as
// native Wayland clients. Run it inside scripts/test-session.sh (with --wayland for "native"):
//   scripts/test-session.sh build/default/tools/bench/delivery_benchmark [runs] [real|panel|native]
#include "app/controller/Application.h"
#include "app/controller/Conversion.h"
#include "app/delivery/DeliveryOutcomeText.h"
#include "app/delivery/FocusedInputWriter.h"
#include "app/shell/FloatingPanel.h"
#include "app/shell/StatusLabel.h"
#include "app/shell/VoicePanel.h"
#include "platform/accessibility/AccessibilityInputAccess.h"
#include "platform/accessibility/FocusTracker.h"
#include "platform/accessibility/GuiEventLoop.h"
#include "platform/accessibilitybus/AccessibilityBus.h"
#include "tools/targetapp/EventLoopWait.h"
#include "tools/targetapp/RealApplication.h"
#include "tools/targetapp/TargetAppClient.h"

#include <atspi/atspi.h>

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <optional>
#include <vector>

namespace {

using namespace kivo;

// Hides the selection write so that the writer takes the whole-value route.
class WholeValueOnly : public FocusedInputAccess<AccessibleElement> {
public:
    bool isTrusted() override { return inner.isTrusted(); }
    std::optional<AccessibleElement> focusedTarget() override { return inner.focusedTarget(); }
    std::optional<InputSnapshot> snapshot(const AccessibleElement& target) override
    {
        auto snapshot = inner.snapshot(target);
        if (snapshot) {
            snapshot->canReplaceSelection = false;
        }
        return snapshot;
    }
    InputWriteStatus replaceSelection(const std::u16string& text, const AccessibleElement& target) override
    {
        return inner.replaceSelection(text, target);
    }
    InputWriteStatus replacePlainValue(const std::u16string& value, std::int64_t caret,
                                       const AccessibleElement& target) override
    {
        return inner.replacePlainValue(value, caret, target);
    }
    InputWriteStatus pasteOnce(const std::u16string& text, const AccessibleElement& target,
                               const InputSnapshot& original) override
    {
        return inner.pasteOnce(text, target, original);
    }
    void finishPaste(bool confirmed) override { inner.finishPaste(confirmed); }

    AccessibilityInputAccess inner;
};

// Leaves the writer nothing but the paste (where a keystroke can reach the target at all).
class PasteOnly : public WholeValueOnly {
public:
    std::optional<InputSnapshot> snapshot(const AccessibleElement& target) override
    {
        auto snapshot = inner.snapshot(target);
        if (snapshot) {
            snapshot->canReplaceSelection = false;
            snapshot->canReplacePlainValue = false;
            snapshot->prefersPaste = true;
        }
        return snapshot;
    }
    InputWriteStatus pasteOnce(const std::u16string& text, const AccessibleElement& target,
                               const InputSnapshot&) override
    {
        // The access compares against its own view of the input, not the one edited above.
        const auto original = inner.snapshot(target);
        return original ? inner.pasteOnce(text, target, *original) : InputWriteStatus::changed;
    }
};

template <class Access>
std::optional<double> timeOne(Access& access, const std::u16string& text)
{
    std::optional<InputDelivery> outcome;
    QElapsedTimer clock;
    clock.start();
    auto insertion = FocusedInputWriter::insert(text, access, [&](InputDelivery d) { outcome = d; });
    spinUntil([&] { return outcome.has_value(); }, std::chrono::seconds(10));
    const double ms = static_cast<double>(clock.nsecsElapsed()) / 1e6;
    if (outcome != InputDelivery::inserted) {
        return std::nullopt;
    }
    return ms;
}

void report(const char* toolkit, const char* route, std::vector<double> times, int failures)
{
    if (times.empty()) {
        std::printf("%-4s %-12s no confirmed insertion (%d failed)\n", toolkit, route, failures);
        return;
    }
    std::sort(times.begin(), times.end());
    const auto at = [&](double q) {
        return times[static_cast<std::size_t>(q * static_cast<double>(times.size() - 1))];
    };
    std::printf("%-4s %-12s runs %3zu  min %7.2f ms  median %7.2f ms  p90 %7.2f ms  max %7.2f ms  failed %d\n", toolkit,
                route, times.size(), times.front(), at(0.5), at(0.9), times.back(), failures);
}

template <class Access>
void measure(const char* toolkit, const char* route, TargetAppClient& target, const QString& field, int runs)
{
    if (!target.focus(field)) {
        std::printf("%-4s %-12s the field did not take the focus\n", toolkit, route);
        return;
    }
    spinUntil([&] { return AccessibilityInputAccess().focusedTarget().has_value(); }, std::chrono::seconds(10));
    std::vector<double> times;
    int failures = 0;
    for (int i = 0; i < runs; ++i) {
        target.set(field, QStringLiteral("今日天氣 fine"), 2, 4);
        Access access;
        if (const auto ms = timeOne(access, u"好熱🙂 hot")) {
            times.push_back(*ms);
        } else {
            ++failures;
        }
    }
    report(toolkit, route, std::move(times), failures);
}

void measureTarget(const char* toolkit, const QString& program, const QStringList& arguments, int runs)
{
    TargetAppClient target(program, arguments);
    if (!target.ready()) {
        std::printf("%-4s target did not start\n", toolkit);
        return;
    }
    measure<AccessibilityInputAccess>(toolkit, "selection", target, QStringLiteral("line"), runs);
    measure<WholeValueOnly>(toolkit, "whole value", target, QStringLiteral("line"), runs);
    measure<AccessibilityInputAccess>(toolkit, "text area", target, QStringLiteral("multi"), runs);
    measure<PasteOnly>(toolkit, "paste", target, QStringLiteral("multi"), runs);
}

const std::map<QString, QByteArray> userClipboard{
    {QStringLiteral("text/plain"), QByteArray("the user's text")},
    {QStringLiteral("text/html"), QByteArray("<b>the user's</b> text")},
};

void putUserClipboard()
{
    auto* data = new QMimeData;
    for (const auto& [format, bytes] : userClipboard) {
        data->setData(format, bytes);
    }
    QGuiApplication::clipboard()->setMimeData(data);
}

bool userClipboardBack()
{
    spinUntil([] { return false; }, std::chrono::milliseconds(50));
    const QMimeData* now = QGuiApplication::clipboard()->mimeData();
    return now && std::all_of(userClipboard.begin(), userClipboard.end(),
                              [&](const auto& entry) { return now->data(entry.first) == entry.second; });
}

// One row of the table: `runs` fresh-process insertions into whatever has the focus now.
void measureFresh(const char* application, const char* field, int runs)
{
    std::map<QString, int> outcomes;
    std::map<QString, int> routes;
    std::vector<double> times;
    int restored = 0;
    for (int i = 0; i < runs; ++i) {
        putUserClipboard();
        InsertOnce insertion(QStringLiteral(KIVO_INSERT_ONCE), QStringLiteral("你好😀"));
        const InsertOnceResult result = insertion.wait();
        ++outcomes[result.outcome];
        QString route = QStringLiteral("-");
        for (const QString& line : result.diagnostics) {
            if (line.startsWith(u"route=")) {
                route = line.section(u' ', 0, 0).mid(6);
            }
        }
        ++routes[route];
        if (result.outcome != u"hung") {
            times.push_back(result.ms);
        }
        restored += userClipboardBack() ? 1 : 0;
    }
    std::sort(times.begin(), times.end());
    const double median = times.empty() ? -1 : times[times.size() / 2];
    const double worst = times.empty() ? -1 : times.back();
    QStringList outcomeText;
    for (const auto& [outcome, count] : outcomes) {
        outcomeText << outcome + QLatin1Char(' ') + QString::number(count);
    }
    QStringList routeText;
    for (const auto& [route, count] : routes) {
        routeText << route;
    }
    std::printf("| %-10s | %-16s | %-6s | %-22s | %8.1f | %8.1f | %2d/%-2d |\n", application, field,
                qPrintable(routeText.join(u'/')), qPrintable(outcomeText.join(QStringLiteral(", "))), median, worst,
                restored, runs);
    std::fflush(stdout);
}

bool installed(const char* program)
{
    return !QStandardPaths::findExecutable(QString::fromLatin1(program)).isEmpty();
}

void measureRealApplications(int runs)
{
    using namespace std::chrono_literals;
    std::printf("| application | field | route | outcomes (%d runs) | median ms | max ms | clipboard back |\n", runs);
    std::printf("|---|---|---|---|---|---|---|\n");
    if (installed("mousepad")) {
        RealApplication mousepad(QStringLiteral("env"),
                                 {QStringLiteral("GSETTINGS_BACKEND=memory"), QStringLiteral("mousepad"),
                                  QStringLiteral("--disable-server")});
        if (mousepad.waitForElement(ATSPI_ROLE_TEXT, {}, 30s) && mousepad.focusWindow(10s) &&
            mousepad.focusElement(ATSPI_ROLE_TEXT, {})) {
            measureFresh("mousepad", "text view", runs);
            RealApplication::key(QStringLiteral("ctrl+f"));
            spinUntil([] { return false; }, std::chrono::milliseconds(500));
            measureFresh("mousepad", "search entry", runs);
        }
    }
    if (installed("featherpad")) {
        RealApplication featherpad(QStringLiteral("featherpad"), {});
        if (featherpad.waitForElement(ATSPI_ROLE_TEXT, {}, 30s) && featherpad.focusWindow(10s) &&
            featherpad.focusElement(ATSPI_ROLE_TEXT, {})) {
            measureFresh("FeatherPad", "text edit", runs);
        }
    }
    if (installed("chromium")) {
        QTemporaryDir profile;
        const QString page = writeFieldsPage(profile.path());
        RealApplication chromium(QStringLiteral("chromium"),
                                 {QStringLiteral("--force-renderer-accessibility"), QStringLiteral("--no-sandbox"),
                                  QStringLiteral("--user-data-dir=") + profile.filePath(QStringLiteral("profile")),
                                  QStringLiteral("--no-first-run"), QStringLiteral("--no-default-browser-check"),
                                  QStringLiteral("--disable-gpu"), QStringLiteral("--password-store=basic"), page},
                                 "chromium");
        if (chromium.waitForElement(ATSPI_ROLE_ENTRY, "line", 60s) && chromium.focusWindow(10s)) {
            for (const WebField& field : webFields()) {
                if (chromium.focusElement(field.role, field.name)) {
                    measureFresh("Chromium", field.title, runs);
                }
            }
        }
    }
    if (installed("xterm")) {
        RealApplication xterm(QStringLiteral("xterm"), {});
        if (xterm.focusWindow(20s)) {
            measureFresh("xterm", "terminal", runs);
        }
    }
}

// GTK editors and Firefox as native Wayland clients (run inside scripts/test-session.sh
// --wayland): the editors' documents and the browser's one-line input and text area.
void measureNativeWayland(int runs)
{
    using namespace std::chrono_literals;
    std::printf("| application | field | route | outcomes (%d runs) | median ms | max ms | clipboard back |\n", runs);
    std::printf("|---|---|---|---|---|---|---|\n");
    for (const char* program : {"gnome-text-editor", "gedit"}) {
        if (!installed(program)) {
            continue;
        }
        QTemporaryDir home;
        RealApplication editor(QStringLiteral("env"),
                               isolatedEnvironment(home.path()) << toolkitBackend() << QString::fromLatin1(program)
                                                                << QStringLiteral("--standalone"),
                               program);
        if (editor.waitForElement(ATSPI_ROLE_TEXT, {}, 40s) && editor.focusWindow(10s) &&
            editor.focusElement(ATSPI_ROLE_TEXT, {})) {
            measureFresh(program, "document", runs);
        }
    }
    if (installed("firefox-esr")) {
        QTemporaryDir home;
        RealApplication firefox(QStringLiteral("env"), firefoxCommand(home.path(), writeFieldsPage(home.path())),
                                "Firefox");
        if (firefox.waitForElement(ATSPI_ROLE_ENTRY, "line", 90s) && firefox.focusWindow(10s)) {
            for (const auto& [name, field] : {std::pair("line", "<input>"), std::pair("area", "<textarea>")}) {
                if (firefox.focusElement(ATSPI_ROLE_ENTRY, name)) {
                    measureFresh("Firefox ESR", field, runs);
                }
            }
        }
    }
}

// The panel of a real Application with a stand-in runner that answers after 0.2 s.
class PanelDriver {
public:
    PanelDriver()
    {
        resources_ = std::filesystem::path(folder_.path().toStdString()) / "Resources";
        std::filesystem::create_directories(resources_);
        for (const auto& entry : std::filesystem::directory_iterator(KIVO_RESOURCES_DIR)) {
            if (entry.path().extension() == ".txt" || entry.path().extension() == ".json") {
                std::filesystem::copy_file(entry.path(), resources_ / entry.path().filename());
            }
        }
        const auto runner = resources_ / "rewrite-runner";
        std::ofstream(runner) << "#!/bin/sh\ncat > /dev/null; sleep 0.2; printf '%s\\n' "
                                 "'{\"elapsedSeconds\":0.2,\"status\":\"generated\",\"text\":\""
                              << reply.toStdString() << "\"}'\n";
        std::filesystem::permissions(runner, std::filesystem::perms::owner_all);
        Application::Options options;
        options.resourcesDirectory = resources_;
        options.lockPath = (resources_.parent_path() / "run.lock").string();
        app_ = std::make_unique<Application>(options);
        app_->localize();
        PanelSettings settings = app_->panel().state().settings;
        settings.modeIndex = 0; // Cantonese: the colloquial reply needs no review
        settings.autoInsert = true;
        app_->panel().setSettings(settings);
        app_->panel().setSource(reply);
        app_->panel().window().show();
    }

    struct Run {
        QString outcome;
        QString route = QStringLiteral("-");
        double runnerMs = 0;  // press -> the runner has answered
        double outcomeMs = 0; // press -> the outcome is on the status line
        qint64 stallMs = 0;   // longest turn of the main thread's event loop meanwhile
    };

    Run convert()
    {
        Run run;
        QElapsedTimer turn;
        QTimer probe;
        probe.setTimerType(Qt::PreciseTimer);
        QObject::connect(&probe, &QTimer::timeout, [&] { run.stallMs = std::max(run.stallMs, turn.restart()); });
        turn.start();
        probe.start(5);
        QElapsedTimer clock;
        clock.start();
        emit app_->panel().convertClicked();
        bool runnerDone = false;
        while (clock.elapsed() < 20000) {
            if (!runnerDone && !app_->conversion().running()) {
                runnerDone = true;
                run.runnerMs = static_cast<double>(clock.nsecsElapsed()) / 1e6;
            }
            if (runnerDone && !app_->busy()) {
                break;
            }
            QCoreApplication::processEvents(QEventLoop::AllEvents, 2);
            QThread::usleep(500);
        }
        run.outcomeMs = static_cast<double>(clock.nsecsElapsed()) / 1e6;
        run.stallMs = std::max(run.stallMs, turn.elapsed());
        const QString status = app_->panel().state().status;
        run.outcome = QStringLiteral("none");
        for (int i = 0; i <= static_cast<int>(InputDelivery::notInserted); ++i) {
            const auto outcome = static_cast<InputDelivery>(i);
            if (status.endsWith(DeliveryOutcomeText::suffix(outcome))) {
                run.outcome = QString::fromLatin1(rawValue(outcome).data());
            }
        }
        if (run.outcome != u"inserted") {
            // The diagnostics say why; one line per run on the error stream.
            std::fprintf(stderr, "%s\n", qPrintable(statusLine().toolTip().replace(u'\n', QStringLiteral(" | "))));
        }
        for (const QString& line : statusLine().toolTip().split(u'\n')) {
            if (line.startsWith(u"route=")) {
                run.route = line.section(u' ', 0, 0).mid(6);
            }
        }
        return run;
    }

    static inline const QString reply = QStringLiteral("今日天氣好熱，我哋去飲茶啦 😀");

private:
    QTemporaryDir folder_;
    std::filesystem::path resources_;
    // The status line itself, for the diagnostics in its tooltip.
    StatusLabel& statusLine() { return *app_->panel().window().findChild<StatusLabel*>(QStringLiteral("status")); }

    std::unique_ptr<Application> app_;
};

double median(std::vector<double> values)
{
    if (values.empty()) {
        return -1;
    }
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

void measurePanelRow(PanelDriver& panel, const char* application, const char* field, int runs)
{
    std::map<QString, int> outcomes;
    std::map<QString, int> routes;
    std::vector<double> total;
    std::vector<double> after;
    qint64 stall = 0;
    int restored = 0;
    for (int i = 0; i < runs; ++i) {
        putUserClipboard();
        spinUntil([] { return false; }, std::chrono::milliseconds(50));
        const PanelDriver::Run run = panel.convert();
        ++outcomes[run.outcome];
        ++routes[run.route];
        total.push_back(run.outcomeMs);
        after.push_back(run.outcomeMs - run.runnerMs);
        stall = std::max(stall, run.stallMs);
        restored += userClipboardBack() ? 1 : 0;
    }
    QStringList outcomeText;
    for (const auto& [outcome, count] : outcomes) {
        outcomeText << outcome + QLatin1Char(' ') + QString::number(count);
    }
    QStringList routeText;
    for (const auto& [route, count] : routes) {
        routeText << route;
    }
    std::printf("| %-17s | %-15s | %-6s | %-22s | %7.0f | %7.0f | %7.0f | %7.0f | %5lld | %2d/%-2d |\n", application,
                field, qPrintable(routeText.join(u'/')), qPrintable(outcomeText.join(QStringLiteral(", "))),
                median(total), *std::max_element(total.begin(), total.end()), median(after),
                *std::max_element(after.begin(), after.end()), static_cast<long long>(stall), restored, runs);
    std::fflush(stdout);
}

void measurePanel(int runs)
{
    using namespace std::chrono_literals;
    FocusTracker::start();
    PanelDriver panel;
    std::printf("| application | field | route | outcomes (%d runs) | press->outcome median ms | max | after reply "
                "median | max "
                "| main thread stall max ms | clipboard back |\n",
                runs);
    std::printf("|---|---|---|---|---|---|---|---|---|---|\n");
    if (installed("mousepad")) {
        RealApplication mousepad(QStringLiteral("env"),
                                 {QStringLiteral("GSETTINGS_BACKEND=memory"), QStringLiteral("mousepad"),
                                  QStringLiteral("--disable-server")});
        if (mousepad.waitForElement(ATSPI_ROLE_TEXT, {}, 30s) && mousepad.focusWindow(10s) &&
            mousepad.focusElement(ATSPI_ROLE_TEXT, {})) {
            measurePanelRow(panel, "mousepad", "text view", runs);
        }
    }
    if (installed("gnome-text-editor")) {
        QTemporaryDir home;
        RealApplication editor(QStringLiteral("env"),
                               isolatedEnvironment(home.path())
                                   << QStringLiteral("gnome-text-editor") << QStringLiteral("--standalone"),
                               "gnome-text-editor");
        if (editor.waitForElement(ATSPI_ROLE_TEXT, {}, 40s) && editor.focusWindow(10s) &&
            editor.focusElement(ATSPI_ROLE_TEXT, {})) {
            measurePanelRow(panel, "gnome-text-editor", "document", runs);
        }
    }
    if (QFile::exists(QString::fromLatin1(officeProgram))) {
        QTemporaryDir home;
        RealApplication writer(QStringLiteral("env"), officeCommand(home.path()) << QStringLiteral("--writer"),
                               "soffice");
        if (writer.waitForElement(ATSPI_ROLE_PARAGRAPH, {}, 90s) && writer.focusWindow(10s)) {
            spinUntil([] { return false; }, std::chrono::milliseconds(2000));
            measurePanelRow(panel, "LibreOffice Writer", "paragraph", runs);
        }
    }
    if (installed("kwrite")) {
        QTemporaryDir home;
        const QString document = home.filePath(QStringLiteral("notes.txt"));
        QFile(document).open(QIODevice::WriteOnly);
        RealApplication kwrite(QStringLiteral("env"),
                               isolatedEnvironment(home.path()) << QStringLiteral("QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1")
                                                                << QStringLiteral("kwrite") << document,
                               "kwrite");
        if (kwrite.waitForElement(ATSPI_ROLE_TEXT, {}, 60s) && kwrite.focusWindow(10s)) {
            spinUntil([] { return false; }, std::chrono::milliseconds(1000));
            measurePanelRow(panel, "KWrite", "document", runs);
        }
    }
    if (installed("firefox-esr")) {
        QTemporaryDir home;
        RealApplication firefox(QStringLiteral("env"), firefoxCommand(home.path(), writeFieldsPage(home.path())),
                                "Firefox");
        if (firefox.waitForElement(ATSPI_ROLE_ENTRY, "line", 90s) && firefox.focusWindow(10s)) {
            for (const WebField& field : webFields()) {
                if (firefox.focusElement(field.role, field.name)) {
                    measurePanelRow(panel, "Firefox ESR", field.title, runs);
                }
            }
        }
    }
}

} // namespace

int main(int argc, char** argv)
{
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 30;
    AccessibilityBus::setEnabled(true);
    const auto application = kivo::GuiEventLoop::create<QApplication>(argc, argv);
    if (argc > 2 && std::string_view(argv[2]) == "real") {
        measureRealApplications(runs);
        return 0;
    }
    if (argc > 2 && std::string_view(argv[2]) == "native") {
        measureNativeWayland(runs);
        return 0;
    }
    if (argc > 2 && std::string_view(argv[2]) == "panel") {
        measurePanel(runs);
        return 0;
    }
    measureTarget("Qt", QStringLiteral(KIVO_TARGET_APP), {}, runs);
    if (QProcess::execute(QStringLiteral("/usr/bin/python3"),
                          {QStringLiteral("-c"), QStringLiteral("import gi; gi.require_version('Gtk', '3.0')")}) == 0) {
        measureTarget("GTK", QStringLiteral("/usr/bin/python3"), {QStringLiteral(KIVO_GTK_TARGET)}, runs);
    }
    return 0;
}
