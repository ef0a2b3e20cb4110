#include "app/speech/SpeechEngine.h"

namespace kivo {

std::optional<SpeechEngine> SpeechEngine::fromRawValue(std::string_view raw)
{
    for (const auto value : allCases) {
        if (SpeechEngine(value).rawValue() == raw) {
            return SpeechEngine(value);
        }
    }
    return std::nullopt;
}

std::string_view SpeechEngine::rawValue() const
{
    return value_ == speech ? "speech" : "dictation";
}

// Both run the installed whisper model; they differ only in whether hints become its prompt.
std::string SpeechEngine::title() const
{
    return (value_ == speech ? tr("Whisper speech model") : tr("Whisper with hints")).toStdString();
}

std::string SpeechEngine::title(std::string_view installedModel) const
{
    // Without a model the generic titles stay; the status line already says one is missing.
    if (installedModel.empty()) {
        return title();
    }
    // Short enough that the pop-up keeps the width the settings were laid out for.
    const QString model =
        QStringLiteral("Whisper ") + QString::fromUtf8(installedModel == "large-v3-turbo" ? "turbo" : installedModel);
    if (value_ == speech) {
        return model.toStdString();
    }
    return tr("%1 + hints").arg(model).toStdString();
}

std::string SpeechEngine::detail() const
{
    return (value_ == speech ? tr(" · Accuracy first") : tr(" · Supports hints")).toStdString();
}

} // namespace kivo
