#include "platform/speech/WhisperAnalyzer.h"

#include "platform/speech/RecognizerError.h"
#include "platform/speech/SpeechCpuSupport.h"
#include "platform/speech/WhisperDecoder.h"

#include <chrono>

namespace kivo {

WhisperAnalyzer::WhisperAnalyzer(std::vector<std::shared_ptr<Transcriber>> modules, ModelLoader loadModel,
                                 int threads, StreamingWindow::Options window)
    : modules_(std::move(modules)), loadModel_(std::move(loadModel)), threads_(threads), window_(window)
{
}

WhisperAnalyzer::~WhisperAnalyzer() { cancelAndFinishNow(); }

void WhisperAnalyzer::setContext(const AnalysisContext& context)
{
    const auto general = context.contextualStrings.find(AnalysisContext::generalTag);
    hints_ = general == context.contextualStrings.end() ? std::vector<std::string>{} : general->second;
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
    worker_ = std::jthread([this, input = std::move(input)](std::stop_token stop) { run(stop, input); });
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

void WhisperAnalyzer::endResults(std::exception_ptr error)
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

void WhisperAnalyzer::run(std::stop_token stop, std::shared_ptr<Channel<AnalyzerInput>> input)
{
    const bool dictation = !modules_.empty() && modules_.front()->kind() == Transcriber::Kind::dictation;
    const bool punctuation = !modules_.empty() && modules_.front()->configuration().punctuation;
    std::string hintPrompt;
    for (const auto& hint : hints_) {
        hintPrompt += hint + "，";
    }

    StreamingWindow window(window_);
    std::string lastFinal;
    double finalizedThrough = 0.0;
    bool windowShown = false; // a provisional text of this window is on screen
    bool endOfInput = false;

    const auto request = [&](bool settle) {
        WhisperDecoder::Request r;
        // The general transcriber spends its accuracy budget on the text that stays.
        r.beamSearch = settle && !dictation;
        r.keepPunctuation = punctuation;
        r.prompt = (dictation ? hintPrompt : std::string()) + lastFinal;
        return r;
    };

    try {
        while (!stop.stop_requested()) {
            if (!endOfInput) {
                if (auto first = input->next(stop, std::chrono::milliseconds(200))) {
                    window.append(first->samples);
                }
                // Decoding takes a while; take in everything that queued up meanwhile.
                for (const auto& more : input->drain()) {
                    window.append(more.samples);
                }
                endOfInput = input->isExhausted();
            }
            const auto action = window.next(endOfInput);
            if (action == StreamingWindow::Action::provisional) {
                const auto decoded = decoder_->decode(window.samples(), request(false), stop);
                window.markProvisional();
                if (stop.stop_requested()) {
                    break;
                }
                if (!decoded.runs.empty() || windowShown) {
                    emit({decoded.runs, {}, window.start(), window.end(), false, finalizedThrough});
                    windowShown = !decoded.runs.empty();
                }
            } else if (action == StreamingWindow::Action::close) {
                WhisperDecoder::Decoded decoded;
                if (window.hasSpeech()) {
                    decoded = decoder_->decode(window.samples(), request(true), stop);
                }
                if (stop.stop_requested()) {
                    break;
                }
                finalizedThrough = window.end();
                if (!decoded.runs.empty() || windowShown) {
                    // A blank final still clears the provisional text shown for this window.
                    emit({decoded.runs, {}, window.start(), window.end(), true, finalizedThrough});
                }
                if (!decoded.runs.empty()) {
                    lastFinal = decoded.text();
                }
                windowShown = false;
                window.close();
            }
            if (endOfInput && window.isEmpty()) {
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
