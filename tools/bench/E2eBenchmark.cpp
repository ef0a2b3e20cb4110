// e2e_benchmark: from the user's stop to the converted text in a real application, through the
// same path as on a desktop. The real Kivo records from the session's PulseAudio (a pipe source
// fed Cantonese speech from espeak-ng in real time, through PortAudio and ALSA), recognises it
// with a generated whisper model of real shape, converts it with rewrite-runner and inserts it
// into mousepad; the text is read back from mousepad over the accessibility bus. Run it inside
//   scripts/test-session.sh --pulse build/default/tools/bench/e2e_benchmark [options]
// Options:
//   --tiny               a tiny speech model (default: base size, q5_0)
//   --small              a small-size speech model, q5_0 (the size recommended on 2 cores)
//   --stand-in           a runner that answers a fixed text after 0.5 s (default: rewrite-runner)
//   --stand-in-rate S    the stand-in takes 0.3 s plus S seconds per character of the text it is
//                        given instead (0.06 is a 1.5B-size model on 2 cores)
//   --one-conversion     converting while speaking turned off: one conversion after the stop
//   --language-model F   rewrite-runner with this model (default: a tiny generated one)
//   --seconds S[,S...]   utterance lengths (default: 20)
//   --runs N             runs per length (default: 5)
//   --kivo PATH          the Kivo program (default: the one of this build)
// Prints per run the times after the stop command: the stop taking effect, the final
// transcript, the runner's reply, the insertion and the text read back in the target; then the
// medians and the load average. Exits 1 when a phase did not happen.
#include "app/controller/PanelPreferences.h"
#include "app/lifecycle/SingleInstance.h"
#include "platform/accessibility/AccessibilityInputAccess.h"
#include "platform/accessibility/GuiEventLoop.h"
#include "platform/accessibilitybus/AccessibilityBus.h"
#include "platform/speech/WavFile.h"
#include "platform/speech/WhisperRecognizer.h"
#include "platform/time/PhaseTrace.h"
#include "tests/support/MicrophonePipe.h"
#include "tools/targetapp/EventLoopWait.h"
#include "tools/targetapp/RealApplication.h"
#include "tools/whisper/TinyWhisperModel.h"

#include <atspi/atspi.h>

#include <QApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QProcess>
#include <QProcessEnvironment>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace {

using namespace kivo;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

const char* const standInText = "轉換完成，已經寫好。";

struct Options {
    bool tiny = false;
    bool small = false;
    bool standIn = false;
    double standInRate = 0.0;
    bool oneConversion = false;
    std::optional<fs::path> languageModel;
    std::vector<double> seconds{20.0};
    int runs = 5;
    fs::path kivo = KIVO_APP;
};

std::string loadAverage()
{
    std::ifstream file("/proc/loadavg");
    std::string line;
    std::getline(file, line);
    return line;
}

bool run(const std::string& command)
{
    return std::system(command.c_str()) == 0;
}

// Cantonese sentences with their natural pauses, repeated to `seconds`, at 16 kHz.
std::vector<float> speech(const fs::path& folder, double seconds)
{
    const auto wav = folder / "speech.wav";
    if (!fs::exists(wav) &&
        !run("espeak-ng -v yue -w '" + wav.string() +
             "' '今日天氣幾好，我哋一齊去海邊行吓。之後去茶樓飲茶食點心，再去書局睇吓有冇新書。' 2>/dev/null")) {
        throw std::runtime_error("espeak-ng failed");
    }
    auto converter = WhisperRecognizer().makeConverter(AudioFormat::recognizerFormat());
    std::vector<float> once;
    for (auto& input : converter->convert(WavFile::read(wav), 0.0)) {
        once.insert(once.end(), input.samples.begin(), input.samples.end());
    }
    for (auto& input : converter->flush()) {
        once.insert(once.end(), input.samples.begin(), input.samples.end());
    }
    once.resize(once.size() + 8000, 0.0f);
    const auto total = static_cast<std::size_t>(seconds * 16000);
    std::vector<float> out;
    while (out.size() < total) {
        out.insert(out.end(), once.begin(), once.end());
    }
    out.resize(total);
    return out;
}

// A bundle of this build's Kivo: bin/Kivo, Resources/ with the runner, and the models in the
// data folder given to it through XDG_DATA_HOME.
void makeBundle(const fs::path& root, const Options& options)
{
    fs::create_directories(root / "bin");
    fs::copy_file(options.kivo, root / "bin" / "Kivo");
    const auto resources = root / "Resources";
    fs::create_directories(resources);
    for (const auto& entry : fs::directory_iterator(KIVO_RESOURCES_DIR)) {
        if (entry.is_regular_file()) {
            fs::copy_file(entry.path(), resources / entry.path().filename());
        }
    }
    if (options.standIn) {
        // It keeps the protected names and numbers the source carries, once each and in order,
        // as a model must: otherwise a transcript with a digit in it is (rightly) withheld.
        std::ofstream(resources / "rewrite-runner")
            << "#!/bin/sh\n"
            << "source=$(sed -n 's/.*\"source\":\"\\([^\"]*\\)\".*/\\1/p')\n"
            << "kept=$(printf '%s' \"$source\" | grep -o '\u27E6KIVO7_[0-9]*\u27E7' | awk '!seen[$0]++' | tr '\\n' ' "
               "')\n"
            // Characters of the source, from its UTF-8 bytes (three to a Chinese character).
            << "bytes=$(printf '%s' \"$source\" | wc -c)\n"
            << "sleep $(awk \"BEGIN { print " << (options.standInRate > 0 ? 0.3 : 0.5) << " + " << options.standInRate
            << " * $bytes / 3 }\")\n"
            << "printf '{\"status\":\"generated\",\"text\":\"%s%s\"}\\n' '" << standInText << "' \"$kept\"\n";
        fs::permissions(resources / "rewrite-runner", fs::perms::owner_all);
    } else {
        fs::create_symlink(KIVO_REWRITE_RUNNER, resources / "rewrite-runner");
    }
    const auto models = root / "data" / "kivo" / "models";
    fs::create_directories(models);
    if (options.languageModel) {
        fs::create_symlink(fs::absolute(*options.languageModel), models / "language-model.gguf");
    } else if (!run(std::string(KIVO_TINY_GGUF) + " '" + (models / "language-model.gguf").string() + "'")) {
        throw std::runtime_error("kivo-tiny-gguf failed");
    }
    const fs::path cached = fs::path(KIVO_E2E_MODELS) / (options.tiny    ? "tiny-f16.bin"
                                                         : options.small ? "small-q5_0.bin"
                                                                         : "base-q5_0.bin");
    if (!fs::exists(cached)) {
        fs::create_directories(cached.parent_path());
        TinyWhisperModel::write(cached.string() + ".part",
                                options.tiny    ? TinyWhisperModel::Dimensions{}
                                : options.small ? TinyWhisperModel::small()
                                                : TinyWhisperModel::base(),
                                1,
                                options.tiny ? TinyWhisperModel::WeightType::f16 : TinyWhisperModel::WeightType::q5_0);
        fs::rename(cached.string() + ".part", cached);
    }
    fs::create_symlink(cached, models / "speech-model.bin");
}

// The focused input's text, read over the accessibility bus.
std::optional<std::u16string> targetText()
{
    AccessibilityInputAccess access;
    const auto target = access.focusedTarget();
    if (!target) {
        return std::nullopt;
    }
    const auto snapshot = access.snapshot(*target);
    return snapshot ? std::optional(snapshot->text) : std::nullopt;
}

struct Phases {
    std::optional<double> stopTakesEffect, transcript, reply, inserted, verified;
};

std::string shown(const std::optional<double>& seconds)
{
    char text[32];
    if (!seconds) {
        return "    —  ";
    }
    std::snprintf(text, sizeof text, "%6.2f s", *seconds);
    return text;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const std::size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2.0;
}

class Session {
public:
    Session(const fs::path& root, const Options& options) : root_(root), options_(options)
    {
        environment_ = QProcessEnvironment::systemEnvironment();
        environment_.insert(QStringLiteral("XDG_DATA_HOME"), QString::fromStdString((root / "data").string()));
        environment_.insert(QStringLiteral("XDG_CONFIG_HOME"), QString::fromStdString((root / "config").string()));
        environment_.insert(QStringLiteral("KIVO_PHASE_TRACE"), QString::fromStdString(trace().string()));
    }
    ~Session()
    {
        if (kivo_.state() != QProcess::NotRunning) {
            kivo_.terminate();
            if (!kivo_.waitForFinished(10000)) {
                kivo_.kill();
                kivo_.waitForFinished();
            }
        }
    }

    fs::path trace() const { return root_ / "phases.txt"; }
    QString program() const { return QString::fromStdString((root_ / "bin" / "Kivo").string()); }

    bool start()
    {
        if (options_.oneConversion) {
            // As a user who turned converting while speaking off in the settings.
            QSettings preferences(QString::fromStdString((root_ / "config" / "kivo" / "Kivo.conf").string()),
                                  QSettings::IniFormat);
            preferences.setValue(QString::fromLatin1(PanelPreferences::preferencesKey),
                                 QVariantMap{{QStringLiteral("convertWhileSpeaking"), false}});
        }
        kivo_.setProcessEnvironment(environment_);
        kivo_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        kivo_.setStandardOutputFile(QProcess::nullDevice());
        kivo_.start(program(), {});
        if (!kivo_.waitForStarted(10000)) {
            return false;
        }
        // Up once it owns its name on the session bus (a command sent earlier would start a
        // second Kivo).
        return spinUntil(
            [&] {
                const auto owned = QDBusConnection::sessionBus().interface()->isServiceRegistered(
                    QString::fromLatin1(SingleInstance::serviceName));
                return owned.isValid() && owned.value();
            },
            60s);
    }

    // Sends a recording command as a desktop shortcut does; whether the running Kivo took it.
    bool command(const QString& argument)
    {
        QProcess sender;
        sender.setProcessEnvironment(environment_);
        sender.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        sender.start(program(), {argument});
        if (!sender.waitForFinished(20000)) {
            sender.kill();
            sender.waitForFinished();
            return false;
        }
        return sender.exitStatus() == QProcess::NormalExit && sender.exitCode() == 0 &&
               kivo_.state() == QProcess::Running;
    }

    std::vector<PhaseTrace::Mark> marks() const
    {
        std::ifstream file(trace());
        std::stringstream text;
        text << file.rdbuf();
        return PhaseTrace::parse(text.str());
    }

    std::optional<double> markAfter(const char* phase, double since) const
    {
        return PhaseTrace::first(marks(), phase, since);
    }

private:
    fs::path root_;
    Options options_;
    QProcessEnvironment environment_;
    QProcess kivo_;
};

Options parse(int argc, char** argv)
{
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        const auto next = [&]() -> std::string {
            if (i + 1 >= argc) {
                throw std::runtime_error(argument + " needs a value");
            }
            return argv[++i];
        };
        if (argument == "--tiny") {
            options.tiny = true;
        } else if (argument == "--small") {
            options.small = true;
        } else if (argument == "--stand-in") {
            options.standIn = true;
        } else if (argument == "--stand-in-rate") {
            options.standIn = true;
            options.standInRate = std::atof(next().c_str());
        } else if (argument == "--one-conversion") {
            options.oneConversion = true;
        } else if (argument == "--language-model") {
            options.languageModel = next();
        } else if (argument == "--runs") {
            options.runs = std::max(1, std::atoi(next().c_str()));
        } else if (argument == "--kivo") {
            options.kivo = next();
        } else if (argument == "--seconds") {
            options.seconds.clear();
            std::stringstream list(next());
            for (std::string item; std::getline(list, item, ',');) {
                options.seconds.push_back(std::max(1.0, std::atof(item.c_str())));
            }
        } else {
            throw std::runtime_error("unknown option " + argument);
        }
    }
    return options;
}

} // namespace

int main(int argc, char** argv)
{
    Options options;
    try {
        options = parse(argc, argv);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "e2e_benchmark: %s\n", error.what());
        return 2;
    }
    const auto fifo = testing::MicrophonePipe::ofSession();
    if (!fifo) {
        std::fprintf(stderr, "e2e_benchmark: run it inside scripts/test-session.sh --pulse\n");
        return 2;
    }
    const auto application = kivo::GuiEventLoop::create<QApplication>(argc, argv);
    std::string pattern = (fs::temp_directory_path() / "kivo-e2e-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        return 1;
    }
    const fs::path root = pattern;
    int status = 0;
    try {
        makeBundle(root, options);
        testing::MicrophonePipe microphone(*fifo);
        std::printf("converting while speaking: %s\n", options.oneConversion ? "off" : "on");
        std::printf("speech model: %s, runner: %s; load average at start: %s\n",
                    options.tiny    ? "tiny (f16)"
                    : options.small ? "small size (q5_0)"
                                    : "base size (q5_0)",
                    options.standInRate > 0 ? "stand-in taking 0.3 s + the given seconds per character"
                    : options.standIn       ? "stand-in answering after 0.5 s"
                    : options.languageModel ? options.languageModel->c_str()
                                            : "rewrite-runner, tiny generated model",
                    loadAverage().c_str());

        // As a user who turned on automatic insertion has; before the applications start, so
        // they expose their inputs.
        AccessibilityBus::setEnabled(true);
        RealApplication mousepad(QStringLiteral("env"),
                                 {QStringLiteral("GSETTINGS_BACKEND=memory"), QStringLiteral("mousepad"),
                                  QStringLiteral("--disable-server")});
        if (!mousepad.waitForElement(ATSPI_ROLE_TEXT, {}, 30s)) {
            throw std::runtime_error("mousepad did not start");
        }
        Session kivo(root, options);
        if (!kivo.start()) {
            throw std::runtime_error("Kivo did not start");
        }
        if (!mousepad.focusWindow(10s) || !mousepad.focusElement(ATSPI_ROLE_TEXT, {})) {
            throw std::runtime_error("mousepad's text view did not take the focus");
        }

        std::printf("%7s %4s %12s %12s %12s %12s %12s\n", "speech", "run", "stop taken", "transcript", "reply",
                    "inserted", "verified");
        std::map<double, std::vector<double>> verifiedTimes;
        for (const double seconds : options.seconds) {
            const std::vector<float> words = speech(root, seconds);
            for (int i = 0; i < options.runs; ++i) {
                const std::u16string before = targetText().value_or(u"");
                if (!kivo.command(QStringLiteral("--start-recording"))) {
                    throw std::runtime_error("the start command failed");
                }
                const double asked = PhaseTrace::now();
                // A Kivo without phase marks (an older build, for comparison) is given 15 s.
                if (!spinUntil([&] { return kivo.markAfter("recording", asked).has_value(); }, 15s)) {
                    std::printf("  (no phase marks from this Kivo: only the verified text is timed)\n");
                }
                // The panel may have come forward for the recording; the user is typing in the target.
                if (!mousepad.focusWindow(10s) || !mousepad.focusElement(ATSPI_ROLE_TEXT, {})) {
                    throw std::runtime_error("mousepad's text view did not take the focus back");
                }
                microphone.say(words);
                spinUntil([&] { return microphone.spoken(); },
                          std::chrono::milliseconds(static_cast<int>(seconds * 1000) + 30000));
                spinUntil([] { return false; }, 300ms); // the device's own latency

                const double stop = PhaseTrace::now();
                kivo.command(QStringLiteral("--stop-recording"));
                Phases phases;
                const auto since = [&](const char* phase) -> std::optional<double> {
                    const auto at = kivo.markAfter(phase, stop);
                    return at ? std::optional(*at - stop) : std::nullopt;
                };
                // Until the text is read back (a build without phase marks has only that), or
                // Kivo says the insertion did not happen.
                const auto arrived = [&] {
                    const auto text = targetText();
                    return text && *text != before &&
                           (!options.standIn ||
                            text->find(QString::fromUtf8(standInText).toStdU16String()) != std::u16string::npos);
                };
                const auto refused = [&] {
                    const auto marks = kivo.marks();
                    return std::any_of(marks.begin(), marks.end(), [&](const PhaseTrace::Mark& mark) {
                        return mark.seconds >= stop && mark.phase.starts_with("not-inserted");
                    });
                };
                const bool verified = spinUntil([&] { return arrived() || refused(); }, 90s) && arrived();
                if (verified) {
                    phases.verified = PhaseTrace::now() - stop;
                    // Kivo confirms the insertion after checking the target, which may come later.
                    spinUntil([&] { return since("inserted").has_value() || refused(); }, 10s);
                }
                phases.stopTakesEffect = since("stop");
                phases.transcript = since("transcript");
                phases.reply = since("reply");
                phases.inserted = since("inserted");
                std::printf("%5.0f s %4d %12s %12s %12s %12s %12s\n", seconds, i + 1,
                            shown(phases.stopTakesEffect).c_str(), shown(phases.transcript).c_str(),
                            shown(phases.reply).c_str(), shown(phases.inserted).c_str(),
                            shown(phases.verified).c_str());
                {
                    int started = 0;
                    int replied = 0;
                    for (const auto& mark : kivo.marks()) {
                        started += mark.seconds >= asked && mark.phase == "ahead";
                        replied += mark.seconds >= asked && mark.phase == "ahead-reply";
                    }
                    std::printf("  converted while speaking: %d of %d pieces started\n", replied, started);
                }
                std::fflush(stdout);
                if (!phases.transcript || !phases.reply || !phases.inserted || !phases.verified) {
                    status = 1;
                    for (const auto& mark : kivo.marks()) {
                        if (mark.seconds >= stop) {
                            std::printf("  %s at %.2f s\n", mark.phase.c_str(), mark.seconds - stop);
                        }
                    }
                    const auto text = targetText();
                    std::printf("  target holds: %s\n",
                                text ? QString::fromStdU16String(*text).toUtf8().constData() : "(unreadable)");
                } else {
                    verifiedTimes[seconds].push_back(*phases.verified);
                }
                // An empty target for the next run.
                RealApplication::key(QStringLiteral("ctrl+a"));
                RealApplication::key(QStringLiteral("Delete"));
                spinUntil([] { return false; }, 500ms);
            }
        }
        for (const auto& [seconds, times] : verifiedTimes) {
            std::printf("%.0f s speech: stop → verified text, median of %zu: %.2f s\n", seconds, times.size(),
                        median(times));
        }
        std::printf("load average at end: %s\n", loadAverage().c_str());
    } catch (const std::exception& error) {
        std::fprintf(stderr, "e2e_benchmark: %s\n", error.what());
        status = 1;
    }
    fs::remove_all(root);
    return status;
}
