#include "platform/speech/WhisperModel.h"

#include "platform/speech/RecognizerError.h"
#include "platform/speech/WhisperFileCheck.h"
#include "platform/speech/WhisperFileError.h"

#include <whisper.h>

#include <algorithm>
#include <mutex>

namespace kivo {

namespace {

void quietLog(enum wsp_ggml_log_level, const char*, void*) {}

} // namespace

std::shared_ptr<WhisperModel> WhisperModel::load(const std::filesystem::path& path)
{
    static std::once_flag silenced;
    std::call_once(silenced, [] { whisper_log_set(quietLog, nullptr); });

    try {
        WhisperFileCheck::check(path);
    } catch (const WhisperFileError& refused) {
        throw RecognizerError("The speech model cannot be used: " + path.parent_path().string() + "/" + refused.what());
    }
    whisper_context_params params = whisper_context_default_params();
    params.use_gpu = false;
    params.flash_attn = false;
    whisper_context* context = whisper_init_from_file_with_params_no_state(path.c_str(), params);
    if (context == nullptr) {
        throw RecognizerError("The speech model could not be loaded: " + path.string());
    }
    return std::make_shared<WhisperModel>(ConstructionKey(), context, path);
}

std::string WhisperModel::runtimeVersion()
{
    return std::string("whisper.rn " KIVO_WHISPER_RUNTIME_VERSION " · ") + whisper_print_system_info();
}

WhisperModel::WhisperModel(ConstructionKey, whisper_context* context, std::filesystem::path path)
    : context_(context), path_(std::move(path)),
      language_(whisper_model_n_vocab(context) >= SpeechModelFile::cantoneseVocabulary ? "yue" : "zh")
{
}

std::vector<int> WhisperModel::tokens(const std::string& text) const
{
    if (text.empty()) {
        return {};
    }
    const int needed = -whisper_tokenize(context_, text.c_str(), nullptr, 0);
    if (needed <= 0) {
        return {}; // nothing in it the vocabulary knows
    }
    std::vector<whisper_token> out(static_cast<std::size_t>(needed));
    const int count = whisper_tokenize(context_, text.c_str(), out.data(), needed);
    if (count < 0) {
        throw RecognizerError("The speech model could not tokenize a prompt.");
    }
    out.resize(static_cast<std::size_t>(count));
    return {out.begin(), out.end()};
}

std::size_t WhisperModel::promptCapacity() const
{
    // Half the text context, less the marker that opens the prompt.
    return static_cast<std::size_t>(std::max(0, whisper_n_text_ctx(context_) / 2 - 1));
}

WhisperModel::~WhisperModel()
{
    whisper_free(context_);
}

} // namespace kivo
