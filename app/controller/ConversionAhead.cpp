#include "app/controller/ConversionAhead.h"

#include "app/controller/MainThreadCall.h"
#include "app/controller/RunLock.h"
#include "app/controller/RunnerProcess.h"
#include "app/conversion/TextPieces.h"
#include "platform/text/CharacterClass.h"
#include "platform/text/Utf16.h"
#include "platform/time/PhaseTrace.h"
#include "protocol/RewriteReply.h"

#include <QPointer>
#include <QTimer>

#include <utility>

namespace kivo {
namespace {

constexpr qsizetype unpunctuatedPiece = 16; // characters

} // namespace

ConversionAhead::ConversionAhead(std::filesystem::path resourcesDirectory, std::string lockPath,
                                 std::chrono::milliseconds timeLimit)
    : resourcesDirectory_(std::move(resourcesDirectory)), lockPath_(std::move(lockPath)), timeLimit_(timeLimit)
{
}

ConversionAhead::~ConversionAhead()
{
    endRun();
}

void ConversionAhead::restart(const OutputMode& mode)
{
    endRun();
    mode_ = mode;
    settled_.clear();
    pieces_.clear();
    covered_ = 0;
    stopped_ = false;
}

void ConversionAhead::changeMode(const OutputMode& mode)
{
    if (stopped_ || !mode_ || *mode_ == mode) {
        return;
    }
    endRun();
    mode_ = mode;
    pieces_.clear();
    covered_ = 0;
    launchNext();
}

void ConversionAhead::settled(const std::string& text)
{
    // Settled text only grows; anything else is another transcript, never mixed with this one.
    if (stopped_ || text.compare(0, settled_.size(), settled_) != 0) {
        return;
    }
    settled_ = text;
    if (!running()) {
        launchNext();
    }
}

void ConversionAhead::stop()
{
    stopped_ = true;
    then_ = nullptr;
    progress_ = nullptr;
    endRun();
}

void ConversionAhead::finishThen(std::function<void()> then, std::function<void(int, int)> progress)
{
    stopped_ = true;
    if (!running()) {
        then();
        return;
    }
    then_ = std::move(then);
    progress_ = std::move(progress);
}

bool ConversionAhead::serves(const std::string& source, const OutputMode& mode) const
{
    return mode_ && *mode_ == mode && source.compare(0, covered_ + running_, settled_, 0, covered_ + running_) == 0;
}

std::vector<ConversionAhead::Piece> ConversionAhead::piecesStarting(const std::string& source,
                                                                    const OutputMode& mode) const
{
    std::vector<Piece> pieces;
    if (!mode_ || !(*mode_ == mode)) {
        return pieces;
    }
    std::size_t at = 0;
    for (const Piece& piece : pieces_) {
        if (source.compare(at, piece.source.size(), piece.source) != 0) {
            break;
        }
        at += piece.source.size();
        pieces.push_back(piece);
    }
    return pieces;
}

void ConversionAhead::launchNext()
{
    if (stopped_ || !mode_) {
        return;
    }
    const std::string rest = settled_.substr(covered_);
    std::size_t whole = TextPieces::wholeSentences(rest);
    // A recogniser that writes no punctuation still closes its windows: a long enough settled
    // stretch without a sentence end goes as it is.
    if (whole == 0 && QString::fromStdString(rest).toUcs4().size() >= unpunctuatedPiece) {
        whole = rest.size();
    }
    const std::string source = rest.substr(0, whole);
    if (source.empty() || CharacterClass::trimWhitespaceAndNewlines(Utf16::fromUtf8(source)).empty()) {
        return;
    }
    std::string request;
    std::vector<LiteralMasking::Span> spans;
    try {
        PreparedRequest prepared = mode_->request(source, resourcesDirectory_);
        spans = std::move(prepared.spans);
        request = prepared.request.json();
    } catch (const std::exception&) {
        return stop(); // the final conversion says what is wrong with the text
    }
    // Another conversion (another Kivo, a probe) has the model: this is not worth waiting for.
    const RunLock::Attempt lock = RunLock::acquire(lockPath_);
    if (lock.outcome != RunLock::Outcome::locked) {
        return;
    }
    lockFD_ = lock.descriptor;
    PhaseTrace::mark("ahead");
    const unsigned run = ++run_;
    running_ = source.size();
    QPointer<ConversionAhead> weak(this);
    try {
        process_ = std::make_unique<RunnerProcess>(resourcesDirectory_ / "rewrite-runner", std::vector<std::string>{},
                                                   RunnerProcess::Priority::background);
        process_->launch(
            std::move(request),
            [weak, run, source, spans](RunnerProcess::Output output) {
                callOnMainThread(weak, [run, source, spans, output = std::move(output)](ConversionAhead& ahead) {
                    ahead.finished(run, source, spans, output.exitedNormally, output.exitStatus, output.output);
                });
            },
            [weak, run](int written, int expected) {
                callOnMainThread(weak, [run, written, expected](ConversionAhead& ahead) {
                    if (ahead.run_ == run && ahead.progress_) {
                        ahead.progress_(written, expected);
                    }
                });
            });
    } catch (const RunnerProcess::LaunchError&) {
        return stop();
    }
    timer_ = std::make_unique<QTimer>();
    timer_->setSingleShot(true);
    timer_->setInterval(timeLimit_);
    connect(timer_.get(), &QTimer::timeout, this, [this] { stop(); });
    timer_->start();
}

void ConversionAhead::finished(unsigned run, const std::string& source, const std::vector<LiteralMasking::Span>& spans,
                               bool exitedNormally, int exitStatus, const std::string& output)
{
    if (run != run_ || !process_) {
        return;
    }
    endRun();
    PhaseTrace::mark("ahead-reply");
    const std::optional<RewriteReply> reply =
        exitedNormally && exitStatus == 0 ? RewriteReply::read(output) : std::nullopt;
    std::optional<std::string> restored;
    if (reply && reply->status == RewriteReply::Status::generated && reply->text) {
        try {
            restored = mode_->restore(*reply->text, source, spans);
        } catch (const std::exception&) {
        }
    }
    // A piece that failed is left to the final conversion, which reports why.
    if (!restored || CharacterClass::trimWhitespaceAndNewlines(Utf16::fromUtf8(*restored)).empty()) {
        stopped_ = true;
    } else {
        pieces_.push_back({source, std::move(*restored)});
        covered_ += source.size();
        launchNext();
    }
    if (!running() && then_) {
        progress_ = nullptr;
        std::exchange(then_, nullptr)();
    }
}

void ConversionAhead::endRun()
{
    ++run_;
    running_ = 0;
    timer_.reset();
    if (process_) {
        process_->kill();
    }
    process_.reset();
    RunLock::release(lockFD_);
}

} // namespace kivo
