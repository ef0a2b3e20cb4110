#pragma once

#include "app/controller/SessionOptions.h"
#include "app/shell/shortcut/GlobalShortcut.h"

#include <QCoreApplication>
#include <QObject>

#include <functional>
#include <memory>

class QTimer;

namespace kivo {

class SessionHost;

// The global recording shortcut: its registration for the chosen keys, the accessibility
// permission it and automatic insertion need (polled while the app runs) and its labels.
class RecordingShortcut : public QObject {
    Q_DECLARE_TR_FUNCTIONS(RecordingShortcut)

public:
    // `press` is what the keys do.
    RecordingShortcut(SessionHost& host, const SessionOptions& options, std::function<void()> press);
    ~RecordingShortcut() override;

    GlobalShortcut& globalShortcut();
    void start();
    void stop();
    // Registers the chosen keys again and re-labels.
    void refresh();
    void updateLabels();
    void requestPermission();
    // The app became active again: the permission may have changed meanwhile.
    void activated();
    GlobalShortcut::State state() const { return state_; }

private:
    bool trusted() const;

    SessionHost& host_;
    const SessionOptions& options_;
    std::function<void()> press_;
    std::unique_ptr<GlobalShortcut> globalShortcut_;
    bool started_ = false;
    std::unique_ptr<QTimer> permissionTimer_;
    GlobalShortcut::State state_ = GlobalShortcut::State::disabled();
};

} // namespace kivo
