// The client side of a model run: lock, child process, time limit and the reply.
#include "app/controller/TrialApp.h"

#include "app/controller/RunFailureMessage.h"
#include "app/controller/RunLock.h"
#include "app/controller/RunnerPreparation.h"
#include "app/controller/RunnerProcess.h"
#include "app/conversion/ConversionError.h"
#include "app/conversion/TextPieces.h"
#include "platform/time/PhaseTrace.h"
#include "app/shell/FloatingButton.h"
#include "app/shell/StatusLabel.h"
#include "app/shell/models/ModelAdvice.h"
#include "app/shell/models/ModelStore.h"
#include "platform/text/CharacterClass.h"
#include "platform/text/Utf16.h"
#include "protocol/RewriteReply.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QPlainTextEdit>
#include <QPointer>
#include <QTimer>

#include <cstdio>
#include <cstring>

namespace kivo {
namespace {

std::string decodedLossy(const std::string& bytes)
{
    return QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size())).toStdString();
}

} // namespace

void TrialApp::runModel()
{
    if (restartInProgress_ || process_ || speechBusy_ || deliveryTask_) {
        return;
    }
    const OutputMode mode = selectedMode();
    std::string source;
    std::vector<LiteralMasking::Span> spans;
    std::string request;
    try {
        source = OutputMode::selectedSource(panel_->before->toPlainText().toStdString(), beforeSelection());
        if (pieceRun_) {
            source = pieceRun_->pieces[pieceRun_->next];
        } else {
            const double limit = std::chrono::duration<double>(options_.modelTimeLimit).count();
            auto pieces = TextPieces::split(source, pace_.pieceLimit(limit));
            if (pieces.size() > 1) {
                pieceRun_ = PieceRun{source, std::move(pieces), 0, {}};
                source = pieceRun_->pieces.front();
            }
        }
        PreparedRequest prepared = mode.request(source, resourcesDirectory_);
        spans = std::move(prepared.spans);
        request = prepared.request.json();
    } catch (const ConversionError& error) {
        return startFailure(QString::fromStdString(RunFailureMessage::forConversion(error, chinese())));
    } catch (const std::exception& error) {
        return startFailure(QString::fromStdString(error.what()));
    }

    const RunLock::Attempt lock = RunLock::acquire(lockPath_);
    if (lock.outcome != RunLock::Outcome::locked) {
        pieceRun_.reset();
    }
    if (lock.outcome == RunLock::Outcome::cannotOpen) {
        return setStatus(QString::fromStdString(RunFailureMessage::lockUnavailable(chinese())));
    }
    if (lock.outcome == RunLock::Outcome::unsafe) {
        return setStatus(QString::fromStdString(RunFailureMessage::lockUnsafe(lockPath_, chinese())));
    }
    if (lock.outcome == RunLock::Outcome::held) {
        return setStatus(QString::fromStdString(RunFailureMessage::lockHeld(chinese())));
    }
    lockFD_ = lock.descriptor;
    // The conversion keeps the same state itself if the preparation had not finished.
    stopModelPreparation();

    const std::filesystem::path runner = resourcesDirectory_ / "rewrite-runner";
    auto launchFailure = [&](const RunnerProcess::LaunchError& error) {
        startFailure(QString::fromStdString(
            RunFailureMessage::launchFailed(runner.string(), std::strerror(error.code()), chinese())));
    };
    try {
        process_ = std::make_unique<RunnerProcess>(runner);
    } catch (const RunnerProcess::LaunchError& error) {
        return launchFailure(error);
    }

    invalidateResult();
    epoch_ = QUuid::createUuid();
    updateControls();
    if (pieceRun_) {
        const QString count = QStringLiteral("%1 / %2").arg(pieceRun_->next + 1).arg(pieceRun_->pieces.size());
        setStatus(chinese() ? QString::fromUtf8(mode.title()) + QStringLiteral("處理中 ") + count +
                                  QStringLiteral("（每段最多 30 秒）…")
                            : QStringLiteral("Processing ") + count + QStringLiteral(" (up to 30 s each)…"));
    } else {
        setStatus(chinese() ? QString::fromUtf8(mode.title()) + QStringLiteral("處理中（最多 30 秒）…")
                            : QStringLiteral("Processing (up to 30 s)…"));
    }

    // The completion hops to the main thread and holds the controller weakly; the epoch tells
    // it whether the run is still the current one.
    QPointer<TrialApp> weak(this);
    RunContext run{epoch_, mode, source, spans};
    try {
        process_->launch(std::move(request), [weak, run](RunnerProcess::Output output) {
            QMetaObject::invokeMethod(QCoreApplication::instance(), [weak, run, output = std::move(output)] {
                if (TrialApp* app = weak.data()) {
                    app->completeRun(run, output.output, output.error, output.exitedNormally, output.exitStatus);
                }
            }, Qt::QueuedConnection);
        });
    } catch (const RunnerProcess::LaunchError& error) {
        return launchFailure(error);
    }

    timer_ = std::make_unique<QTimer>();
    timer_->setSingleShot(true);
    // The limit is a promise to the user: never earlier than stated.
    timer_->setTimerType(Qt::PreciseTimer);
    timer_->setInterval(options_.modelTimeLimit);
    connect(timer_.get(), &QTimer::timeout, this, [weak] {
        if (TrialApp* app = weak.data()) {
            app->stopModel(QString::fromStdString(RunFailureMessage::timedOut(app->chinese())));
        }
    });
    timer_->start();
}

void TrialApp::startFailure(const QString& message)
{
    pieceRun_.reset();
    process_.reset();
    unlock();
    updateControls();
    invalidateResult();
    setStatus(message);
}

void TrialApp::completeRun(const RunContext& run, const std::string& output, const std::string& error,
                           bool exitedNormally, int exitStatus)
{
    if (run.epoch != epoch_) {
        return;
    }
    PhaseTrace::mark("reply");
    timer_.reset();
    process_.reset();
    unlock();
    updateControls();
    try {
        showResult(run, output, error, exitedNormally, exitStatus);
    } catch (const TrialError& failure) {
        pieceRun_.reset();
        invalidateResult();
        setStatus(QStringLiteral("未完成：") + QString::fromStdString(failure.localizedDescription()) +
                  QStringLiteral(" 原文保留。"));
    } catch (const ConversionError& failure) {
        pieceRun_.reset();
        invalidateResult();
        setStatus(QStringLiteral("未完成：") + QString::fromStdString(RunFailureMessage::forConversion(failure, chinese())) +
                  QStringLiteral(" 原文保留。"));
    }
}

void TrialApp::showResult(const RunContext& run, const std::string& output, const std::string& error,
                          bool exitedNormally, int exitStatus)
{
    const auto unreadable = [&] {
        return TrialError(RunFailureMessage::forUnreadableReply(decodedLossy(error), output, exitedNormally, exitStatus,
                                                                chinese()));
    };
    if (!exitedNormally || exitStatus != 0) {
        throw unreadable();
    }
    const std::optional<RewriteReply> reply = RewriteReply::read(output);
    if (!reply) {
        throw unreadable();
    }
    if (reply->status != RewriteReply::Status::generated || !reply->text) {
        // A missing or broken model file is the one failure the user can fix alone: say how,
        // rather than pass on the runner's generic wording.
        if (reply->availability && !reply->availability->isAvailable()) {
            const auto advice = ModelAdvice::languageUnavailable(reply->availability->explanation(), chinese());
            offerModelsWithStatus_ = QString::fromStdString(advice.details);
            throw TrialError(advice.status);
        }
        if (reply->failure) {
            if (const auto actionable =
                    RunFailureMessage::forRunnerError(reply->failure->errorType, reply->failure->error, chinese())) {
                throw TrialError(*actionable);
            }
            throw TrialError(!reply->failure->localizedError.empty() ? reply->failure->localizedError
                                                                      : reply->failure->error);
        }
        throw TrialError(RunFailureMessage::noResult(chinese()));
    }
    std::string restored = run.mode.restore(*reply->text, run.source, run.spans);
    if (CharacterClass::trimWhitespaceAndNewlines(Utf16::fromUtf8(restored)).empty()) {
        throw TrialError(RunFailureMessage::emptyResult(chinese()));
    }

    QString seconds = QStringLiteral("?");
    if (reply->elapsedSeconds) {
        char buffer[32];
        std::snprintf(buffer, sizeof buffer, "%.1f", *reply->elapsedSeconds);
        seconds = QString::fromLatin1(buffer);
        pace_.observe(static_cast<std::size_t>(QString::fromStdString(run.source).toUcs4().size()), *reply->elapsedSeconds);
    }
    std::string reviewed = run.source;
    if (pieceRun_) {
        // The piece's trailing breaks are the text's own; the runner drops them.
        const std::size_t kept = run.source.find_last_not_of(" \t\n");
        pieceRun_->converted += restored + run.source.substr(kept == std::string::npos ? 0 : kept + 1);
        if (++pieceRun_->next < pieceRun_->pieces.size()) {
            QPointer<TrialApp> weak(this);
            QTimer::singleShot(0, this, [weak] {
                if (weak) {
                    weak->runModel();
                }
            });
            return;
        }
        restored = pieceRun_->converted.substr(0, pieceRun_->converted.find_last_not_of(" \t\n") + 1);
        reviewed = pieceRun_->source;
        pieceRun_.reset();
    }

    panel_->after->setPlainText(QString::fromStdString(restored));
    panel_->copyResult->setEnabled(true);
    panel_->showEditor();

    if (!run.mode.needsReview(restored, reviewed)) {
        setStatus(chinese() ? QString::fromUtf8(run.mode.title()) + QStringLiteral("完成 · ") + seconds + QStringLiteral(" 秒。")
                            : QStringLiteral("Completed in ") + seconds + QStringLiteral(" s."));
        if (panel_->autoInsert->isChecked()) {
            deliverProcessedText(restored);
        } else {
            panel_->status->append(tr(" 可檢閱後複製。", " Review before copying."));
        }
    } else {
        setStatus(chinese() ? QStringLiteral("需要檢閱 · ") + seconds +
                                  QStringLiteral(" 秒。結果可能仍有口語或語意偏差；請核對原文。沒有自動填入。")
                            : QStringLiteral("Review needed · ") + seconds +
                                  QStringLiteral(" s. Output may retain colloquial wording or change meaning. Compare with the original; not inserted."));
    }
}

void TrialApp::endModelRun()
{
    pieceRun_.reset();
    epoch_ = QUuid::createUuid();
    timer_.reset();
    if (process_) {
        process_->kill();
    }
    process_.reset();
    unlock();
}

void TrialApp::stopModel(const QString& message)
{
    endModelRun();
    invalidateResult();
    updateControls();
    setStatus(message);
}

void TrialApp::cancelRun()
{
    if (deliveryTask_) {
        return;
    }
    if (!speechBusy_) {
        stopModel(tr("已取消；原文保留。", "Cancelled. Original retained."));
        return;
    }
    recorder().cancel();
}

void TrialApp::prepareModel()
{
    stopModelPreparation();
    if (restartInProgress_ || process_ || !ModelStore::installed(ModelRole::language)) {
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

void TrialApp::stopModelPreparation()
{
    if (preparation_) {
        preparation_->stop();
    }
}

void TrialApp::unlock()
{
    RunLock::release(lockFD_);
}

} // namespace kivo
