#include "runner/FatalReply.h"

#include "platform/languagemodel/LanguageModelError.h"
#include "platform/languagemodel/SystemLanguageModel.h"
#include "platform/modelavailability/Availability.h"
#include "platform/process/StandardStreams.h"
#include "runner/FailureReport.h"
#include "runner/ProbeError.h"

#include <unistd.h>

#include <atomic>
#include <string>

namespace kivo::FatalReply {
namespace {

std::atomic<const RewriteReply*> watched{nullptr};
std::atomic<Phase> currentPhase{Phase::loading};
std::chrono::system_clock::time_point startedAt;

// The runtime's message starts with its source path; the file name is enough.
std::string shortened(const char* message)
{
    std::string text = message ? message : "";
    const auto colon = text.find(':');
    const auto slash = text.rfind('/', colon);
    if (colon != std::string::npos && slash != std::string::npos) {
        text.erase(0, slash + 1);
    }
    return text;
}

void onRuntimeFailure(const char* message)
{
    static std::atomic_flag writing;
    if (writing.test_and_set()) {
        // Another thread is already writing the reply and will end the process.
        for (;;) {
            ::pause();
        }
    }
    const RewriteReply* reply = watched.load();
    if (reply != nullptr) {
        StandardStreams::writeAll(STDOUT_FILENO, finished(*reply, currentPhase.load(), message, startedAt).jsonLine());
    }
    ::_exit(0);
}

} // namespace

RewriteReply finished(RewriteReply reply, Phase phase, const char* message,
                      std::chrono::system_clock::time_point started)
{
    const std::string detail = "the model runtime stopped: " + shortened(message);
    reply.status = RewriteReply::Status::error;
    if (phase == Phase::loading) {
        reply.availability = Availability::unavailable(Availability::UnavailableReason::modelInvalid, detail);
        reply.failure =
            FailureReport::of(std::make_exception_ptr(ProbeError::unavailable(reply.availability->description())));
    } else {
        reply.failure = FailureReport::of(
            std::make_exception_ptr(LanguageModelError(LanguageModelError::Case::decodingFailed, detail)));
    }
    reply.elapsedSeconds = std::chrono::duration<double>(std::chrono::system_clock::now() - started).count();
    return reply;
}

void watch(const RewriteReply& reply, std::chrono::system_clock::time_point started)
{
    startedAt = started;
    currentPhase = Phase::loading;
    watched = &reply;
    SystemLanguageModel::onRuntimeFailure(onRuntimeFailure);
}

void enter(Phase phase)
{
    currentPhase = phase;
}

void release()
{
    watched = nullptr;
    SystemLanguageModel::onRuntimeFailure(nullptr);
}

} // namespace kivo::FatalReply
