#include "app/controller/UnavailableSpeechSession.h"

#include <QMetaObject>

namespace kivo {

UnavailableSpeechSession::UnavailableSpeechSession(Callbacks callbacks)
    : callbacks_(std::move(callbacks)), context_(std::make_unique<QObject>())
{
}

UnavailableSpeechSession::~UnavailableSpeechSession() = default;

void UnavailableSpeechSession::start(const Settings&)
{
    if (active_) {
        return;
    }
    active_ = true;
    callbacks_.onStatus(Status::requestingPermission);
    QMetaObject::invokeMethod(context_.get(), [this] {
        if (!active_) {
            return;
        }
        active_ = false;
        callbacks_.onError("Speech recognition is not available in this build.");
        callbacks_.onStatus(Status::idle);
        callbacks_.onCompletion(std::nullopt);
    }, Qt::QueuedConnection);
}

void UnavailableSpeechSession::cancel()
{
    if (!active_) {
        return;
    }
    active_ = false;
    callbacks_.onStatus(Status::idle);
    callbacks_.onCompletion(std::nullopt);
}

} // namespace kivo
