// Kivo's arguments: what each asks for, and the real program answering them without a display.
#include "app/lifecycle/CommandLine.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

namespace kivo {
namespace {

using Action = CommandLine::Action;

CommandLine parsed(const QStringList& arguments)
{
    return CommandLine::parse(QStringList{QStringLiteral("Kivo")} + arguments);
}

TEST(CommandLine, EachArgumentAsksForOneThing)
{
    EXPECT_EQ(parsed({}).action(), Action::startPanel);
    EXPECT_EQ(parsed({QStringLiteral("--help")}).action(), Action::printHelp);
    EXPECT_EQ(parsed({QStringLiteral("-h")}).action(), Action::printHelp);
    // Help wins over whatever else is given, so it can always be asked for.
    EXPECT_EQ(parsed({QStringLiteral("--toggle-recording"), QStringLiteral("--help")}).action(), Action::printHelp);
    EXPECT_EQ(parsed({QStringLiteral("--version")}).action(), Action::printVersion);
    EXPECT_EQ(parsed({QStringLiteral("-v")}).action(), Action::printVersion);
    EXPECT_EQ(parsed({QStringLiteral("--convert-selection")}).action(), Action::convertSelection);
    EXPECT_EQ(parsed({QStringLiteral("--stop-recording")}).recordingCommand(), RecordingCommand::stop);
    EXPECT_EQ(parsed({QStringLiteral("--start-recording")}).recordingCommand(), RecordingCommand::start);
    const auto toggle = parsed({QStringLiteral("--toggle-recording")});
    EXPECT_EQ(toggle.action(), Action::recording);
    EXPECT_EQ(toggle.recordingCommand(), RecordingCommand::toggle);
    EXPECT_FALSE(parsed({}).recordingCommand());
    // The toolkit's own options still start the panel.
    EXPECT_EQ(parsed({QStringLiteral("-platform"), QStringLiteral("offscreen")}).action(), Action::startPanel);
}

TEST(CommandLine, ModelsArgumentsPassOnUntouched)
{
    const auto models = parsed({QStringLiteral("--models"), QStringLiteral("--catalogue"), QStringLiteral("x.json"),
                                QStringLiteral("install"), QStringLiteral("--help")});
    EXPECT_EQ(models.action(), Action::models);
    EXPECT_EQ(models.modelsArguments(), (std::vector<std::string>{"--catalogue", "x.json", "install", "--help"}));
    // Alone it still goes to the models command, which explains its commands.
    const auto alone = parsed({QStringLiteral("--models")});
    EXPECT_EQ(alone.action(), Action::models);
    EXPECT_TRUE(alone.modelsArguments().empty());
}

TEST(CommandLine, UnknownOrConflictingArgumentsAreUsageErrors)
{
    for (const QStringList& arguments :
         {QStringList{QStringLiteral("--bogus")}, QStringList{QStringLiteral("stray")},
          QStringList{QStringLiteral("--catalogue")},
          QStringList{QStringLiteral("--toggle-recording"), QStringLiteral("--convert-selection")},
          QStringList{QStringLiteral("--catalogue"), QStringLiteral("")}}) {
        const auto line = parsed(arguments);
        EXPECT_EQ(line.action(), Action::usageError) << arguments.join(QLatin1Char(' ')).toStdString();
        EXPECT_FALSE(line.error().isEmpty());
    }
    EXPECT_TRUE(parsed({QStringLiteral("--bogus")}).error().contains(QStringLiteral("bogus")));
}

TEST(CommandLine, CatalogueFilesAreMadeAbsoluteAndUrlsKept)
{
    EXPECT_EQ(parsed({QStringLiteral("--catalogue"), QStringLiteral("https://example.org/c.json")}).catalogue(),
              "https://example.org/c.json");
    const auto relative = parsed({QStringLiteral("--catalogue"), QStringLiteral("sub/../c.json")});
    EXPECT_EQ(relative.action(), Action::setCatalogue);
    EXPECT_EQ(relative.catalogue(), QDir::current().filePath(QStringLiteral("c.json")).toStdString());
    const auto builtIn = parsed({QStringLiteral("--catalogue"), QStringLiteral("default")});
    EXPECT_EQ(builtIn.action(), Action::setCatalogue);
    EXPECT_TRUE(builtIn.catalogue().empty());
}

// The real program, with no display and its settings and models in a fresh folder.
struct Program : ::testing::Test {
    QTemporaryDir home;

    struct Result {
        int status = -1;
        QString out;
        QString err;
    };

    Result run(const QString& program, const QStringList& arguments, const QString& folder = {})
    {
        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "DBUS_SESSION_BUS_ADDRESS"}) {
            environment.remove(QString::fromLatin1(name));
        }
        environment.insert(QStringLiteral("HOME"), home.path());
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), home.filePath(QStringLiteral("config")));
        environment.insert(QStringLiteral("XDG_DATA_HOME"), home.filePath(QStringLiteral("data")));
        process.setProcessEnvironment(environment);
        process.setWorkingDirectory(folder.isEmpty() ? home.path() : folder);
        process.start(program, arguments);
        Result result;
        if (!process.waitForFinished(60000)) {
            process.kill();
            process.waitForFinished();
            return result;
        }
        result.status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -2;
        result.out = QString::fromUtf8(process.readAllStandardOutput());
        result.err = QString::fromUtf8(process.readAllStandardError());
        return result;
    }

    Result kivo(const QStringList& arguments, const QString& folder = {})
    {
        return run(QStringLiteral(KIVO_APP), arguments, folder);
    }
};

TEST_F(Program, HelpAndVersionAnswerWithoutADisplay)
{
    for (const QString& option : {QStringLiteral("--help"), QStringLiteral("-h")}) {
        const auto help = kivo({option});
        EXPECT_EQ(help.status, 0) << help.err.toStdString();
        EXPECT_TRUE(help.out.startsWith(QStringLiteral("Usage: Kivo "))) << help.out.toStdString();
        EXPECT_TRUE(help.out.contains(QStringLiteral("--toggle-recording")));
        EXPECT_TRUE(help.err.isEmpty()) << help.err.toStdString();
    }
    const auto version = kivo({QStringLiteral("--version")});
    EXPECT_EQ(version.status, 0);
    EXPECT_TRUE(version.out.startsWith(QStringLiteral("Kivo "))) << version.out.toStdString();
}

TEST_F(Program, AnUnknownOptionPrintsUsageAndExitsWithTwo)
{
    const auto bogus = kivo({QStringLiteral("--bogus")});
    EXPECT_EQ(bogus.status, 2);
    EXPECT_TRUE(bogus.out.isEmpty());
    EXPECT_TRUE(bogus.err.contains(QStringLiteral("bogus"))) << bogus.err.toStdString();
    EXPECT_TRUE(bogus.err.contains(QStringLiteral("Usage: Kivo "))) << bogus.err.toStdString();
}

TEST_F(Program, ACatalogueIsCheckedWhenItIsSet)
{
    const auto missing = kivo({QStringLiteral("--catalogue"), QStringLiteral("/nonexistent/x.json")});
    EXPECT_EQ(missing.status, 1);
    EXPECT_TRUE(missing.err.contains(QStringLiteral("/nonexistent/x.json"))) << missing.err.toStdString();
    EXPECT_FALSE(QFile::exists(home.filePath(QStringLiteral("config/kivo/Kivo.conf"))))
        << "a refused catalogue is not stored";

    // A catalogue file with an entry next to it, given relative to the current folder: the
    // setting keeps the absolute path, and the entry installs from the file beside it.
    const QString models = home.filePath(QStringLiteral("org"));
    ASSERT_TRUE(QDir().mkpath(models));
    const auto written = run(QStringLiteral(KIVO_WHISPER_MODEL_TOOL), {models + QStringLiteral("/speech.bin")});
    ASSERT_EQ(written.status, 0) << written.err.toStdString();
    QFile catalogue(models + QStringLiteral("/catalogue.json"));
    ASSERT_TRUE(catalogue.open(QIODevice::WriteOnly));
    catalogue.write(R"({"models":[{"name":"ours","role":"speech","url":"speech.bin"}]})");
    catalogue.close();

    const auto set = kivo({QStringLiteral("--catalogue"), QStringLiteral("org/catalogue.json")});
    EXPECT_EQ(set.status, 0) << set.err.toStdString();
    EXPECT_TRUE(set.out.contains(models + QStringLiteral("/catalogue.json"))) << set.out.toStdString();

    const auto installed = kivo({QStringLiteral("--models"), QStringLiteral("install"), QStringLiteral("ours")});
    EXPECT_EQ(installed.status, 0) << installed.err.toStdString();
    EXPECT_TRUE(QFile::exists(home.filePath(QStringLiteral("data/kivo/models/speech-model.bin"))));
}

TEST_F(Program, TheSmallProgramsAnswerHelpInsteadOfTakingItForAFile)
{
    const auto help = run(QStringLiteral(KIVO_WHISPER_MODEL_TOOL), {QStringLiteral("--help")});
    EXPECT_EQ(help.status, 0);
    EXPECT_TRUE(help.out.startsWith(QStringLiteral("usage: kivo-whisper-model"))) << help.out.toStdString();
    EXPECT_FALSE(QFile::exists(home.filePath(QStringLiteral("--help"))));
    const auto runner = run(QStringLiteral(KIVO_RUNNER), {QStringLiteral("--help")});
    EXPECT_EQ(runner.status, 0);
    EXPECT_TRUE(runner.out.startsWith(QStringLiteral("usage: rewrite-runner"))) << runner.out.toStdString();
}

} // namespace
} // namespace kivo
