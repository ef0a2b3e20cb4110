#include "platform/speech/WhisperAnalyzer.h"

#include "platform/process/RunnableTasks.h"
#include "platform/speech/PromptBudget.h"
#include "platform/speech/RecognizerError.h"
#include "platform/speech/SpeechCpuSupport.h"
#include "platform/speech/WhisperDecoder.h"

#include <algorithm>
#include <chrono>
#include <deque>
#include <optional>
#include <thread>

namespace kivo {

WhisperAnalyzer::WhisperAnalyzer(std::vector<std::shared_ptr<Transcriber>> modules, ModelLoader loadModel, int threads,
                                 StreamingWindow::Options window, double maxTokensPerSecond,
                                 std::chrono::milliseconds finalizeBudget, bool adaptiveThreads)
    : modules_(std::move(modules)), loadModel_(std::move(loadModel)), threads_(threads),
      adaptiveThreads_(adaptiveThreads), window_(window), maxTokensPerSecond_(maxTokensPerSecond),
      finalizeBudget_(finalizeBudget)
{
}

// This class's own cancel: a subclass is already gone by now.
WhisperAnalyzer::~WhisperAnalyzer()
{
    WhisperAnalyzer::cancelAndFinishNow();
}

void WhisperAnalyzer::setContext(const AnalysisContext& context)
{
    const auto general = context.contextualStrings.find(AnalysisContext::generalTag);
    hints_ = general == context.contextualStrings.end() ? std::vector<std::string>{} : general->second;
    if (context.longestWindow > 0.0) {
        window_.maxLength = std::min(window_.maxLength, context.longestWindow);
    }
}

void WhisperAnalyzer::prepareToAnalyze(const AudioFormat& format)
{
    if (format != AudioFormat::recognizerFormat()) {
        throw RecognizerError("The speech recogniser takes 16 kHz mono audio only.");
    }
    if (!SpeechCpuSupport::meetsRequiredLevel()) {
        throw RecognizerError("Speech recognition needs a processor with AVX2, FMA and F16C.");
    }
    if (!decoder_) {
        decoder_ = std::make_unique<WhisperDecoder>(loadModel_(), threads_);
        planHints();
    }
}

void WhisperAnalyzer::start(std::shared_ptr<Channel<AnalyzerInput>> input)
{
    std::lock_guard lock(lifecycle_);
    if (!decoder_) {
        throw RecognizerError("The analyzer was started before it was prepared.");
    }
    if (worker_.joinable()) {
        throw RecognizerError("The analyzer is already running.");
    }
    worker_ = std::jthread([this, input = std::move(input)](const std::stop_token& stop) { run(stop, input); });
}

void WhisperAnalyzer::finalizeThroughEndOfInput(std::stop_token stop)
{
    std::unique_lock lock(mutex_);
    doneChanged_.wait(lock, stop, [&] { return done_; });
    if (done_ && error_) {
        std::rethrow_exception(error_);
    }
}

void WhisperAnalyzer::cancelAndFinishNow() noexcept
{
    {
        std::lock_guard lock(lifecycle_);
        if (worker_.joinable()) {
            worker_.request_stop(); // also aborts a decode in progress
            worker_.join();
        }
        decoder_.reset();
    }
    endResults(nullptr);
}

void WhisperAnalyzer::emit(const TranscriptionResult& result)
{
    for (const auto& module : modules_) {
        TranscriptionResult copy = result;
        if (!module->configuration().transcriptionConfidence) {
            for (auto& run : copy.runs) {
                run.confidence.reset();
            }
        }
        if (result.isFinal || module->configuration().volatileResults) {
            module->results().yield(std::move(copy));
        }
    }
}

void WhisperAnalyzer::endResults(const std::exception_ptr& error)
{
    for (const auto& module : modules_) {
        if (error) {
            module->results().fail(error);
        } else {
            module->results().finish();
        }
    }
    {
        std::lock_guard lock(mutex_);
        if (!done_) {
            done_ = true;
            error_ = error;
        }
    }
    doneChanged_.notify_all();
}

std::optional<std::vector<std::string>> WhisperAnalyzer::appliedContextualStrings() const
{
    std::lock_guard lock(mutex_);
    return appliedHints_;
}

void WhisperAnalyzer::planHints()
{
    const bool dictation = !modules_.empty() && modules_.front()->kind() == Transcriber::Kind::dictation;
    if (!dictation || hints_.empty()) {
        return;
    }
    const WhisperModel& model = decoder_->model();
    std::vector<PromptBudget::Tokens> tokenized;
    tokenized.reserve(hints_.size());
    for (const auto& hint : hints_) {
        tokenized.push_back(model.tokens(hint));
    }
    // The rest of the prompt is left for the end of the previous final text.
    const std::size_t capacity = model.promptCapacity();
    const std::size_t budget = capacity > previousTextTokens ? capacity - previousTextTokens : 0;
    auto separator = model.tokens("，");
    if (separator.empty()) {
        separator = model.tokens(" ");
    }
    const auto plan = PromptBudget::fit(tokenized, separator, budget);
    hintTokens_ = plan.tokens;
    std::lock_guard lock(mutex_);
    appliedHints_.clear();
    for (const auto index : plan.chosen) {
        appliedHints_.push_back(hints_[index]);
    }
}

void WhisperAnalyzer::run(std::stop_token stop, std::shared_ptr<Channel<AnalyzerInput>> input)
{
    const bool dictation = !modules_.empty() && modules_.front()->kind() == Transcriber::Kind::dictation;
    const bool punctuation = !modules_.empty() && modules_.front()->configuration().punctuation;
    constexpr std::size_t chunk = 1600; // 0.1 s: how finely pauses are looked for in queued audio
    const auto stepSamples = static_cast<std::size_t>(window_.step * StreamingWindow::sampleRate);

    StreamingWindow window(window_);
    std::deque<float> pending; // arrived, not yet in the window
    PromptBudget::Tokens previousText;
    double finalizedThrough = 0.0;
    bool windowShown = false;                    // a provisional text of this window is on screen
    std::vector<TranscriptionResult::Run> shown; // that text
    bool endOfInput = false;
    double load = 1.0; // decoding seconds per second of audio, from the latest pass
    using Clock = std::chrono::steady_clock;
    std::optional<Clock::time_point> deadline; // set when the input is seen to end
    const auto inputEnded = [&] {
        if (!deadline && input->isFinished()) {
            deadline = Clock::now() + finalizeBudget_;
        }
        return deadline.has_value();
    };
    const auto pastDeadline = [&] { return inputEnded() && Clock::now() >= *deadline; };

    const auto request = [&](bool settle) {
        WhisperDecoder::Request r;
        // The general transcriber spends spare time on the text that stays: beam search only
        // while the machine keeps up with plenty to spare, never for the window at the end.
        r.beamSearch = settle && !dictation && !endOfInput && pending.size() < stepSamples && load < 0.15;
        r.keepPunctuation = punctuation;
        r.tokensPerSecond = maxTokensPerSecond_;
        if (adaptiveThreads_ || endOfInput) {
            // Every core nobody else keeps busy; once capture has stopped and the user waits,
            // that many even when a fixed count was asked for. Never more when the count adapts:
            // a thread that has to wait for a core stalls the others at every step (on a busy
            // 2-core machine, 2 threads left the last window undecoded after 6 s, 1 took 0.3 s).
            const int cores = std::clamp(static_cast<int>(std::thread::hardware_concurrency()), 1, 8);
            const int free =
                RunnableTasks::threadsFor(endOfInput ? cores : threads_, cores, RunnableTasks::steadyCount());
            r.threads = endOfInput && !adaptiveThreads_ ? std::max(threads_, free) : free;
        }
        r.prompt = PromptBudget::prompt(dictation ? hintTokens_ : PromptBudget::Tokens{}, previousText,
                                        decoder_->model().promptCapacity());
        return r;
    };
    const auto timedDecode = [&](const WhisperDecoder::Request& r) {
        const auto began = std::chrono::steady_clock::now();
        auto decoded = decoder_->decode(window.samples(), r, stop);
        const double spent = std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
        if (!r.beamSearch && !decoded.abandoned && window.length() > 0.0 && !endOfInput) {
            load = spent / std::max(1.0, window.length());
            // Windows close early enough that the last one, decoded after the stop, is quick.
            window.fitCap(load);
        }
        return decoded;
    };

    try {
        while (!stop.stop_requested()) {
            if (!endOfInput) {
                // Wait only when nothing is left to work on.
                if (pending.empty()) {
                    if (auto first = input->next(stop, std::chrono::milliseconds(200))) {
                        pending.insert(pending.end(), first->samples.begin(), first->samples.end());
                    }
                }
                for (const auto& more : input->drain()) {
                    pending.insert(pending.end(), more.samples.begin(), more.samples.end());
                }
                endOfInput = input->isExhausted();
                inputEnded();
            }

            // Into the window a little at a time, so a pause in queued audio still closes it
            // there, and never past its cap.
            auto action = StreamingWindow::Action::wait;
            while (!pending.empty() && action == StreamingWindow::Action::wait && window.room() > 0) {
                std::vector<float> piece(
                    pending.begin(), pending.begin() + static_cast<std::ptrdiff_t>(std::min(chunk, pending.size())));
                const std::size_t taken = window.append(piece);
                pending.erase(pending.begin(), pending.begin() + static_cast<std::ptrdiff_t>(taken));
                action = window.next(endOfInput && pending.empty());
            }
            if (action == StreamingWindow::Action::wait) {
                action = window.next(endOfInput && pending.empty());
            }

            if (action == StreamingWindow::Action::provisional) {
                window.markProvisional();
                if (pending.size() >= stepSamples || load * window.length() > window_.provisionalLimit) {
                    continue; // behind, or too slow to be of use: skip this pass rather than queue it
                }
                WhisperDecoder::Request r = request(false);
                // A pass still running when the input ends is given up for the final one.
                r.abandon = inputEnded;
                const auto decoded = timedDecode(r);
                if (stop.stop_requested()) {
                    break;
                }
                if (decoded.abandoned) {
                    continue;
                }
                if (!decoded.runs.empty() || windowShown) {
                    emit({decoded.runs, {}, window.start(), window.end(), false, finalizedThrough});
                    windowShown = !decoded.runs.empty();
                    shown = decoded.runs;
                }
            } else if (action == StreamingWindow::Action::close) {
                WhisperDecoder::Decoded decoded;
                if (window.hasSpeech()) {
                    if (pastDeadline()) {
                        decoded.abandoned = true;
                    } else {
                        WhisperDecoder::Request r = request(true);
                        r.abandon = pastDeadline;
                        decoded = timedDecode(r);
                    }
                }
                if (stop.stop_requested()) {
                    break;
                }
                const bool keptShown = decoded.abandoned && windowShown;
                if (keptShown) {
                    // Out of time: what was on screen for this window stays rather than nothing.
                    decoded.runs = shown;
                }
                // Out of time with nothing to keep: the stretch is reported, not silently lost.
                const bool untranscribed = decoded.abandoned && !windowShown;
                finalizedThrough = window.end();
                if (!decoded.runs.empty() || windowShown || untranscribed) {
                    // A blank final still clears the provisional text shown for this window.
                    emit({decoded.runs,
                          {},
                          window.start(),
                          window.end(),
                          true,
                          finalizedThrough,
                          keptShown,
                          untranscribed});
                }
                if (!decoded.runs.empty()) {
                    previousText = decoder_->model().tokens(decoded.text());
                }
                windowShown = false;
                shown.clear();
                window.close();
            }
            if (endOfInput && pending.empty() && window.isEmpty()) {
                break;
            }
        }
        if (!stop.stop_requested()) {
            endResults(nullptr);
        }
    } catch (...) {
        endResults(std::current_exception());
    }
}

} // namespace kivo
