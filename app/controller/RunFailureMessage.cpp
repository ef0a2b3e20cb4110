#include "app/controller/RunFailureMessage.h"

#include "app/conversion/ConversionError.h"

#include <cstring>

namespace kivo::RunFailureMessage {
namespace {

std::string pick(bool chinese, const char* chineseText, const char* englishText) {
    return chinese ? chineseText : englishText;
}

std::string tooLong(bool chinese) {
    return pick(chinese, "文字太長，本機模型一次處理不了。請縮短文字，或選取其中一部分再轉換。",
                "The text is too long for the on-device model. Shorten it, or select part of it and convert that.");
}

}  // namespace

std::optional<std::string> forRunnerError(std::string_view errorType, std::string_view error, bool chinese) {
    if (errorType == "rewrite_runner.Run.ProbeError") {
        if (error == "ProbeError.budgetExceeded") {
            return tooLong(chinese);
        }
        if (error == "ProbeError.unsupportedLocale") {
            return pick(chinese, "本機語言模型不支援這個語言。請改選其他輸出語言。",
                        "The on-device model does not support this language. Choose another output language.");
        }
    }
    if (errorType == "kivo.LanguageModelError") {
        if (error.starts_with("LanguageModelError.exceededContextWindowSize")) {
            return tooLong(chinese);
        }
        if (error.starts_with("LanguageModelError.exceededMaximumResponseTokens")) {
            return pick(chinese, "模型的回答太長，沒有寫完，所以沒有採用。請縮短文字，或選取其中一部分再轉換。",
                        "The model's answer ran too long and was not finished, so it was withheld. Shorten the "
                        "text, or select part of it and convert that.");
        }
    }
    return std::nullopt;
}

std::string forConversion(const ConversionError& failure, bool chinese) {
    if (failure.typeName() == "Kivo.LiteralMasking.ProtectionError") {
        if (failure.caseName() == "literalMismatch") {
            return pick(chinese, "模型改動了受保護的名稱或數字，所以沒有採用結果。請選取較短的一段再轉換，或自行修改文字。",
                        "The model changed a protected name or number, so the result was withheld. Convert a "
                        "shorter selection, or edit the text yourself.");
        }
        if (failure.caseName() == "reservedMarker") {
            return pick(chinese, "原文含有 Kivo 保留的標記「\u27E6KIVO7_」，無法保護其中的名稱和數字。請刪去這個標記再轉換。",
                        "The text contains Kivo's reserved marker \u201C\u27E6KIVO7_\u201D, so names and numbers "
                        "cannot be protected. Remove the marker and convert again.");
        }
    }
    return failure.localizedDescription();
}

std::string forUnreadableReply(const std::string& standardError, const std::string& output, bool exitedNormally,
                               int exitStatus, bool chinese) {
    if (!standardError.empty()) {
        return standardError;
    }
    if (!exitedNormally) {
        const char* name = exitStatus > 0 ? ::sigabbrev_np(exitStatus) : nullptr;
        if (name == nullptr) {
            return pick(chinese, "語言模型執行程式意外終止，沒有回覆（可能是模型檔案損壞或記憶體不足）。",
                        "The language model's runner stopped unexpectedly without a reply (the model file may be "
                        "damaged, or memory ran out).");
        }
        const std::string signal = std::string("SIG") + name;
        return chinese ? "語言模型執行程式被訊號 " + signal + " 終止，沒有回覆（可能是模型檔案損壞或記憶體不足）。"
                       : "The language model's runner was ended by signal " + signal +
                             " without a reply (the model file may be damaged, or memory ran out).";
    }
    if (exitStatus != 0) {
        const std::string status = std::to_string(exitStatus);
        return chinese ? "語言模型執行程式以狀態 " + status + " 結束，沒有回覆。請重新安裝 Kivo。"
                       : "The language model's runner exited with status " + status + " without a reply. Reinstall Kivo.";
    }
    if (output.empty()) {
        return pick(chinese, "語言模型執行程式沒有回覆。請重新安裝 Kivo。",
                    "The language model's runner gave no reply. Reinstall Kivo.");
    }
    return pick(chinese, "語言模型執行程式的回覆無法讀取（不是 JSON 物件）。請重新安裝 Kivo。",
                "The language model's runner's reply could not be read (not a JSON object). Reinstall Kivo.");
}

std::string lockUnavailable(bool chinese) {
    return pick(chinese, "無法取得語言模型執行鎖。請確認 /tmp 可以寫入後重試。",
                "Unable to obtain the language model's process lock. Check that /tmp is writable and try again.");
}

std::string lockUnsafe(const std::string& path, bool chinese) {
    return chinese ? "語言模型執行鎖 " + path + " 不安全（不是你的檔案、權限不是 0600，或是連結）；請刪除它後重試。"
                   : "The language model's process lock " + path +
                         " is unsafe (not your file, permissions other than 0600, or a link). Delete it and try again.";
}

std::string lockHeld(bool chinese) {
    return pick(chinese, "另一個語言模型測試正在執行，請稍後重試。",
                "Another language model test is running. Try again later.");
}

std::string launchFailed(const std::string& runner, const std::string& reason, bool chinese) {
    return chinese ? "無法啟動語言模型執行程式 " + runner + "：" + reason + "。請重新安裝 Kivo。"
                   : "Could not start the language model's runner " + runner + ": " + reason + ". Reinstall Kivo.";
}

std::string timedOut(bool chinese) {
    return pick(chinese, "語言模型超過 30 秒，已停止；原文保留。",
                "The language model stopped after 30 seconds. Original retained.");
}

std::string noResult(bool chinese) {
    return pick(chinese, "語言模型沒有產生結果。請再轉換一次。", "The language model gave no result. Convert again.");
}

std::string emptyResult(bool chinese) {
    return pick(chinese, "語言模型回傳空白結果。請再轉換一次，或改寫原文。",
                "The language model returned an empty result. Convert again, or reword the original.");
}

}  // namespace kivo::RunFailureMessage
