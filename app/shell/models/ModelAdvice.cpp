#include "app/shell/models/ModelAdvice.h"

#include "app/shell/models/ModelStore.h"

namespace kivo::ModelAdvice {

std::string speechMissing(bool chinese)
{
    // A file that is there but unusable (not whisper, English-only) counts as missing too.
    if (const auto file = ModelStore::installed(ModelRole::speech)) {
        return chinese ? "語音模型 " + file->string() + " 不是多語言 whisper 模型。按此行開啟「模型」視窗換一個。"
                       : "The speech model " + file->string()
                             + " is not a multilingual whisper model. Click this line to open Models and replace it.";
    }
    const auto place = ModelStore::searched(ModelRole::speech).front();
    const std::string folder = place.parent_path().string();
    return chinese ? "缺少語音模型：" + folder + " 中沒有 speech-model.bin。按此行開啟「模型」視窗下載一個。"
                   : "The speech model is missing: no speech-model.bin in " + folder
                         + ". Click this line to open Models and download one.";
}

std::string speechBroken(const std::string& failure, bool chinese)
{
    return chinese ? failure + "（語音模型）。按此行開啟「模型」視窗換一個。"
                   : failure + " (the speech model). Click this line to open Models and replace it.";
}

bool isSpeechModelFailure(const std::string& failure)
{
    return failure.starts_with("Not a speech model: ") || failure.starts_with("The speech model could not be loaded: ")
           || failure == "No speech model is installed.";
}

std::string languageUnavailable(const std::string& detail, bool chinese)
{
    const std::string place = ModelStore::searched(ModelRole::language).front().string();
    return chinese ? "本機語言模型無法使用（" + detail + "）。請按此行開啟「模型」視窗下載，或將 GGUF 對話模型放在 " + place
                         + "。"
                   : "The on-device language model is unavailable (" + detail
                         + "). Click this line to open Models, or put a GGUF chat model at " + place + ".";
}

} // namespace kivo::ModelAdvice
