#pragma once

#include <optional>
#include <string_view>

namespace kivo {

// What a desktop shortcut asks the running Kivo to do with the recording.
enum class RecordingCommand {
    toggle,
    start,
    stop
};

namespace RecordingCommands {

// "toggle", "start", "stop".
const char* rawValue(RecordingCommand command);
// "--toggle-recording", "--start-recording", "--stop-recording"; none for anything else.
std::optional<RecordingCommand> fromArgument(std::string_view argument);
// The method of the running app's bus object that carries the command.
const char* methodName(RecordingCommand command);

// Whether the command presses the record button, given what the recorder is doing: start
// only from idle, stop only while recording; a toggle always asks (the controller decides).
bool presses(RecordingCommand command, bool speechBusy, bool recording);

} // namespace RecordingCommands

} // namespace kivo
