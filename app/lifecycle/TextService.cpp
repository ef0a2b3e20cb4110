#include "app/lifecycle/TextService.h"

namespace kivo {

void TextService::Raise()
{
    if (onRaise) {
        onRaise();
    }
}

void TextService::ConvertSelection(const QString& text)
{
    const QString error = onConvertSelection ? onConvertSelection(text) : QStringLiteral("Kivo is not ready.");
    if (!error.isEmpty() && calledFromDBus()) {
        sendErrorReply(QString::fromLatin1(refusedError), error);
    }
}

void TextService::ToggleRecording()
{
    recording(RecordingCommand::toggle);
}

void TextService::StartRecording()
{
    recording(RecordingCommand::start);
}

void TextService::StopRecording()
{
    recording(RecordingCommand::stop);
}

void TextService::recording(RecordingCommand command)
{
    if (onRecordingCommand) {
        onRecordingCommand(command);
    } else if (calledFromDBus()) {
        sendErrorReply(QString::fromLatin1(refusedError), QStringLiteral("Kivo is not ready."));
    }
}

} // namespace kivo
