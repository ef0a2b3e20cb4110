#pragma once

#include "app/controller/SessionOptions.h"
#include "app/lifecycle/RecordingCommand.h"
#include "app/speech/SpeechDiagnostics.h"
#include "app/speech/SpeechDraft.h"
#include "app/speech/SpeechSession.h"

#include <QCoreApplication>
#include <QObject>
#include <QString>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>

class QTimer;

namespace kivo {

class SessionHost;

// Recording and recognition: the recorder, its status line, the transcript it leaves in the
// source and the editor as it was before, put back when a recording ends without text.
class Recording : public QObject {
    Q_DECLARE_TR_FUNCTIONS(Recording)

public:
    Recording(SessionHost& host, const SessionOptions& options);
    ~Recording() override;

    bool busy() const { return busy_; }
    SpeechSession::Status status() const { return status_; }
    bool recording() const { return busy_ && status_ == SpeechSession::Status::recording; }
    const std::optional<SpeechDiagnostics>& diagnostics() const { return diagnostics_; }
    // The last completed transcript, which the panel can restore.
    const std::optional<std::string>& transcript() const { return transcript_; }
    bool hasDetails() const { return diagnostics_ || !lastPartial_.empty(); }
    bool stopping() const { return stopping_; }

    // The record button: starts a recording, or stops the one that records.
    void press();
    // The global shortcut and desktop commands: only when the button would act.
    void pressFromShortcut();
    void command(RecordingCommand command);
    void cancel();
    // Cancels a busy recording and calls `ended` once the recorder has reported back.
    void cancelThen(std::function<void()> ended);
    void restoreTranscript();
    void showDetails();
    void updateSpeechInfo();

private:
    SpeechSession& recorder();
    void statusChanged(SpeechSession::Status status);
    void transcribed(const std::string& text, bool isFinal);
    void complete(const std::optional<std::string>& text);
    void completeWithText(const std::string& text);
    void completeWithoutText();
    void updateRecordingStatus();
    void setStatus(const QString& text, const std::optional<QString>& modelsDetails = std::nullopt);

    SessionHost& host_;
    const SessionOptions& options_;
    std::unique_ptr<SpeechSession> recorder_;
    bool busy_ = false;
    bool stopping_ = false;
    SpeechSession::Status status_ = SpeechSession::Status::idle;
    std::optional<std::string> failure_;
    std::optional<SpeechDraft> draft_;
    std::optional<SpeechDiagnostics> diagnostics_;
    std::optional<std::string> transcript_;
    std::string lastPartial_;
    std::unique_ptr<QTimer> timer_;
    std::optional<std::chrono::steady_clock::time_point> startedAt_;
    std::function<void()> afterEnd_;
};

} // namespace kivo
