#pragma once

#include "app/controller/SpeechSession.h"

#include <QObject>
#include <memory>

namespace kivo {

// Stands in for the recorder until speech recognition is built: every start ends at once, on
// the next turn of the event loop, as a failed recording, so the panel keeps its text and says
// why.
class UnavailableSpeechSession : public SpeechSession {
public:
    explicit UnavailableSpeechSession(Callbacks callbacks);
    ~UnavailableSpeechSession() override;

    void start(const Settings& settings) override;
    void stop() override {}
    void cancel() override;

private:
    Callbacks callbacks_;
    std::unique_ptr<QObject> context_; // pending answers die with the session
    bool active_ = false;
};

} // namespace kivo
