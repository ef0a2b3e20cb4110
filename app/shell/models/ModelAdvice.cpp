#include "app/shell/models/ModelAdvice.h"

#include "app/shell/models/ModelStore.h"

namespace kivo::ModelAdvice {
namespace {

std::string pick(bool chinese, const char* chineseText, const char* englishText)
{
    return chinese ? chineseText : englishText;
}

std::string searchedFolder(ModelRole role)
{
    return ModelStore::searched(role).front().parent_path().string();
}

std::string lookedFor(ModelRole role, bool chinese)
{
    const std::string place = ModelStore::searched(role).front().string();
    return chinese ? "Kivo 讀取 " + place + "。" : "Kivo reads " + place + ".";
}

} // namespace

Advice speechMissing(bool chinese)
{
    // A file that is there but unusable (not whisper, English-only) counts as missing too.
    if (const auto file = ModelStore::installed(ModelRole::speech)) {
        return {pick(chinese, "已安裝的語音模型不是多語言 whisper 模型，無法辨識粵語。請換一個。",
                     "The installed speech model is not a multilingual whisper model, so it cannot recognise "
                     "Cantonese. Replace it."),
                file->string()};
    }
    return {pick(chinese, "未安裝語音模型。請下載一個。", "No speech model is installed. Download one."),
            chinese ? searchedFolder(ModelRole::speech) + " 中沒有 speech-model.bin。"
                    : "No speech-model.bin in " + searchedFolder(ModelRole::speech) + "."};
}

Advice speechBroken(const std::string& failure, bool chinese)
{
    return {pick(chinese, "語音模型無法載入。請重新下載或換一個。",
                 "The speech model could not be loaded. Download it again or choose another."),
            failure};
}

bool isSpeechModelFailure(const std::string& failure)
{
    return failure.starts_with("Not a speech model: ") || failure.starts_with("The speech model could not be loaded: ")
           || failure == "No speech model is installed.";
}

Advice languageUnavailable(const std::string& detail, bool chinese)
{
    // The runtime's reason codes stay in the details; each becomes a sentence with its way out.
    std::string status;
    if (detail.starts_with("modelNotFound")) {
        status = pick(chinese, "未安裝語言模型。請下載一個。", "No language model is installed. Download one.");
    } else if (detail.starts_with("modelInvalid")) {
        status = pick(chinese, "語言模型檔案不是可用的 GGUF 對話模型。請重新下載或換一個。",
                      "The language model file is not a usable GGUF chat model. Download it again or choose another.");
    } else if (detail.starts_with("modelUnreadable")) {
        status = pick(chinese, "無法讀取語言模型檔案。請檢查它的權限，或重新下載。",
                      "The language model file cannot be read. Check its permissions, or download it again.");
    } else if (detail.starts_with("cpuUnsupported")) {
        status = pick(chinese, "這部電腦的處理器無法執行語言模型；語音辨識仍可使用。",
                      "This computer's processor cannot run the language model; speech recognition still works.");
    } else {
        status = pick(chinese, "語言模型無法啟動。請重新安裝 Kivo。",
                      "The language model could not start. Reinstall Kivo.");
    }
    return {status, detail + "\n" + lookedFor(ModelRole::language, chinese)};
}

std::optional<Advice> missingAtStart(bool chinese)
{
    const bool speech = ModelStore::installed(ModelRole::speech).has_value();
    const bool language = ModelStore::installed(ModelRole::language).has_value();
    if (speech && language) {
        return std::nullopt;
    }
    std::string details;
    for (const ModelRole role : ModelRoles::allCases) {
        if (!ModelStore::installed(role)) {
            details += (details.empty() ? "" : "\n") + lookedFor(role, chinese);
        }
    }
    if (!speech && !language) {
        return Advice{pick(chinese, "尚未安裝語音模型及語言模型。", "The speech and language models are not installed yet."),
                      details};
    }
    return Advice{!speech ? pick(chinese, "尚未安裝語音模型，無法錄音辨識。",
                                 "The speech model is not installed yet, so recording cannot be recognised.")
                          : pick(chinese, "尚未安裝語言模型，無法轉換文字。",
                                 "The language model is not installed yet, so text cannot be converted."),
                  details};
}

std::string openModelsAction(bool chinese)
{
    return pick(chinese, "按此處開啟「模型」視窗 ›", "Click here to open Models ›");
}

} // namespace kivo::ModelAdvice
