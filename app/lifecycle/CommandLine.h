#pragma once

#include "app/lifecycle/RecordingCommand.h"

#include <QString>
#include <QStringList>

#include <optional>
#include <string>
#include <vector>

namespace kivo {

// What Kivo was asked to do by its arguments. Everything but starting the panel is answered
// without a display, so it also works over ssh and in a package check.
class CommandLine {
public:
    enum class Action {
        startPanel,       // no arguments, or only the toolkit's own (-platform …)
        printHelp,        // -h, --help
        printVersion,     // -v, --version
        models,           // --models …, handed on as given
        setCatalogue,     // --catalogue URL|FILE|default
        convertSelection, // --convert-selection
        recording,        // --toggle-recording, --start-recording, --stop-recording
        usageError,       // anything else: usage on standard error, exit status 2
    };

    static CommandLine parse(const QStringList& arguments); // arguments[0] is the program

    Action action() const { return action_; }
    // --models: the arguments after it, untouched (they have options of their own).
    const std::vector<std::string>& modelsArguments() const { return modelsArguments_; }
    // --catalogue: a URL as given, a file made absolute (the setting outlives the current
    // folder), or empty for the built-in catalogue.
    const std::string& catalogue() const { return catalogue_; }
    std::optional<RecordingCommand> recordingCommand() const { return recordingCommand_; }
    // usageError: what was wrong, one line.
    const QString& error() const { return error_; }

    static QString helpText();
    static QString usageLine();

private:
    Action action_ = Action::startPanel;
    std::vector<std::string> modelsArguments_;
    std::string catalogue_;
    std::optional<RecordingCommand> recordingCommand_;
    QString error_;
};

} // namespace kivo
