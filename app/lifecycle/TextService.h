#pragma once

#include "app/lifecycle/RecordingCommand.h"

#include <QDBusContext>
#include <QObject>
#include <QString>

#include <functional>

namespace kivo {

// The object the running app exports on the session bus: a later launch raises the panel
// through it, and other programs hand it selected text to convert.
class TextService : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "local.kivo.afmtrial")

public:
    static constexpr const char* objectPath = "/local/kivo/afmtrial";
    static constexpr const char* interfaceName = "local.kivo.afmtrial";
    static constexpr const char* refusedError = "local.kivo.afmtrial.Error.Refused";

    std::function<void()> onRaise;
    // Returns an error message, or an empty string when the text was taken.
    std::function<QString(const QString& text)> onConvertSelection;
    // Desktop shortcuts start and stop the recording through these.
    std::function<void(RecordingCommand)> onRecordingCommand;

public slots:
    Q_SCRIPTABLE void Raise();
    Q_SCRIPTABLE void ConvertSelection(const QString& text);
    Q_SCRIPTABLE void ToggleRecording();
    Q_SCRIPTABLE void StartRecording();
    Q_SCRIPTABLE void StopRecording();

private:
    void recording(RecordingCommand command);
};

} // namespace kivo
