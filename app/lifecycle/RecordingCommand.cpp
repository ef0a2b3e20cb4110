#include "app/lifecycle/RecordingCommand.h"

#include <string>

namespace kivo::RecordingCommands {

const char* rawValue(RecordingCommand command)
{
    switch (command) {
    case RecordingCommand::toggle: return "toggle";
    case RecordingCommand::start: return "start";
    case RecordingCommand::stop: return "stop";
    }
    return "toggle";
}

std::optional<RecordingCommand> fromArgument(std::string_view argument)
{
    for (const RecordingCommand command : {RecordingCommand::toggle, RecordingCommand::start, RecordingCommand::stop}) {
        if (argument == std::string("--") + rawValue(command) + "-recording") {
            return command;
        }
    }
    return std::nullopt;
}

const char* methodName(RecordingCommand command)
{
    switch (command) {
    case RecordingCommand::toggle: return "ToggleRecording";
    case RecordingCommand::start: return "StartRecording";
    case RecordingCommand::stop: return "StopRecording";
    }
    return "ToggleRecording";
}

bool presses(RecordingCommand command, bool speechBusy, bool recording)
{
    switch (command) {
    case RecordingCommand::toggle: return true;
    case RecordingCommand::start: return !speechBusy;
    case RecordingCommand::stop: return recording;
    }
    return false;
}

} // namespace kivo::RecordingCommands
