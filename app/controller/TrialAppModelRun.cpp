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

#include <QCheckBox>
#include <QCoreApplication>
#include <QPlainTextEdit>
#include <QPointer>
#include <QTimer>

#include <nlohmann/json.hpp>

#include <cstdio>
#include <cstring>

namespace kivo {
namespace {

std::string decodedLossy(const std::string& bytes)
{
    return QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size())).toStdString();
}

std::optional<std::string> stringField(const nlohmann::json& object, const char* key)
{
    const auto field = object.find(key);
    if (field != object.end() && field->is_string()) {
        return field->get<std::string>();
    }
    return std::nullopt;
}

} // namespace

void TrialApp::runModel()
{
    if (restartInProgress_ || process_ || speechBusy_ || deliveryTask_) {
        return;
    }
    const WritingMode mode = selectedMode();
    std::string source;
    std::vector<V7Literals::Span> spans;
    std::string request;
    try {
        source = WritingMode::selectedSource(panel_->before->toPlainText().toStdString(), beforeSelection());
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
        const RequestDictionary dictionary = mode.request(source, resourcesDirectory_);
        spans = V7Literals::decodeSpans(dictionary.at("literalMapJSON"));
        request = nlohmann::json(dictionary).dump();
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
        return setStatus(tr("無法取得 AFM 執行鎖。", "Unable to obtain the AFM process lock."));
    }
    if (lock.outcome == RunLock::Outcome::unsafe) {
        const QString path = QString::fromStdString(lockPath_);
        return setStatus(chinese() ? QStringLiteral("AFM 執行鎖 %1 不安全（不是你的檔案、權限不是 0600，或是連結）；"
                                                    "請刪除它後重試。").arg(path)
                                   : QStringLiteral("The AFM process lock %1 is unsafe (not your file, permissions "
                                                    "other than 0600, or a link). Delete it and try again.").arg(path));
    }
    if (lock.outcome == RunLock::Outcome::held) {
        return setStatus(tr("另一個 AFM 測試正在執行，請稍後重試。", "Another AFM test is running. Try again later."));
    }
    lockFD_ = lock.descriptor;
    // The conversion keeps the same state itself if the preparation had not finished.
    stopModelPreparation();

    const std::filesystem::path runner = resourcesDirectory_ / "rewrite-runner";
    auto launchFailure = [&](const RunnerProcess::LaunchError& error) {
        const QString path = QString::fromStdString(runner.string());
        const QString reason = QString::fromLocal8Bit(std::strerror(error.code()));
        startFailure(chinese() ? QStringLiteral("無法啟動 AFM 執行程式 %1：%2").arg(path, reason)
                               : QStringLiteral("Could not start the AFM runner %1: %2").arg(path, reason));
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
            app->stopModel(app->tr("AFM 超過 30 秒，已停止；原文保留。", "AFM stopped after 30 seconds. Original retained."));
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
    const nlohmann::json reply = nlohmann::json::parse(output, nullptr, false);
    if (reply.is_discarded() || !reply.is_object()) {
        throw unreadable();
    }
    const auto status = stringField(reply, "status");
    const auto text = stringField(reply, "text");
    if (status != "generated" || !text) {
        // A missing or broken model file is the one failure the user can fix alone: say how,
        // rather than pass on the runner's generic wording.
        const auto availability = stringField(reply, "availability");
        if (availability && availability->starts_with("unavailable(")) {
            const std::string detail = availability->substr(12, availability->size() - 13);
            offerModelsWithStatus_ = true;
            throw TrialError(ModelAdvice::languageUnavailable(detail, chinese()));
        }
        if (const auto actionable = RunFailureMessage::forRunnerError(
                stringField(reply, "errorType").value_or(""), stringField(reply, "error").value_or(""), chinese())) {
            throw TrialError(*actionable);
        }
        if (const auto localized = stringField(reply, "localizedError")) {
            throw TrialError(*localized);
        }
        if (const auto described = stringField(reply, "error")) {
            throw TrialError(*described);
        }
        throw TrialError("AFM 沒有產生結果。");
    }
    std::string restored = run.mode.restore(*text, run.source, run.spans);
    if (CharacterClass::trimWhitespaceAndNewlines(Utf16::fromUtf8(restored)).empty()) {
        throw TrialError("AFM 回傳空白結果。");
    }

    QString seconds = QStringLiteral("?");
    if (const auto elapsed = reply.find("elapsedSeconds"); elapsed != reply.end() && elapsed->is_number()) {
        char buffer[32];
        std::snprintf(buffer, sizeof buffer, "%.1f", elapsed->get<double>());
        seconds = QString::fromLatin1(buffer);
        pace_.observe(static_cast<std::size_t>(QString::fromStdString(run.source).toUcs4().size()), elapsed->get<double>());
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
    const WritingMode mode = selectedMode();
    std::vector<std::string> requests;
    for (const char* standIn : {"好", "好 OK"}) {
        try {
            requests.push_back(nlohmann::json(mode.request(standIn, resourcesDirectory_)).dump());
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
