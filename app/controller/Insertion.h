#pragma once

#include <QObject>

#include <functional>
#include <memory>
#include <string>

namespace kivo {

class SessionHost;

// Insertion of a finished result into the focused input of another application, and the
// panel's part in it: no keyboard focus while writing, the outcome appended to the status.
class Insertion : public QObject {
public:
    // `deliverInstead`, when set, receives every result instead of the real insertion (tests).
    Insertion(SessionHost& host, std::function<void(const std::string&)> deliverInstead);
    ~Insertion() override;

    // `resultStillShown` tells the completion whether the panel still shows that result.
    void deliver(const std::string& text, std::function<bool()> resultStillShown);
    // Hands the clipboard back; the outcome is no longer reported.
    void cancel();
    bool busy() const { return task_ != nullptr; }

private:
    struct Task;

    void setPanelTakesFocus(bool takesFocus);

    SessionHost& host_;
    std::function<void(const std::string&)> deliverInstead_;
    std::shared_ptr<Task> task_;
};

} // namespace kivo
