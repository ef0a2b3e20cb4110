#include "app/models/ModelVerifier.h"

#include "app/models/ModelError.h"
#include "app/models/ModelTrialLoad.h"
#include "platform/download/Sha256.h"
#include "platform/languagemodel/SystemLanguageModel.h"
#include "platform/speech/RecognizerError.h"
#include "platform/speech/SpeechCpuSupport.h"
#include "platform/speech/SpeechModelFile.h"
#include "platform/speech/WhisperFileCheck.h"
#include "platform/speech/WhisperFileError.h"
#include "platform/speech/WhisperModel.h"

#include <array>
#include <fstream>

namespace kivo {
namespace {

[[noreturn]] void invalid(const std::string& name, const std::string& english, const std::string& chinese)
{
    throw ModelError(ModelError::Case::invalidFile, name + " " + english, name + " " + chinese);
}

} // namespace

void ModelVerifier::checkHeader(const std::filesystem::path& file, ModelRole role, const std::string& shownAs)
{
    const std::string name = shownAs.empty() ? file.filename().string() : shownAs;
    std::error_code error;
    if (!std::filesystem::is_regular_file(file, error)) {
        invalid(name, "is not a readable file.", "不是可讀取的檔案。");
    }
    if (role == ModelRole::language) {
        std::array<char, 4> magic{};
        std::ifstream in(file, std::ios::binary);
        if (!in.read(magic.data(), magic.size()) || std::string(magic.data(), magic.size()) != "GGUF") {
            invalid(name, "is not a GGUF model file.", "不是 GGUF 模型檔案。");
        }
        return;
    }
    SpeechModelFile::Header header;
    try {
        header = WhisperFileCheck::check(file);
    } catch (const WhisperFileError& refused) {
        invalid(name, refused.englishDetail() + ".", refused.chineseDetail() + "。");
    }
    if (!header.isMultilingual()) {
        invalid(name, "is an English-only whisper model; Kivo needs a multilingual one.",
                "是只懂英語的 whisper 模型；Kivo 需要多語言模型。");
    }
}

ModelVerifier::Report ModelVerifier::check(const std::filesystem::path& file, ModelRole role,
                                           const std::string& shownAs)
{
    const std::string name = shownAs.empty() ? file.filename().string() : shownAs;
    checkHeader(file, role, name);
    // The runtimes abort on some damaged files: the trial load runs in a child when the
    // checker program is there, as it is in the bundle.
    if (const auto checker = ModelTrialLoad::checker()) {
        std::error_code error;
        const auto size = std::filesystem::file_size(file, error);
        const auto outcome = ModelTrialLoad::run(*checker, role, file, ModelTrialLoad::limitsFor(error ? 0 : size));
        if (!outcome.usable) {
            invalid(name, outcome.english, outcome.chinese);
        }
        return {outcome.english, outcome.chinese};
    }
    if (role == ModelRole::language) {
        const auto model = SystemLanguageModel::makeFromFile(file);
        const Availability& availability = model->availability();
        using Reason = Availability::UnavailableReason;
        if (availability.isAvailable()) {
            return {model->variant(), model->variant()};
        }
        // A processor or runtime that cannot run any model says nothing about this file.
        if (availability.reason == Reason::cpuUnsupported || availability.reason == Reason::runtimeUnavailable) {
            return {"not tried: " + availability.description(), "未試載：" + availability.description()};
        }
        invalid(name, "does not load: " + availability.description() + ".",
                "無法載入：" + availability.description() + "。");
    }
    const auto header = SpeechModelFile::readHeader(file);
    if (!header) {
        invalid(name, "changed while it was checked.", "在檢查期間被更改。");
    }
    const std::string vocabulary = "vocabulary " + std::to_string(header->nVocab);
    const bool cantonese = header->language() == "yue";
    Report report{vocabulary + (cantonese ? ": Cantonese (yue)" : ": run as Mandarin (zh)"),
                  "詞彙 " + std::to_string(header->nVocab) + (cantonese ? "：粵語（yue）" : "：以普通話（zh）辨識")};
    if (!SpeechCpuSupport::meetsRequiredLevel()) {
        return {report.english + "; not tried on this processor", report.chinese + "；此處理器未能試載"};
    }
    try {
        WhisperModel::load(file);
    } catch (const RecognizerError&) {
        invalid(name, "does not load as a speech model.", "無法載入為語音模型。");
    }
    return report;
}

void ModelVerifier::checkSum(const std::filesystem::path& file, const std::string& expected,
                             const std::stop_token& stop)
{
    std::string actual;
    try {
        actual = Sha256::ofFile(file, stop);
    } catch (const std::runtime_error& failure) {
        throw ModelError(ModelError::Case::fileFailed, std::string(failure.what()) + ".",
                         "無法讀取 " + file.string() + "。");
    }
    if (stop.stop_requested()) {
        throw ModelError(ModelError::Case::cancelled, "Cancelled.", "已取消。");
    }
    if (actual != expected) {
        throw ModelError(ModelError::Case::checksumMismatch,
                         "The downloaded file's SHA-256 is " + actual + ", not the published " + expected +
                             "; the file was deleted.",
                         "下載檔案的 SHA-256 是 " + actual + "，與公布的 " + expected + " 不符；檔案已刪除。");
    }
}

} // namespace kivo
