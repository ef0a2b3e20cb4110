#pragma once

#include "app/shell/PanelState.h"

#include <string>

namespace kivo {

class FloatingPanel;

// What the session's flows ask of the application that composes them: the panel, what the
// other flows are doing, and the hand-overs from one flow to the next.
class SessionHost {
public:
    virtual FloatingPanel& panel() = 0;
    virtual PanelActivity activity() const = 0;
    // The panel's controls after any flow changed state.
    virtual void updateControls() = 0;
    // The line under the source saying what a conversion will take.
    virtual void updateScope() = 0;
    virtual void savePreferences() = 0;
    // A finished transcript goes on to conversion, a finished result to insertion.
    virtual void convert() = 0;
    // While recording: a transcript begins, and its settled start grows.
    virtual void transcriptBegins() = 0;
    virtual void transcriptSettled(const std::string& text) = 0;
    virtual void insert(const std::string& text) = 0;
    // The ordinary quit path (a recording is cancelled first), and the end itself.
    virtual void requestQuit() = 0;
    virtual void quit() = 0;

protected:
    ~SessionHost() = default;
};

} // namespace kivo
