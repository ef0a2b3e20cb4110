#include "app/controller/Conversion.h"

#include "app/controller/ConversionAhead.h"
#include "app/controller/MainThreadCall.h"
#include "app/controller/RunFailureMessage.h"
#include "app/controller/RunLock.h"
#include "app/controller/RunnerPreparation.h"
#include "app/controller/RunnerProcess.h"
#include "app/controller/SessionHost.h"
#include "app/conversion/ConversionError.h"
#include "app/conversion/TextPieces.h"
#include "app/models/ModelAdvice.h"
#include "app/models/ModelStore.h"
#include "app/shell/FloatingPanel.h"
#include "platform/text/CharacterClass.h"
#include "platform/text/Utf16.h"
#include "platform/time/PhaseTrace.h"
#include "protocol/RewriteReply.h"

#include <QPointer>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <utility>

namespace kivo {
namespace {

// A piece's trailing breaks are the text's own; the runner drops them.
std::string trailingBreaks(const std::string& piece)
{
    const std::size_t kept = piece.find_last_not_of(" \t\n");
    return piece.substr(kept == std::string::npos ? 0 : kept + 1);
}

std::string decodedLossy(const std::string& bytes)
{
    return QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size())).toStdString();
}

} // namespace

Conversion::Conversion(SessionHost& host, std::filesystem::path resourcesDirectory, std::string lockPath,
                       std::chrono::milliseconds timeLimit)
    : host_(host), resourcesDirectory_(std::move(resourcesDirectory)), lockPath_(std::move(lockPath)),
      timeLimit_(timeLimit), ahead_(std::make_unique<ConversionAhead>(resourcesDirectory_, lockPath_, timeLimit))
{
}

Conversion::~Conversion()
{
    ahead_.reset();
    preparation_.reset();
    timer_.reset();
    process_.reset();
    unlock();
}

QString Conversion::naming(QString status, const OutputMode& mode)
{
    // The mode's status title is Chinese only: a translation names the mode where it writes %m.
    return status.replace(QStringLiteral("%m"), QString::fromUtf8(mode.title()));
}

OutputMode Conversion::selectedMode() const
{
    return OutputMode::at(
        std::clamp(host_.panel().state().settings.modeIndex, 0, static_cast<int>(OutputMode::all().size()) - 1));
}

void Conversion::run()
{
    if (!host_.activity().idle()) {
        return;
    }
    FloatingPanel& panel = host_.panel();
    const OutputMode mode = selectedMode();
    std::string source;
    std::vector<LiteralMasking::Span> spans;
    std::string request;
    try {
        source = OutputMode::selectedSource(panel.state().source.toStdString(), panel.state().selection);
        if (pieceRun_) {
            source = pieceRun_->pieces[pieceRun_->next];
        } else {
            // The sentence being converted in the background is this text's: it is waited for.
            if (ahead_->running() && ahead_->serves(source, mode)) {
                waitingForAhead_ = true;
                host_.updateControls();
                runningStatus_ = naming(tr("Processing (up to 30 s)…"), mode);
                panel.setStatus(runningStatus_);
                ahead_->finishThen(
                    [this] {
                        waitingForAhead_ = false;
                        run();
                    },
                    [this](int written, int expected) {
                        host_.panel().setStatus(withProgress(runningStatus_, written, expected));
                    });
                return;
            }
            ahead_->stop();
            if (startFromConvertedAhead(source, mode)) {
                return;
            }
            if (pieceRun_) {
                source = pieceRun_->pieces[pieceRun_->next];
            } else {
                const double limit = std::chrono::duration<double>(timeLimit_).count();
                auto pieces = TextPieces::split(source, pace_.pieceLimit(limit));
                if (pieces.size() > 1) {
                    pieceRun_ = PieceRun{source, std::move(pieces), 0, {}};
                    source = pieceRun_->pieces.front();
                }
            }
        }
        PreparedRequest prepared = mode.request(source, resourcesDirectory_);
        spans = std::move(prepared.spans);
        request = prepared.request.json();
    } catch (const ConversionError& error) {
        return startFailure(QString::fromStdString(RunFailureMessage::forConversion(error)));
    } catch (const std::exception& error) {
        return startFailure(QString::fromStdString(error.what()));
    }

    const RunLock::Attempt lock = RunLock::acquire(lockPath_);
    if (lock.outcome != RunLock::Outcome::locked) {
        pieceRun_.reset();
    }
    if (lock.outcome == RunLock::Outcome::cannotOpen) {
        return panel.setStatus(QString::fromStdString(RunFailureMessage::lockUnavailable()));
    }
    if (lock.outcome == RunLock::Outcome::unsafe) {
        return panel.setStatus(QString::fromStdString(RunFailureMessage::lockUnsafe(lockPath_)));
    }
    if (lock.outcome == RunLock::Outcome::held) {
        return panel.setStatus(QString::fromStdString(RunFailureMessage::lockHeld()));
    }
    lockFD_ = lock.descriptor;
    // The conversion keeps the same state itself if the preparation had not finished.
    stopPreparation();

    const std::filesystem::path runner = resourcesDirectory_ / "rewrite-runner";
    auto launchFailure = [&](const RunnerProcess::LaunchError& error) {
        startFailure(
            QString::fromStdString(RunFailureMessage::launchFailed(runner.string(), std::strerror(error.code()))));
    };
    try {
        process_ = std::make_unique<RunnerProcess>(runner);
    } catch (const RunnerProcess::LaunchError& error) {
        return launchFailure(error);
    }

    panel.setResult({}, false);
    epoch_ = QUuid::createUuid();
    host_.updateControls();
    if (pieceRun_) {
        const QString count = QStringLiteral("%1 / %2").arg(pieceRun_->next + 1).arg(pieceRun_->pieces.size());
        runningStatus_ = naming(tr("Processing %1 (up to 30 s each)…").arg(count), mode);
    } else {
        runningStatus_ = naming(tr("Processing (up to 30 s)…"), mode);
    }
    panel.setStatus(runningStatus_);

    // The completion hops to the main thread and holds the flow weakly; the epoch tells it
    // whether the run is still the current one.
    QPointer<Conversion> weak(this);
    Run run{epoch_, mode, source, spans};
    try {
        process_->launch(
            std::move(request),
            [weak, run](RunnerProcess::Output output) {
                callOnMainThread(weak, [run, output = std::move(output)](Conversion& conversion) {
                    conversion.complete(run, {output.output, output.error, output.exitedNormally, output.exitStatus});
                });
            },
            [weak, epoch = epoch_](int written, int expected) {
                callOnMainThread(weak, [epoch, written, expected](Conversion& conversion) {
                    conversion.showProgress(epoch, written, expected);
                });
            });
    } catch (const RunnerProcess::LaunchError& error) {
        return launchFailure(error);
    }

    timer_ = std::make_unique<QTimer>();
    timer_->setSingleShot(true);
    // The limit is a promise to the user: never earlier than stated.
    timer_->setTimerType(Qt::PreciseTimer);
    timer_->setInterval(timeLimit_);
    connect(timer_.get(), &QTimer::timeout, this,
            [this] { stop(QString::fromStdString(RunFailureMessage::timedOut())); });
    timer_->start();
}

void Conversion::showProgress(const QUuid& epoch, int written, int expected)
{
    // A report queued behind the reply, or from a run already stopped, would overwrite its status.
    if (epoch != epoch_ || !process_ || process_->hasExited()) {
        return;
    }
    host_.panel().setStatus(withProgress(runningStatus_, written, expected));
}

QString Conversion::withProgress(const QString& status, int written, int expected)
{
    // The expected length is an estimate; an answer running longer shows its own count.
    return status + QLatin1Char(' ') +
           tr("%1 of about %2 tokens written").arg(written).arg(std::max(written, expected));
}

void Conversion::startFailure(const QString& message)
{
    pieceRun_.reset();
    process_.reset();
    unlock();
    host_.updateControls();
    host_.panel().setResult({}, false);
    host_.panel().setStatus(message);
}

void Conversion::complete(const Run& run, const Reply& reply)
{
    if (run.epoch != epoch_) {
        return;
    }
    PhaseTrace::mark("reply");
    timer_.reset();
    process_.reset();
    unlock();
    host_.updateControls();
    QString failure;
    try {
        return showResult(run, reply);
    } catch (const RunError& error) {
        failure = QString::fromStdString(error.what());
    } catch (const ConversionError& error) {
        failure = QString::fromStdString(RunFailureMessage::forConversion(error));
    }
    pieceRun_.reset();
    host_.panel().setResult({}, false);
    // Shown in both interface languages as it is, so not in the catalogue.
    host_.panel().setStatus(QStringLiteral("未完成：") + failure + QStringLiteral(" 原文保留。"),
                            std::exchange(modelsDetails_, std::nullopt));
}

void Conversion::showResult(const Run& run, const Reply& reply)
{
    const auto unreadable = [&] {
        return RunError(RunFailureMessage::forUnreadableReply(decodedLossy(reply.error), reply.output,
                                                              reply.exitedNormally, reply.exitStatus));
    };
    if (!reply.exitedNormally || reply.exitStatus != 0) {
        throw unreadable();
    }
    const std::optional<RewriteReply> answer = RewriteReply::read(reply.output);
    if (!answer) {
        throw unreadable();
    }
    if (answer->status != RewriteReply::Status::generated || !answer->text) {
        // A missing or broken model file is the one failure the user can fix alone: say how,
        // rather than pass on the runner's generic wording.
        if (answer->availability && !answer->availability->isAvailable()) {
            const auto advice = ModelAdvice::languageUnavailable(answer->availability->explanation());
            modelsDetails_ = QString::fromStdString(advice.details);
            throw RunError(advice.status);
        }
        if (answer->failure) {
            if (const auto actionable =
                    RunFailureMessage::forRunnerError(answer->failure->errorType, answer->failure->error)) {
                throw RunError(*actionable);
            }
            throw RunError(!answer->failure->localizedError.empty() ? answer->failure->localizedError
                                                                    : answer->failure->error);
        }
        throw RunError(RunFailureMessage::noResult());
    }
    std::string restored = run.mode.restore(*answer->text, run.source, run.spans);
    if (CharacterClass::trimWhitespaceAndNewlines(Utf16::fromUtf8(restored)).empty()) {
        throw RunError(RunFailureMessage::emptyResult());
    }

    QString seconds = QStringLiteral("?");
    if (answer->elapsedSeconds) {
        char buffer[32];
        std::snprintf(buffer, sizeof buffer, "%.1f", *answer->elapsedSeconds);
        seconds = QString::fromLatin1(buffer);
        pace_.observe(static_cast<std::size_t>(QString::fromStdString(run.source).toUcs4().size()),
                      *answer->elapsedSeconds);
    }
    std::string reviewed = run.source;
    if (pieceRun_) {
        pieceRun_->converted += restored + trailingBreaks(run.source);
        if (++pieceRun_->next < pieceRun_->pieces.size()) {
            QTimer::singleShot(0, this, [this] { this->run(); });
            return;
        }
        restored = pieceRun_->converted.substr(0, pieceRun_->converted.find_last_not_of(" \t\n") + 1);
        reviewed = pieceRun_->source;
        pieceRun_.reset();
    }

    present(run.mode, restored, reviewed, seconds);
}

void Conversion::present(const OutputMode& mode, const std::string& restored, const std::string& reviewed,
                         const QString& seconds)
{
    FloatingPanel& panel = host_.panel();
    panel.setResult(QString::fromStdString(restored), true);
    panel.showEditor();

    if (!mode.needsReview(restored, reviewed)) {
        panel.setStatus(naming(tr("Completed in %1 s.").arg(seconds), mode));
        if (panel.state().settings.autoInsert) {
            host_.insert(restored);
        } else {
            panel.appendStatus(tr(" Review before copying."));
        }
    } else {
        panel.setStatus(tr("Review needed · %1 s. Output may retain colloquial wording or change meaning. Compare "
                           "with the original; not inserted.")
                            .arg(seconds));
    }
}

bool Conversion::startFromConvertedAhead(const std::string& source, const OutputMode& mode)
{
    const std::vector<ConversionAhead::Piece> ready = ahead_->piecesStarting(source, mode);
    if (ready.empty()) {
        return false;
    }
    PieceRun pieceRun{source, {}, ready.size(), {}};
    std::size_t done = 0;
    for (const auto& piece : ready) {
        pieceRun.pieces.push_back(piece.source);
        pieceRun.converted += piece.converted + trailingBreaks(piece.source);
        done += piece.source.size();
    }
    if (done < source.size()) {
        const double limit = std::chrono::duration<double>(timeLimit_).count();
        for (auto& piece : TextPieces::split(source.substr(done), pace_.pieceLimit(limit))) {
            pieceRun.pieces.push_back(std::move(piece));
        }
        pieceRun_ = std::move(pieceRun);
        return false;
    }
    // Every sentence was converted while the user spoke.
    PhaseTrace::mark("reply");
    epoch_ = QUuid::createUuid();
    host_.updateControls();
    const std::string joined = pieceRun.converted.substr(0, pieceRun.converted.find_last_not_of(" \t\n") + 1);
    present(mode, joined, source, QStringLiteral("0.0"));
    return true;
}

void Conversion::end()
{
    ahead_->stop();
    waitingForAhead_ = false;
    pieceRun_.reset();
    epoch_ = QUuid::createUuid();
    timer_.reset();
    if (process_) {
        process_->kill();
    }
    process_.reset();
    unlock();
}

void Conversion::stop(const QString& message)
{
    end();
    host_.panel().setResult({}, false);
    host_.updateControls();
    host_.panel().setStatus(message);
}

void Conversion::transcriptBegins()
{
    const PanelSettings& settings = host_.panel().state().settings;
    if (settings.autoProcess && settings.convertWhileSpeaking) {
        ahead_->restart(selectedMode());
    } else {
        ahead_->stop();
    }
}

void Conversion::transcriptSettled(const std::string& text)
{
    ahead_->settled(text);
}

void Conversion::convertAheadInSelectedMode()
{
    ahead_->changeMode(selectedMode());
}

void Conversion::prepare()
{
    stopPreparation();
    if (host_.activity().restarting || process_ || !ModelStore::installed(ModelRole::language)) {
        return;
    }
    // The mode's requests around stand-in texts, one without and one with a Latin literal, since
    // a literal adds a note to the instructions; the runner never evaluates the source itself.
    const OutputMode mode = selectedMode();
    std::vector<std::string> requests;
    for (const char* standIn : {"好", "好 OK"}) {
        try {
            requests.push_back(mode.request(standIn, resourcesDirectory_).request.json());
        } catch (const std::exception&) {
            // Unreadable instructions: the conversion will say so.
        }
    }
    if (!preparation_) {
        preparation_ = std::make_unique<RunnerPreparation>(resourcesDirectory_ / "rewrite-runner");
    }
    preparation_->start(std::move(requests));
}

void Conversion::stopPreparation()
{
    if (preparation_) {
        preparation_->stop();
    }
}

void Conversion::unlock()
{
    RunLock::release(lockFD_);
}

} // namespace kivo
