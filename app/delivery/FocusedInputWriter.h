#pragma once

#include "app/delivery/FocusedInputAccess.h"
#include "app/delivery/InputDelivery.h"
#include "app/delivery/InputSnapshot.h"
#include "app/delivery/InputWriteStatus.h"

#include <QCoreApplication>
#include <QObject>
#include <QTimer>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace kivo::FocusedInputWriter {

using Delays = std::vector<std::chrono::nanoseconds>;
using Completion = std::function<void(InputDelivery)>;

// 50, 100, 200 and 400 ms: with the immediate check, five read-backs within about 750 ms.
Delays defaultVerificationDelays();

// The selection lies inside the text and neither bound splits a user-perceived character.
bool selectionIsWhole(const std::u16string& text, const TextRange& selection);
bool usesPaste(const InputSnapshot& snapshot);
std::string routeLine(const InputSnapshot& snapshot, bool paste);
std::string writeLine(InputWriteStatus status);
std::string readbackLine(std::int64_t readback, std::int64_t expected);
// The read-back shows exactly `expected`, allowing for the zero-width no-break space Gecko
// reports after an emoji it has just been given; nothing else differing is ever accepted.
bool readBackMatches(const std::u16string& readback, const std::u16string& expected);
// The baseline's text with its selection replaced by `text`.
std::u16string expectedText(const std::u16string& text, const InputSnapshot& baseline);

// One running insertion. It checks, writes at most once and verifies by reading back on
// timers, so the main thread is never blocked. The completion is posted to the event loop
// after the access has been released (finishPaste), so it may delete this object.
template <class Target>
class Insertion : public QObject {
public:
    Insertion(std::u16string text, FocusedInputAccess<Target>& access, Delays delays, Completion done)
        : text_(std::move(text)), access_(access), done_(std::move(done))
    {
        waits_.push_back(std::chrono::nanoseconds(0));
        waits_.insert(waits_.end(), delays.begin(), delays.end());
        timer_.setSingleShot(true);
        timer_.setTimerType(Qt::PreciseTimer);
        QObject::connect(&timer_, &QTimer::timeout, this, [this] { readBack(); });
    }

    ~Insertion() override
    {
        // A paste still on the clipboard must not keep the user's contents hostage.
        if (!finished_ && waiting_) {
            cancel();
        }
    }

    Insertion(const Insertion&) = delete;
    Insertion& operator=(const Insertion&) = delete;

    void start()
    {
        QTimer::singleShot(0, this, [this] { run(); });
    }

    // Before the write the insertion ends `changed`; during verification `uncertain`.
    void cancel()
    {
        cancelled_ = true;
        if (waiting_) {
            timer_.stop();
            readBack();
        }
    }

    bool finished() const { return finished_; }
    std::optional<InputDelivery> result() const { return result_; }

private:
    void run()
    {
        if (finished_) {
            return;
        }
        if (!access_.isTrusted()) {
            return finish(InputDelivery::permissionRequired);
        }
        if (text_.empty()) {
            return finish(InputDelivery::noInput);
        }
        target_ = access_.focusedTarget();
        if (!target_) {
            if (access_.focusIsPassword()) {
                return finish(InputDelivery::passwordField);
            }
            return finish(access_.focusWithoutCheckableInput() ? InputDelivery::noCheckableInput
                                                               : InputDelivery::noInput);
        }
        const std::optional<InputSnapshot> baseline = access_.snapshot(*target_);
        if (!baseline) {
            return finish(InputDelivery::unsupported);
        }
        if (!selectionIsWhole(baseline->text, baseline->selection)) {
            return finish(InputDelivery::unsupported);
        }
        paste_ = usesPaste(*baseline);
        access_.recordDiagnostic(routeLine(*baseline, paste_));
        if (!paste_ && !baseline->canReplaceSelection && !baseline->canReplacePlainValue) {
            return finish(InputDelivery::unsupported);
        }
        expected_ = expectedText(text_, *baseline);
        original_ = baseline->text;
        if (cancelled_) {
            return finish(InputDelivery::changed);
        }
        // Focus or content may have moved since the baseline was taken.
        if (access_.focusedTarget() != target_ || access_.snapshot(*target_) != baseline ||
            access_.focusedTarget() != target_) {
            return finish(InputDelivery::changed);
        }

        InputWriteStatus status;
        if (paste_) {
            status = access_.pasteOnce(text_, *target_, *baseline);
            pasteStarted_ = true;
        } else if (baseline->canReplaceSelection) {
            status = access_.replaceSelection(text_, *target_);
        } else {
            const auto caret = baseline->selection.location + static_cast<std::int64_t>(text_.size());
            status = access_.replacePlainValue(expected_, caret, *target_);
        }
        access_.recordDiagnostic(writeLine(status));
        switch (status) {
        case InputWriteStatus::changed: return finish(InputDelivery::changed);
        case InputWriteStatus::unsupported: return finish(InputDelivery::unsupported);
        case InputWriteStatus::failed: return finish(InputDelivery::uncertain);
        case InputWriteStatus::accepted: break;
        }
        readBack();
    }

    // One check of the wait list; a wait cut short by cancellation still ends in this check.
    void readBack()
    {
        waiting_ = false;
        if (cancelled_) {
            return finish(InputDelivery::uncertain);
        }
        const std::optional<InputSnapshot> current = access_.snapshot(*target_);
        access_.recordDiagnostic(readbackLine(current ? static_cast<std::int64_t>(current->text.size()) : -1,
                                              static_cast<std::int64_t>(expected_.size())));
        if (current && readBackMatches(current->text, expected_)) {
            return finish(InputDelivery::inserted);
        }
        ++next_;
        if (next_ >= waits_.size()) {
            // Only a last look that shows the input as it was proves nothing landed.
            const bool unchanged = current && current->text == original_ && original_ != expected_;
            return finish(unchanged ? InputDelivery::notInserted : InputDelivery::uncertain);
        }
        const auto wait = waits_[next_];
        if (wait.count() == 0) {
            return readBack();
        }
        waiting_ = true;
        timer_.start(std::chrono::ceil<std::chrono::milliseconds>(wait));
    }

    void finish(InputDelivery delivery)
    {
        finished_ = true;
        result_ = delivery;
        if (pasteStarted_) {
            access_.finishPaste(delivery == InputDelivery::inserted);
        }
        if (Completion done = std::move(done_)) {
            QMetaObject::invokeMethod(
                QCoreApplication::instance(), [done, delivery] { done(delivery); }, Qt::QueuedConnection);
        }
    }

    std::u16string text_;
    FocusedInputAccess<Target>& access_;
    Completion done_;
    std::vector<std::chrono::nanoseconds> waits_;
    std::size_t next_ = 0;
    QTimer timer_;
    std::optional<Target> target_;
    std::u16string expected_;
    std::u16string original_;
    bool paste_ = false;
    bool pasteStarted_ = false;
    bool cancelled_ = false;
    bool waiting_ = false;
    bool finished_ = false;
    std::optional<InputDelivery> result_;
};

// Starts one insertion of `text` on the next turn of the event loop. `access` must
// outlive the returned object; `done` receives the outcome on the main thread.
template <class Target>
std::unique_ptr<Insertion<Target>> insert(const std::u16string& text, FocusedInputAccess<Target>& access,
                                          Completion done, Delays verificationDelays = defaultVerificationDelays())
{
    auto insertion = std::make_unique<Insertion<Target>>(text, access, std::move(verificationDelays), std::move(done));
    insertion->start();
    return insertion;
}

} // namespace kivo::FocusedInputWriter
