#pragma once

#include "app/controller/Application.h"
#include "app/shell/FloatingPanel.h"
#include "app/speech/SpeechSession.h"
#include "tests/app/controller/ControllerTestSupport.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace kivo::test {

// Stands in for the recorder: counts what the flow asked for; the test plays the callbacks.
class ScriptedRecorder : public SpeechSession {
public:
    ScriptedRecorder(Callbacks callbacks, ScriptedRecorder** self);
    void start(const Settings& settings) override;
    void stop() override { ++stops; }
    // Reports the end at once, or (like the real recorder) leaves that to the test.
    void cancel() override;
    // Ends the recording without a transcript, as after a failure or a cancel.
    void endWithoutText();

    Callbacks callbacks;
    Settings lastSettings;
    bool cancelReportsAtOnce = true;
    int starts = 0;
    int stops = 0;
    int cancels = 0;
};

// An application on a test bundle with a scripted recorder, in English, driven through its
// panel's state and signals the way the user drives the controls.
class ControllerFixture : public ::testing::Test {
protected:
    void SetUp() override;
    // Fills in what a test needs beyond the bundle and the recorder.
    virtual void configure(Application::Options& options);

    FloatingPanel& panel() { return app->panel(); }
    const PanelState& state() { return app->panel().state(); }
    QString status() { return state().status; }

    // The user types `text` over the source, or selects part of it.
    void type(const QString& text);
    void select(TextRange range);
    void change(const std::function<void(PanelSettings&)>& edit);
    // Starts a recording and plays the recorder up to `recording`.
    void startRecording();

    TestBundle bundle;
    ScriptedRecorder* recorder = nullptr;
    std::unique_ptr<Application> app;
};

} // namespace kivo::test
