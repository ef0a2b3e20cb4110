#include "app/models/ModelAdvice.h"

#include "app/models/ModelStore.h"

#include <QCoreApplication>

namespace kivo::ModelAdvice {
namespace {

std::string searchedFolder(ModelRole role)
{
    return ModelStore::searched(role).front().parent_path().string();
}

std::string lookedFor(ModelRole role)
{
    const QString place = QString::fromStdString(ModelStore::searched(role).front().string());
    return QCoreApplication::translate("ModelAdvice", "Kivo reads %1.").arg(place).toStdString();
}

} // namespace

Advice speechMissing()
{
    // A file that is there but unusable (not whisper, English-only) counts as missing too.
    if (const auto file = ModelStore::installed(ModelRole::speech)) {
        return {QCoreApplication::translate(
                    "ModelAdvice",
                    "The installed speech model is not a multilingual whisper model, so it cannot recognise "
                    "Cantonese. Replace it.")
                    .toStdString(),
                file->string()};
    }
    return {QCoreApplication::translate("ModelAdvice", "No speech model is installed. Download one.").toStdString(),
            QCoreApplication::translate("ModelAdvice", "No speech-model.bin in %1.")
                .arg(QString::fromStdString(searchedFolder(ModelRole::speech)))
                .toStdString()};
}

Advice speechBroken(const std::string& failure)
{
    return {QCoreApplication::translate("ModelAdvice",
                                        "The speech model could not be loaded. Download it again or choose another.")
                .toStdString(),
            failure};
}

bool isSpeechModelFailure(const std::string& failure)
{
    return failure.starts_with("Not a speech model: ") ||
           failure.starts_with("The speech model could not be loaded: ") || failure == "No speech model is installed.";
}

Advice languageUnavailable(const std::string& detail)
{
    // The runtime's reason codes stay in the details; each becomes a sentence with its way out.
    std::string status;
    if (detail.starts_with("modelNotFound")) {
        status =
            QCoreApplication::translate("ModelAdvice", "No language model is installed. Download one.").toStdString();
    } else if (detail.starts_with("modelInvalid")) {
        status = QCoreApplication::translate(
                     "ModelAdvice",
                     "The language model file is not a usable GGUF chat model. Download it again or choose another.")
                     .toStdString();
    } else if (detail.starts_with("modelUnreadable")) {
        status =
            QCoreApplication::translate(
                "ModelAdvice", "The language model file cannot be read. Check its permissions, or download it again.")
                .toStdString();
    } else if (detail.starts_with("cpuUnsupported")) {
        status = QCoreApplication::translate(
                     "ModelAdvice",
                     "This computer's processor cannot run the language model; speech recognition still works.")
                     .toStdString();
    } else {
        status = QCoreApplication::translate("ModelAdvice", "The language model could not start. Reinstall Kivo.")
                     .toStdString();
    }
    return {status, detail + "\n" + lookedFor(ModelRole::language)};
}

std::optional<Advice> missingAtStart()
{
    const bool speech = ModelStore::installed(ModelRole::speech).has_value();
    const bool language = ModelStore::installed(ModelRole::language).has_value();
    if (speech && language) {
        return std::nullopt;
    }
    std::string details;
    for (const ModelRole role : ModelRoles::allCases) {
        if (!ModelStore::installed(role)) {
            details += (details.empty() ? "" : "\n") + lookedFor(role);
        }
    }
    if (!speech && !language) {
        return Advice{
            QCoreApplication::translate("ModelAdvice", "The speech and language models are not installed yet.")
                .toStdString(),
            details};
    }
    return Advice{!speech
                      ? QCoreApplication::translate(
                            "ModelAdvice", "The speech model is not installed yet, so recording cannot be recognised.")
                            .toStdString()
                      : QCoreApplication::translate(
                            "ModelAdvice", "The language model is not installed yet, so text cannot be converted.")
                            .toStdString(),
                  details};
}

std::string openModelsAction()
{
    return QCoreApplication::translate("ModelAdvice", "Click here to open Models ›").toStdString();
}

} // namespace kivo::ModelAdvice
