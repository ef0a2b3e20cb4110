#include "tools/targetapp/RealApplication.h"

#include "platform/accessibility/AccessibilityThread.h"
#include "platform/accessibility/AccessibleElement.h"
#include "platform/session/DisplaySession.h"
#include "tools/targetapp/EventLoopWait.h"

#include <atspi/atspi.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QUrl>

#include <functional>
#include <vector>

namespace kivo {

namespace {

// The bus and the tools are asked again this often while waiting: often enough for a test,
// rarely enough not to load the applications under test.
constexpr std::chrono::milliseconds busPoll(20);

bool matchesApplication(AtspiAccessible* application, qint64 pid, const std::string& busName)
{
    const guint process = atspi_accessible_get_process_id(application, nullptr);
    if (process == static_cast<guint>(pid)) {
        return true;
    }
    // Asking our own tree for its name waits for our main thread, which may be waiting for us.
    if (process == static_cast<guint>(getpid())) {
        return false;
    }
    gchar* name = atspi_accessible_get_name(application, nullptr);
    const bool named = name && !busName.empty() && g_ascii_strcasecmp(name, busName.c_str()) == 0;
    g_free(name);
    return named;
}

// Runs on the accessibility thread: the element of the application with this role and name.
AccessibleElement findElement(qint64 pid, const std::string& busName, int role, const std::string& name)
{
    const AccessibleElement desktop(atspi_get_desktop(0));
    std::vector<AccessibleElement> pending;
    for (int a = 0; a < atspi_accessible_get_child_count(desktop.get(), nullptr); ++a) {
        AccessibleElement application(atspi_accessible_get_child_at_index(desktop.get(), a, nullptr));
        if (application && matchesApplication(application.get(), pid, busName)) {
            pending.push_back(std::move(application));
        }
    }
    constexpr int visitLimit = 20000;
    for (int visited = 0; !pending.empty() && visited < visitLimit; ++visited) {
        AccessibleElement element = std::move(pending.back());
        pending.pop_back();
        if (atspi_accessible_get_role(element.get(), nullptr) == static_cast<AtspiRole>(role)) {
            gchar* elementName = atspi_accessible_get_name(element.get(), nullptr);
            const bool match = name.empty() || (elementName && name == elementName);
            g_free(elementName);
            if (match) {
                return element;
            }
        }
        const int children = atspi_accessible_get_child_count(element.get(), nullptr);
        for (int i = children - 1; i >= 0; --i) {
            if (AccessibleElement next{atspi_accessible_get_child_at_index(element.get(), i, nullptr)}) {
                pending.push_back(std::move(next));
            }
        }
    }
    return {};
}

bool hasState(const AccessibleElement& element, AtspiStateType state)
{
    AtspiStateSet* states = atspi_accessible_get_state_set(element.get());
    const bool has = states && atspi_state_set_contains(states, state);
    if (states) {
        g_object_unref(states);
    }
    return has;
}

bool hasFocus(const AccessibleElement& element)
{
    return hasState(element, ATSPI_STATE_FOCUSED);
}

// Runs on the accessibility thread: a window of the application is the active one.
bool hasActiveWindow(qint64 pid, const std::string& busName)
{
    const AccessibleElement desktop(atspi_get_desktop(0));
    for (int a = 0; a < atspi_accessible_get_child_count(desktop.get(), nullptr); ++a) {
        const AccessibleElement application(atspi_accessible_get_child_at_index(desktop.get(), a, nullptr));
        if (!application || !matchesApplication(application.get(), pid, busName)) {
            continue;
        }
        for (int w = 0; w < atspi_accessible_get_child_count(application.get(), nullptr); ++w) {
            const AccessibleElement window(atspi_accessible_get_child_at_index(application.get(), w, nullptr));
            if (window && hasState(window, ATSPI_STATE_ACTIVE)) {
                return true;
            }
        }
    }
    return false;
}

} // namespace

std::optional<QByteArray> runTool(const QString& program, const QStringList& arguments, std::chrono::milliseconds limit)
{
    QProcess tool;
    tool.start(program, arguments);
    if (!tool.waitForStarted(5000)) {
        return std::nullopt;
    }
    const bool done =
        spinUntil([&] { return tool.state() == QProcess::NotRunning || tool.waitForFinished(1); }, limit, busPoll);
    if (!done) {
        tool.kill();
        tool.waitForFinished(2000);
        return std::nullopt;
    }
    if (tool.exitStatus() != QProcess::NormalExit || tool.exitCode() != 0) {
        return std::nullopt;
    }
    return tool.readAllStandardOutput();
}

QStringList isolatedEnvironment(const QString& home)
{
    const QDir folder(home);
    return {QStringLiteral("HOME=") + home,
            QStringLiteral("XDG_CONFIG_HOME=") + folder.filePath(QStringLiteral("config")),
            QStringLiteral("XDG_DATA_HOME=") + folder.filePath(QStringLiteral("data")),
            QStringLiteral("XDG_CACHE_HOME=") + folder.filePath(QStringLiteral("cache")),
            QStringLiteral("GSETTINGS_BACKEND=memory")};
}

QStringList toolkitBackend()
{
    if (DisplaySession::current() != DisplaySession::Kind::wayland) {
        return {QStringLiteral("MOZ_ENABLE_WAYLAND=0")};
    }
    return {QStringLiteral("GDK_BACKEND=wayland"), QStringLiteral("MOZ_ENABLE_WAYLAND=1")};
}

QString writeFieldsPage(const QString& folder)
{
    const QString page = QDir(folder).filePath(QStringLiteral("fields.html"));
    QFile file(page);
    if (!file.open(QIODevice::WriteOnly)) {
        return {};
    }
    file.write(R"(<!doctype html><meta charset="utf-8"><title>fields</title>
<input aria-label="line" value="網頁">
<textarea aria-label="area">第一行</textarea>
<div contenteditable="true" aria-label="rich">可編輯</div>
<input type="password" aria-label="secret" value="pw">)");
    return QUrl::fromLocalFile(page).toString();
}

std::span<const WebField> webFields()
{
    static constexpr WebField fields[] = {{ATSPI_ROLE_ENTRY, "line", "<input>"},
                                          {ATSPI_ROLE_ENTRY, "area", "<textarea>"},
                                          {ATSPI_ROLE_SECTION, "rich", "contenteditable"},
                                          {ATSPI_ROLE_PASSWORD_TEXT, "secret", "password"}};
    return fields;
}

QStringList firefoxCommand(const QString& home, const QString& url)
{
    const QString profile = QDir(home).filePath(QStringLiteral("profile"));
    QDir().mkpath(profile);
    return isolatedEnvironment(home) << toolkitBackend() << QStringLiteral("GNOME_ACCESSIBILITY=1")
                                     << QStringLiteral("firefox-esr") << QStringLiteral("--no-remote")
                                     << QStringLiteral("--profile") << profile << url;
}

QStringList officeCommand(const QString& home)
{
    const QStringList office = isolatedEnvironment(home)
                               << QStringLiteral("SAL_USE_VCLPLUGIN=gtk3") << QString::fromLatin1(officeProgram)
                               << QStringLiteral("-env:UserInstallation=") +
                                      QUrl::fromLocalFile(QDir(home).filePath(QStringLiteral("lo"))).toString()
                               << QStringLiteral("--norestore") << QStringLiteral("--nologo");
    // The first start only makes the user profile and ends, asking its launcher for a restart.
    runTool(QStringLiteral("env"), QStringList(office) << QStringLiteral("--terminate_after_init"),
            std::chrono::seconds(60));
    return office;
}

RealApplication::RealApplication(const QString& program, const QStringList& arguments, const std::string& busName)
    : busName_(busName)
{
    process_.setProcessChannelMode(QProcess::MergedChannels);
    // Its chatter is of no interest and must not fill a pipe nobody reads.
    process_.setStandardOutputFile(QProcess::nullDevice());
    process_.start(program, arguments);
    process_.waitForStarted(10000);
}

RealApplication::~RealApplication()
{
    kill();
}

void RealApplication::kill()
{
    if (process_.state() == QProcess::NotRunning) {
        return;
    }
    process_.terminate();
    if (!process_.waitForFinished(3000)) {
        process_.kill();
        process_.waitForFinished(3000);
    }
}

bool RealApplication::waitForElement(int role, const std::string& name, std::chrono::milliseconds limit)
{
    const qint64 pid = processId();
    const std::string bus = busName_;
    return spinUntil(
        [&] {
            return AccessibilityThread::call(
                       [pid, bus, role, name] { return static_cast<bool>(findElement(pid, bus, role, name)); })
                .value_or(false);
        },
        limit, busPoll);
}

bool RealApplication::focusElement(int role, const std::string& name, std::chrono::milliseconds limit)
{
    const qint64 pid = processId();
    const std::string bus = busName_;
    const auto element = AccessibilityThread::call([pid, bus, role, name] {
        AccessibleElement found = findElement(pid, bus, role, name);
        if (found && !hasFocus(found)) {
            AtspiComponent* component = atspi_accessible_get_component_iface(found.get());
            if (component) {
                atspi_component_grab_focus(component, nullptr);
                g_object_unref(component);
            }
        }
        return found;
    });
    if (!element || !*element) {
        return false;
    }
    const AccessibleElement& target = *element;
    return spinUntil([&] { return AccessibilityThread::call([target] { return hasFocus(target); }).value_or(false); },
                     limit, busPoll);
}

bool RealApplication::focusWindow(std::chrono::milliseconds limit)
{
    const QString pid = QString::number(processId());
    const qint64 process = processId();
    const std::string bus = busName_;
    // A native Wayland client has no X window: the compositor activates a new window itself,
    // and the bus reports it active.
    const bool wayland = DisplaySession::current() == DisplaySession::Kind::wayland;
    std::optional<QByteArray> windows;
    bool active = false;
    spinUntil(
        [&] {
            windows = runTool(QStringLiteral("xdotool"), {QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                                                          QStringLiteral("--pid"), pid});
            if (windows && !windows->trimmed().isEmpty()) {
                return true;
            }
            active = wayland && AccessibilityThread::call([process, bus] {
                                    return hasActiveWindow(process, bus);
                                }).value_or(false);
            return active;
        },
        limit, busPoll);
    if (active) {
        return true;
    }
    if (!windows || windows->trimmed().isEmpty()) {
        return false;
    }
    // The last one listed is the newest; toolkits map helper windows before the main one.
    const QByteArray window = windows->trimmed().split('\n').constLast();
    return runTool(QStringLiteral("xdotool"),
                   {QStringLiteral("windowfocus"), QStringLiteral("--sync"), QString::fromLatin1(window)})
        .has_value();
}

bool RealApplication::key(const QString& keys)
{
    return runTool(QStringLiteral("xdotool"), {QStringLiteral("key"), QStringLiteral("--clearmodifiers"), keys})
        .has_value();
}

InsertOnce::InsertOnce(const QString& program, const QString& text)
{
    process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process_.start(program, {text});
    process_.waitForStarted(5000);
}

InsertOnce::~InsertOnce()
{
    process_.closeWriteChannel();
    if (!process_.waitForFinished(3000)) {
        process_.kill();
        process_.waitForFinished(3000);
    }
}

InsertOnceResult InsertOnce::wait(std::chrono::milliseconds limit)
{
    QByteArray pending;
    const bool answered = spinUntil(
        [&] {
            process_.waitForReadyRead(1);
            pending += process_.readAllStandardOutput();
            return pending.contains('\n') || process_.state() == QProcess::NotRunning;
        },
        limit, busPoll);
    InsertOnceResult result;
    if (!answered || !pending.contains('\n')) {
        result.outcome = QStringLiteral("hung");
        process_.kill();
        process_.waitForFinished(3000);
        return result;
    }
    const QJsonObject reply = QJsonDocument::fromJson(pending.left(pending.indexOf('\n'))).object();
    result.outcome = reply.value(QStringLiteral("outcome")).toString();
    result.ms = reply.value(QStringLiteral("ms")).toDouble();
    const QJsonArray lines = reply.value(QStringLiteral("diagnostics")).toArray();
    for (const auto& line : lines) {
        result.diagnostics << line.toString();
    }
    return result;
}

} // namespace kivo
