#include "checker/ModelCheck.h"

#include "platform/languagemodel/SystemLanguageModel.h"
#include "platform/modelavailability/Availability.h"
#include "platform/speech/SpeechCpuSupport.h"
#include "platform/speech/WhisperFileCheck.h"
#include "platform/speech/WhisperFileError.h"
#include "platform/speech/WhisperModel.h"

#include <nlohmann/json.hpp>

#include <exception>
#include <new>

namespace kivo {
namespace {

ModelCheck::Result speech(const std::filesystem::path& file)
{
    SpeechModelFile::Header header;
    try {
        header = WhisperFileCheck::check(file);
    } catch (const WhisperFileError& refused) {
        return {false, refused.englishDetail() + ".", refused.chineseDetail() + "。"};
    }
    const std::string vocabulary = std::to_string(header.nVocab);
    const bool cantonese = header.language() == "yue";
    ModelCheck::Result report{true,
                              "vocabulary " + vocabulary + (cantonese ? ": Cantonese (yue)" : ": run as Mandarin (zh)"),
                              "詞彙 " + vocabulary + (cantonese ? "：粵語（yue）" : "：以普通話（zh）辨識")};
    if (!SpeechCpuSupport::meetsRequiredLevel()) {
        report.english += "; not tried on this processor";
        report.chinese += "；此處理器未能試載";
        return report;
    }
    WhisperModel::load(file);
    return report;
}

ModelCheck::Result language(const std::filesystem::path& file)
{
    const auto model = SystemLanguageModel::makeFromFile(file);
    const Availability& availability = model->availability();
    using Reason = Availability::UnavailableReason;
    if (availability.isAvailable()) {
        return {true, model->variant(), model->variant()};
    }
    // A processor or runtime that cannot run any model says nothing about this file.
    if (availability.reason == Reason::cpuUnsupported || availability.reason == Reason::runtimeUnavailable) {
        return {true, "not tried: " + availability.description(), "未試載：" + availability.description()};
    }
    return {false, "does not load: " + availability.description() + ".",
            "無法載入：" + availability.description() + "。"};
}

} // namespace

ModelCheck::Result ModelCheck::run(Kind kind, const std::filesystem::path& file)
{
    try {
        return kind == Kind::speech ? speech(file) : language(file);
    } catch (const std::bad_alloc&) {
        return {false, "needs more memory than a model of its size.", "所需記憶體超出同等大小的模型。"};
    } catch (const std::exception& failure) {
        return {false, "does not load: " + std::string(failure.what()) + ".",
                "無法載入：" + std::string(failure.what()) + "。"};
    }
}

std::string ModelCheck::toJson(const Result& result)
{
    const nlohmann::json line{{"usable", result.usable}, {"english", result.english}, {"chinese", result.chinese}};
    return line.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

} // namespace kivo
