#pragma once

#include <QObject>

#include <functional>
#include <memory>

class QSocketNotifier;

namespace kivo {

// Ends the app the ordinary way when the session asks it to: SIGTERM, SIGHUP and SIGINT become
// a quit request on the main thread. When the process is ended without that path (the X
// display went away and the toolkit calls exit()), `onAbruptExit` still runs, from exit().
// One instance per process.
class TerminationSignals : public QObject {
public:
    TerminationSignals(std::function<void()> onQuitRequest, std::function<void()> onAbruptExit);
    ~TerminationSignals() override;
    TerminationSignals(const TerminationSignals&) = delete;
    TerminationSignals& operator=(const TerminationSignals&) = delete;

    static bool installed();

private:
    void receive();

    std::function<void()> onQuitRequest_;
    std::unique_ptr<QSocketNotifier> notifier_;
};

} // namespace kivo
