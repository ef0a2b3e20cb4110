#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace kivo {

class ConversionError;

// What the status line says when a conversion fails for a reason the person can act on. The
// runner's replies keep their generic wording on the wire; this turns the known cases into a
// sentence that says what happened and what to do, in the interface language.
namespace RunFailureMessage {

// For an error reply of the runner ("errorType" and "error"), or nothing when the reply's own
// wording is to be shown.
std::optional<std::string> forRunnerError(std::string_view errorType, std::string_view error);

// For a failure of the conversion layer (building the request or restoring the result).
std::string forConversion(const ConversionError& failure);

// For a run that gave no readable reply: the runner's standard error when it wrote any,
// otherwise the cause as far as it is known. For a runner that did not exit normally a positive
// `exitStatus` is the signal that ended it, which the message names.
std::string forUnreadableReply(const std::string& standardError, const std::string& output, bool exitedNormally,
                               int exitStatus);

// The run could not begin or did not end with a result.
std::string lockUnavailable();
std::string lockUnsafe(const std::string& path);
std::string lockHeld();
std::string launchFailed(const std::string& runner, const std::string& reason);
std::string timedOut();
std::string noResult();
std::string emptyResult();

} // namespace RunFailureMessage
} // namespace kivo
