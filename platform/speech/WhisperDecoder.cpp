#include "platform/speech/WhisperDecoder.h"

#include "platform/speech/HallucinationFilter.h"
#include "platform/speech/RecognizerError.h"
#include "platform/speech/TranscriptPunctuation.h"
#include "platform/text/Utf8Text.h"

#include <unicode/uchar.h>
#include <unicode/utf8.h>
#include <whisper.h>

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace kivo {

namespace {

constexpr int sampleRate = 16000;

struct AbortCheck {
    std::stop_token stop;
    const std::function<bool()>* abandon;
    bool given_up = false;

    bool operator()()
    {
        given_up = given_up || stop.stop_requested() || (*abandon && (*abandon)());
        return given_up;
    }
};

bool abortRequested(void* data)
{
    return (*static_cast<AbortCheck*>(data))();
}

// Whether `bytes` ends on a whole UTF-8 character (a token may hold part of one).
bool endsOnCharacter(const std::string& bytes)
{
    std::size_t at = bytes.size();
    std::size_t trail = 0;
    while (at > 0 && trail < 4 && U8_IS_TRAIL(static_cast<unsigned char>(bytes[at - 1]))) {
        --at;
        ++trail;
    }
    if (at == 0) {
        return trail == 0;
    }
    const auto lead = static_cast<unsigned char>(bytes[at - 1]);
    if (!U8_IS_LEAD(lead)) {
        return true; // ASCII, or a stray byte that no later token can complete
    }
    return trail >= static_cast<std::size_t>(U8_COUNT_TRAIL_BYTES(lead));
}

} // namespace

std::string WhisperDecoder::Decoded::text() const
{
    std::string out;
    for (const auto& run : runs) {
        out += run.text;
    }
    return out;
}

WhisperDecoder::WhisperDecoder(std::shared_ptr<WhisperModel> model, int threads)
    : model_(std::move(model)), state_(whisper_init_state(model_->context())), threads_(std::max(1, threads))
{
    if (state_ == nullptr) {
        throw RecognizerError("The speech model's decoding state could not be created.");
    }
}

WhisperDecoder::~WhisperDecoder()
{
    whisper_free_state(state_);
}

WhisperDecoder::Decoded WhisperDecoder::decode(std::span<const float> samples, const Request& request,
                                               std::stop_token stop)
{
    // whisper ignores anything under one second; quiet padding keeps short phrases.
    std::vector<float> audio(samples.begin(), samples.end());
    const std::size_t minimum = sampleRate + sampleRate / 10;
    if (audio.size() < minimum) {
        audio.resize(minimum, 0.0f);
    }
    const double seconds = static_cast<double>(audio.size()) / sampleRate;

    whisper_context* context = model_->context();
    whisper_full_params params =
        whisper_full_default_params(request.beamSearch ? WHISPER_SAMPLING_BEAM_SEARCH : WHISPER_SAMPLING_GREEDY);
    params.n_threads = request.threads > 0 ? request.threads : threads_;
    params.translate = false;
    params.no_context = true;
    params.no_timestamps = true;
    params.single_segment = true;
    params.print_special = false;
    params.print_progress = false;
    params.print_realtime = false;
    params.print_timestamps = false;
    params.language = model_->language().c_str();
    params.detect_language = false;
    params.suppress_blank = true;
    params.suppress_nst = true;
    // No temperature fallback: a window is rerun a moment later anyway, and the fallback
    // multiplies the cost of exactly the windows that are hardest.
    params.temperature = 0.0f;
    params.temperature_inc = 0.0f;
    params.max_tokens = static_cast<int>(std::ceil(seconds * request.tokensPerSecond)) + 8;
    // The encoder only needs the window, not whisper's fixed 30 seconds (50 positions a second).
    const int fullContext = whisper_model_n_audio_ctx(context);
    params.audio_ctx = std::min(fullContext, static_cast<int>(std::ceil(seconds * 50.0 / 64.0)) * 64);
    params.beam_search.beam_size = 5;
    params.greedy.best_of = 1;
    // Tokenized once by the caller: whisper would otherwise tokenize a text prompt on every pass.
    const std::vector<whisper_token> prompt(request.prompt.begin(), request.prompt.end());
    params.initial_prompt = nullptr;
    params.prompt_tokens = prompt.empty() ? nullptr : prompt.data();
    params.prompt_n_tokens = static_cast<int>(prompt.size());
    AbortCheck check{std::move(stop), &request.abandon};
    params.abort_callback = abortRequested;
    params.abort_callback_user_data = &check;

    const int status = whisper_full_with_state(context, state_, params, audio.data(), static_cast<int>(audio.size()));
    Decoded decoded;
    if (check()) {
        decoded.abandoned = true;
        return decoded;
    }
    if (status != 0) {
        throw RecognizerError("Speech decoding failed (whisper status " + std::to_string(status) + ").");
    }

    const whisper_token firstSpecial = whisper_token_eot(context);
    std::string pending;
    double pendingProbability = 0.0;
    int pendingTokens = 0;
    double logProbability = 0.0;
    int tokenCount = 0;
    double noSpeech = 0.0;
    const int segments = whisper_full_n_segments_from_state(state_);
    for (int segment = 0; segment < segments; ++segment) {
        noSpeech = std::max(noSpeech,
                            static_cast<double>(whisper_full_get_segment_no_speech_prob_from_state(state_, segment)));
        const int tokens = whisper_full_n_tokens_from_state(state_, segment);
        for (int token = 0; token < tokens; ++token) {
            const whisper_token_data data = whisper_full_get_token_data_from_state(state_, segment, token);
            if (data.id >= firstSpecial) {
                continue;
            }
            pending += whisper_full_get_token_text_from_state(context, state_, segment, token);
            pendingProbability += data.p;
            ++pendingTokens;
            logProbability += data.plog;
            ++tokenCount;
            // A run ends where the bytes so far form whole characters, so no run splits one.
            if (endsOnCharacter(pending)) {
                decoded.runs.push_back({pending, pendingProbability / pendingTokens});
                pending.clear();
                pendingProbability = 0.0;
                pendingTokens = 0;
            }
        }
    }
    if (pendingTokens > 0) {
        decoded.runs.push_back({Utf8Text::wellFormed(pending), pendingProbability / pendingTokens});
    }

    const std::string text = decoded.text();
    const double averageLog = tokenCount > 0 ? logProbability / tokenCount : 0.0;
    if (HallucinationFilter::isInvention(text, noSpeech, averageLog)) {
        return Decoded{{}, true};
    }
    const std::string collapsed = HallucinationFilter::collapsedRepeats(text);
    if (collapsed != text) {
        // The loop is gone; per-token confidence no longer lines up, so keep the overall mean.
        double sum = 0.0;
        for (const auto& run : decoded.runs) {
            sum += run.confidence.value_or(0.0);
        }
        decoded.runs = {{collapsed, decoded.runs.empty() ? 0.0 : sum / static_cast<double>(decoded.runs.size())}};
    }
    if (!request.keepPunctuation) {
        std::vector<std::string> pieces;
        for (const auto& run : decoded.runs) {
            pieces.push_back(run.text);
        }
        pieces = TranscriptPunctuation::withoutSentencePunctuation(pieces);
        for (std::size_t i = 0; i < pieces.size(); ++i) {
            decoded.runs[i].text = std::move(pieces[i]);
        }
        std::erase_if(decoded.runs, [](const auto& run) { return run.text.empty(); });
    }
    return decoded;
}

} // namespace kivo
