#include "app/speech/SpeechSession.h"

namespace kivo {

std::string_view SpeechSession::rawValue(Status status)
{
    switch (status) {
    case Status::idle: return "idle";
    case Status::requestingPermission: return "requestingPermission";
    case Status::preparing: return "preparing";
    case Status::recording: return "recording";
    case Status::finalizing: return "finalizing";
    }
    return "idle";
}

} // namespace kivo
