#include "app/lifecycle/SingleInstance.h"

#include "app/lifecycle/TextService.h"

#include <QClipboard>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QGuiApplication>

#include <cstdio>

namespace kivo::SingleInstance {
namespace {

constexpr int callTimeoutMs = 5000;

QDBusMessage call(const char* method, const QVariantList& arguments)
{
    QDBusMessage message =
        QDBusMessage::createMethodCall(QString::fromLatin1(serviceName), QString::fromLatin1(TextService::objectPath),
                                       QString::fromLatin1(TextService::interfaceName), QString::fromLatin1(method));
    message.setArguments(arguments);
    return message;
}

} // namespace

Claim claim(QDBusConnection bus, TextService& service)
{
    if (!bus.isConnected()) {
        return Claim::noBus;
    }
    bus.registerObject(QString::fromLatin1(TextService::objectPath), &service, QDBusConnection::ExportScriptableSlots);
    const auto reply =
        bus.interface()->registerService(QString::fromLatin1(serviceName), QDBusConnectionInterface::DontQueueService,
                                         QDBusConnectionInterface::DontAllowReplacement);
    if (reply.isValid() && reply.value() == QDBusConnectionInterface::ServiceRegistered) {
        return Claim::primary;
    }
    bus.unregisterObject(QString::fromLatin1(TextService::objectPath));
    bus.call(call("Raise", {}), QDBus::Block, callTimeoutMs);
    return Claim::raisedExisting;
}

std::optional<QString> sendText(const QDBusConnection& bus, const QString& text)
{
    if (!bus.isConnected()) {
        return QStringLiteral("No session bus.");
    }
    const QDBusMessage reply = bus.call(call("ConvertSelection", {text}), QDBus::Block, callTimeoutMs);
    if (reply.type() == QDBusMessage::ErrorMessage) {
        return reply.errorMessage();
    }
    return std::nullopt;
}

bool running(const QDBusConnection& bus)
{
    if (!bus.isConnected()) {
        return false;
    }
    const auto reply = bus.interface()->isServiceRegistered(QString::fromLatin1(serviceName));
    return reply.isValid() && reply.value();
}

std::optional<QString> sendRecordingCommand(const QDBusConnection& bus, RecordingCommand command)
{
    if (!bus.isConnected()) {
        return QStringLiteral("No session bus.");
    }
    const QDBusMessage reply = bus.call(call(RecordingCommands::methodName(command), {}), QDBus::Block, callTimeoutMs);
    if (reply.type() == QDBusMessage::ErrorMessage) {
        return reply.errorMessage();
    }
    return std::nullopt;
}

std::optional<int> recordingCommand(RecordingCommand command)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!running(bus)) {
        return std::nullopt;
    }
    if (const auto error = sendRecordingCommand(bus, command)) {
        std::fprintf(stderr, "Kivo: %s\n", error->toUtf8().constData());
        return 1;
    }
    return 0;
}

int convertSelectionCommand()
{
    const QString text = QGuiApplication::clipboard()->text(QClipboard::Selection);
    const auto error = sendText(QDBusConnection::sessionBus(), text);
    if (error) {
        std::fprintf(stderr, "Kivo: %s\n", error->toUtf8().constData());
        return 1;
    }
    return 0;
}

} // namespace kivo::SingleInstance
