#include "app/lifecycle/CommandLine.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>

namespace kivo {
namespace {

// Options QApplication takes itself; they only matter when the panel starts.
const QStringList toolkitValueOptions{QStringLiteral("platform"),        QStringLiteral("display"),
                                      QStringLiteral("style"),           QStringLiteral("stylesheet"),
                                      QStringLiteral("qwindowgeometry"), QStringLiteral("qwindowtitle"),
                                      QStringLiteral("qwindowicon"),     QStringLiteral("name"),
                                      QStringLiteral("platformtheme")};

bool isRemote(const QString& source)
{
    return source.startsWith(QLatin1String("http://")) || source.startsWith(QLatin1String("https://"));
}

} // namespace

CommandLine CommandLine::parse(const QStringList& arguments)
{
    CommandLine line;
    // --models passes the rest on untouched: its commands have options of their own.
    if (arguments.size() >= 2 && arguments[1] == QLatin1String("--models")) {
        line.action_ = Action::models;
        for (qsizetype i = 2; i < arguments.size(); ++i) {
            line.modelsArguments_.push_back(arguments[i].toStdString());
        }
        return line;
    }

    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")}, {});
    const QCommandLineOption version({QStringLiteral("v"), QStringLiteral("version")}, {});
    const QCommandLineOption catalogue(QStringLiteral("catalogue"), {}, QStringLiteral("source"));
    const QCommandLineOption selection(QStringLiteral("convert-selection"), {});
    const QCommandLineOption toggle(QStringLiteral("toggle-recording"), {});
    const QCommandLineOption start(QStringLiteral("start-recording"), {});
    const QCommandLineOption stop(QStringLiteral("stop-recording"), {});
    parser.addOptions({help, version, catalogue, selection, toggle, start, stop});
    for (const QString& name : toolkitValueOptions) {
        parser.addOption(QCommandLineOption(name, {}, QStringLiteral("value")));
    }
    parser.addOption(QCommandLineOption(QStringLiteral("reverse"), {}));

    const auto refuse = [&line](const QString& error) {
        line.action_ = Action::usageError;
        line.error_ = error;
        return line;
    };
    if (!parser.parse(arguments)) {
        return refuse(parser.errorText());
    }
    if (!parser.positionalArguments().isEmpty()) {
        return refuse(QStringLiteral("Unexpected argument '%1'.").arg(parser.positionalArguments().front()));
    }
    if (parser.isSet(help)) {
        line.action_ = Action::printHelp;
        return line;
    }
    if (parser.isSet(version)) {
        line.action_ = Action::printVersion;
        return line;
    }

    int commands = 0;
    for (const auto* option : {&catalogue, &selection, &toggle, &start, &stop}) {
        commands += parser.isSet(*option) ? 1 : 0;
    }
    if (commands > 1) {
        return refuse(QStringLiteral("Give one of --catalogue, --convert-selection and the recording commands."));
    }
    if (parser.isSet(catalogue)) {
        const QString source = parser.value(catalogue);
        if (source.isEmpty()) {
            return refuse(QStringLiteral("--catalogue needs a URL, a file or \"default\"."));
        }
        line.action_ = Action::setCatalogue;
        if (source != QLatin1String("default")) {
            line.catalogue_ =
                (isRemote(source) ? source : QDir::cleanPath(QFileInfo(source).absoluteFilePath())).toStdString();
        }
    } else if (parser.isSet(selection)) {
        line.action_ = Action::convertSelection;
    } else if (parser.isSet(toggle) || parser.isSet(start) || parser.isSet(stop)) {
        line.action_ = Action::recording;
        line.recordingCommand_ = parser.isSet(toggle)  ? RecordingCommand::toggle
                                 : parser.isSet(start) ? RecordingCommand::start
                                                       : RecordingCommand::stop;
    }
    return line;
}

QString CommandLine::usageLine()
{
    return QStringLiteral(
        "Usage: Kivo [--toggle-recording | --start-recording | --stop-recording | "
        "--convert-selection | --models COMMAND | --catalogue URL|FILE|default | --help | --version]\n");
}

QString CommandLine::helpText()
{
    return usageLine() +
           QStringLiteral(
               "\n"
               "Kivo records spoken Cantonese, recognises it and converts the text on this computer.\n"
               "Without options it opens the floating panel (or brings the running one forward).\n"
               "\n"
               "  --toggle-recording     start or stop recording in the running Kivo (for a desktop shortcut)\n"
               "  --start-recording      start recording; nothing happens if it already records\n"
               "  --stop-recording       stop recording; nothing happens if it does not record\n"
               "  --convert-selection    convert the selected text of the focused application\n"
               "  --models COMMAND       manage the speech and language models without a display:\n"
               "                         list | install NAME | import FILE ROLE | verify [ROLE] | remove ROLE\n"
               "                         (`Kivo --models` alone explains them)\n"
               "  --catalogue SOURCE     use another model catalogue (a URL or a JSON file; relative\n"
               "                         entries are taken relative to it); \"default\" restores the built-in one\n"
               "  -h, --help             show this help and exit\n"
               "  -v, --version          show the version and exit\n"
               "\n"
               "Exit status: 0 on success, 1 when an operation failed, 2 for a usage error.\n");
}

} // namespace kivo
