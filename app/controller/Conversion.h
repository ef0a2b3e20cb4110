#pragma once

#include "app/conversion/ConversionPace.h"
#include "app/conversion/LiteralMasking.h"
#include "app/conversion/OutputMode.h"

#include <QCoreApplication>
#include <QObject>
#include <QString>
#include <QUuid>

#include <chrono>
#include <filesystem>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

class QTimer;

namespace kivo {

class ConversionAhead;
class RunnerPreparation;
class RunnerProcess;
class SessionHost;

// A conversion of the source by the language model: the run lock, one rewrite-runner child,
// its time limit, the reply shown as the result or as a failure, and the background runs that
// prepare the current mode ahead of the first conversion. Runs on the Qt main thread.
class Conversion : public QObject {
    Q_DECLARE_TR_FUNCTIONS(Conversion)

public:
    // A failed run; the message is what the user is shown.
    class RunError : public std::runtime_error {
    public:
        explicit RunError(const std::string& message) : std::runtime_error(message) {}
    };

    Conversion(SessionHost& host, std::filesystem::path resourcesDirectory, std::string lockPath,
               std::chrono::milliseconds timeLimit);
    ~Conversion() override;

    // Converts the selected part of the source, or all of it.
    void run();
    void stop(const QString& message);
    // Ends the run without touching the interface: a new epoch, no timer, the runner killed, the lock freed.
    void end();
    // Keeps the current mode's constant instructions evaluated ahead of the first conversion:
    // a background runner on idle processor time, stopped when a conversion starts, the mode
    // changes again or the app ends. Nothing happens without a language model.
    void prepare();
    void stopPreparation();
    // While recording: a transcript begins, and its settled start grows. With processing after
    // recording and converting while speaking on, its whole sentences are converted meanwhile.
    void transcriptBegins();
    void transcriptSettled(const std::string& text);
    // The mode changed: sentences converted while the user speaks are converted again in it.
    void convertAheadInSelectedMode();

    bool running() const { return process_ != nullptr || waitingForAhead_; }
    bool timed() const { return timer_ != nullptr; }
    // Changes whenever a run starts or ends: a result is still the one shown while it holds.
    QUuid epoch() const { return epoch_; }
    int lockDescriptor() const { return lockFD_; }
    RunnerPreparation* preparation() const { return preparation_.get(); }

private:
    struct Run {
        QUuid epoch;
        OutputMode mode;
        std::string source;
        std::vector<LiteralMasking::Span> spans;
    };
    // A text too long to convert within the limit: one run per piece, joined before review.
    struct PieceRun {
        std::string source;
        std::vector<std::string> pieces;
        std::size_t next = 0;
        std::string converted;
    };
    struct Reply {
        std::string output;
        std::string error;
        bool exitedNormally = false;
        int exitStatus = 0;
    };

    OutputMode selectedMode() const;
    // The runner's report of answer tokens written, while `epoch` is still the current run.
    void showProgress(const QUuid& epoch, int written, int expected);
    static QString withProgress(const QString& status, int written, int expected);
    void startFailure(const QString& message);
    void complete(const Run& run, const Reply& reply);
    void showResult(const Run& run, const Reply& reply);
    // The whole result, `reviewed` being the text it came from.
    void present(const OutputMode& mode, const std::string& restored, const std::string& reviewed,
                 const QString& seconds);
    // The pieces converted while the user spoke start a piece run; true when they are all of it.
    bool startFromConvertedAhead(const std::string& source, const OutputMode& mode);
    void unlock();
    // A status text with the mode named where its language names it.
    static QString naming(QString status, const OutputMode& mode);

    SessionHost& host_;
    std::filesystem::path resourcesDirectory_;
    std::string lockPath_;
    std::chrono::milliseconds timeLimit_;
    std::optional<PieceRun> pieceRun_;
    // The status of the run in progress, before any report of its progress.
    QString runningStatus_;
    ConversionPace pace_;
    std::unique_ptr<RunnerProcess> process_;
    std::unique_ptr<RunnerPreparation> preparation_;
    std::unique_ptr<ConversionAhead> ahead_;
    bool waitingForAhead_ = false;
    std::unique_ptr<QTimer> timer_;
    QUuid epoch_ = QUuid::createUuid();
    int lockFD_ = -1;
    // A failure the user fixes in the Models window: the next status offers it with these details.
    std::optional<QString> modelsDetails_;
};

} // namespace kivo
