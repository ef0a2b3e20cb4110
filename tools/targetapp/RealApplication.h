#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>

#include <chrono>
#include <optional>
#include <span>
#include <string>

namespace kivo {

// An ordinary desktop application (an editor, a browser, a terminal) started for the insertion
// tests and benchmark; found on the accessibility bus by its process or application name and
// on the display by its process. Waiting spins this process's event loop.
class RealApplication {
public:
    RealApplication(const QString& program, const QStringList& arguments, const std::string& busName = {});
    ~RealApplication();
    RealApplication(const RealApplication&) = delete;
    RealApplication& operator=(const RealApplication&) = delete;

    bool running() const { return process_.state() == QProcess::Running; }
    qint64 processId() const { return process_.processId(); }
    // Waits until an element of this role (and name, unless empty) is on the bus.
    bool waitForElement(int role, const std::string& name, std::chrono::milliseconds limit);
    // Gives that element the keyboard focus through the bus, then waits until it has it.
    bool focusElement(int role, const std::string& name, std::chrono::milliseconds limit = std::chrono::seconds(10));
    // Waits for a visible window of the process and gives it the X keyboard focus; in a
    // Wayland session, or until the bus reports a window of it active (a native client).
    bool focusWindow(std::chrono::milliseconds limit);
    // xdotool key syntax, sent to whatever has the keyboard focus.
    static bool key(const QString& keys);
    void kill();

private:
    QProcess process_;
    std::string busName_;
};

// The outcome of one kivo-insert-once run.
struct InsertOnceResult {
    QString outcome; // InputDelivery's raw value, or "hung" when no line came in time
    double ms = 0;   // from the start of the insertion to its outcome
    QStringList diagnostics;
};

// Runs kivo-insert-once and keeps it alive (holding whatever clipboard it gave back) until destroyed.
class InsertOnce {
public:
    InsertOnce(const QString& program, const QString& text);
    ~InsertOnce();
    InsertOnce(const InsertOnce&) = delete;
    InsertOnce& operator=(const InsertOnce&) = delete;

    // The outcome line; "hung" after `limit` (the process is then killed).
    InsertOnceResult wait(std::chrono::milliseconds limit = std::chrono::seconds(8));

private:
    QProcess process_;
};

// A fresh home for applications that would otherwise restore or share state between runs.
QStringList isolatedEnvironment(const QString& home);
// Environment settings that make GTK applications and Firefox native Wayland clients in a
// Wayland session, and keep Firefox on X11 otherwise.
QStringList toolkitBackend();
// Writes a page with a one-line input ("line"), a text area ("area"), an editable region
// ("rich") and a password field ("secret") into `folder`; its URL.
QString writeFieldsPage(const QString& folder);
// The fields of that page: their role and accessible name, and what a report calls them.
struct WebField {
    int role; // an AtspiRole
    const char* name;
    const char* title;
};
std::span<const WebField> webFields();
// Firefox ESR with a profile of its own under `home`, opening `url`; run through env(1).
QStringList firefoxCommand(const QString& home, const QString& url);

// The office itself, not the launcher script: its window then belongs to the process started.
inline constexpr const char* officeProgram = "/usr/lib/libreoffice/program/soffice.bin";
// LibreOffice with its GTK 3 plug-in and a user profile of its own under `home`, made by a first
// start that ends by itself; run through env(1) with "--writer" or the like added.
QStringList officeCommand(const QString& home);

// Runs a command line tool to completion (killed after `limit`); its standard output.
std::optional<QByteArray> runTool(const QString& program, const QStringList& arguments,
                                  std::chrono::milliseconds limit = std::chrono::seconds(10));

} // namespace kivo
