#include "app/controller/RunFailureMessage.h"

#include "app/conversion/ConversionError.h"

#include <QCoreApplication>

#include <cstring>

namespace kivo::RunFailureMessage {
namespace {

std::string tooLong()
{
    return QCoreApplication::translate(
               "RunFailureMessage",
               "The text is too long for the on-device model. Shorten it, or select part of it and convert that.")
        .toStdString();
}

} // namespace

std::optional<std::string> forRunnerError(std::string_view errorType, std::string_view error)
{
    if (errorType == "rewrite_runner.Run.ProbeError") {
        if (error == "ProbeError.budgetExceeded") {
            return tooLong();
        }
        if (error == "ProbeError.unsupportedLocale") {
            return QCoreApplication::translate(
                       "RunFailureMessage",
                       "The on-device model does not support this language. Choose another output language.")
                .toStdString();
        }
    }
    if (errorType == "kivo.LanguageModelError") {
        if (error.starts_with("LanguageModelError.exceededContextWindowSize")) {
            return tooLong();
        }
        if (error.starts_with("LanguageModelError.exceededMaximumResponseTokens")) {
            return QCoreApplication::translate(
                       "RunFailureMessage",
                       "The model's answer ran too long and was not finished, so it was withheld. Shorten the "
                       "text, or select part of it and convert that.")
                .toStdString();
        }
    }
    return std::nullopt;
}

std::string forConversion(const ConversionError& failure)
{
    if (failure.typeName() == "Kivo.LiteralMasking.ProtectionError") {
        if (failure.caseName() == "literalMismatch") {
            return QCoreApplication::translate(
                       "RunFailureMessage",
                       "The model changed a protected name or number, so the result was withheld. Convert a "
                       "shorter selection, or edit the text yourself.")
                .toStdString();
        }
        if (failure.caseName() == "reservedMarker") {
            return QCoreApplication::translate(
                       "RunFailureMessage",
                       "The text contains Kivo's reserved marker \u201C\u27E6KIVO7_\u201D, so names and numbers "
                       "cannot be protected. Remove the marker and convert again.")
                .toStdString();
        }
    }
    return failure.localizedDescription();
}

std::string forUnreadableReply(const std::string& standardError, const std::string& output, bool exitedNormally,
                               int exitStatus)
{
    if (!standardError.empty()) {
        return standardError;
    }
    if (!exitedNormally) {
        const char* name = exitStatus > 0 ? ::sigabbrev_np(exitStatus) : nullptr;
        if (name == nullptr) {
            return QCoreApplication::translate(
                       "RunFailureMessage",
                       "The language model's runner stopped unexpectedly without a reply (the model file may be "
                       "damaged, or memory ran out).")
                .toStdString();
        }
        return QCoreApplication::translate("RunFailureMessage",
                                           "The language model's runner was ended by signal %1 without a reply "
                                           "(the model file may be damaged, or memory ran out).")
            .arg(QStringLiteral("SIG") + QString::fromUtf8(name))
            .toStdString();
    }
    if (exitStatus != 0) {
        return QCoreApplication::translate("RunFailureMessage",
                                           "The language model's runner exited with status %1 without a reply. "
                                           "Reinstall Kivo.")
            .arg(exitStatus)
            .toStdString();
    }
    if (output.empty()) {
        return QCoreApplication::translate("RunFailureMessage",
                                           "The language model's runner gave no reply. Reinstall Kivo.")
            .toStdString();
    }
    return QCoreApplication::translate(
               "RunFailureMessage",
               "The language model's runner's reply could not be read (not a JSON object). Reinstall Kivo.")
        .toStdString();
}

std::string lockUnavailable()
{
    return QCoreApplication::translate(
               "RunFailureMessage",
               "Unable to obtain the language model's process lock. Check that /tmp is writable and try again.")
        .toStdString();
}

std::string lockUnsafe(const std::string& path)
{
    return QCoreApplication::translate("RunFailureMessage",
                                       "The language model's process lock %1 is unsafe (not your file, permissions "
                                       "other than 0600, or a link). Delete it and try again.")
        .arg(QString::fromStdString(path))
        .toStdString();
}

std::string lockHeld()
{
    return QCoreApplication::translate("RunFailureMessage", "Another language model test is running. Try again later.")
        .toStdString();
}

std::string launchFailed(const std::string& runner, const std::string& reason)
{
    return QCoreApplication::translate("RunFailureMessage",
                                       "Could not start the language model's runner %1: %2. Reinstall Kivo.")
        .arg(QString::fromStdString(runner), QString::fromStdString(reason))
        .toStdString();
}

std::string timedOut()
{
    return QCoreApplication::translate("RunFailureMessage",
                                       "The language model stopped after 30 seconds. Original retained.")
        .toStdString();
}

std::string noResult()
{
    return QCoreApplication::translate("RunFailureMessage", "The language model gave no result. Convert again.")
        .toStdString();
}

std::string emptyResult()
{
    return QCoreApplication::translate(
               "RunFailureMessage",
               "The language model returned an empty result. Convert again, or reword the original.")
        .toStdString();
}

} // namespace kivo::RunFailureMessage
