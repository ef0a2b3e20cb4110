#include "platform/accessibilitybus/AccessibilityBus.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QVariant>

namespace kivo::AccessibilityBus {

namespace {

constexpr int timeoutMilliseconds = 1000;

QDBusMessage propertiesCall(const QString& method)
{
    return QDBusMessage::createMethodCall(QStringLiteral("org.a11y.Bus"), QStringLiteral("/org/a11y/bus"),
                                          QStringLiteral("org.freedesktop.DBus.Properties"), method);
}

} // namespace

bool isEnabled()
{
    auto message = propertiesCall(QStringLiteral("Get"));
    message << QStringLiteral("org.a11y.Status") << QStringLiteral("IsEnabled");
    const QDBusMessage reply = QDBusConnection::sessionBus().call(message, QDBus::Block, timeoutMilliseconds);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
        return false;
    }
    return reply.arguments().first().value<QDBusVariant>().variant().toBool();
}

bool setEnabled(bool enabled)
{
    auto message = propertiesCall(QStringLiteral("Set"));
    message << QStringLiteral("org.a11y.Status") << QStringLiteral("IsEnabled")
            << QVariant::fromValue(QDBusVariant(enabled));
    const QDBusMessage reply = QDBusConnection::sessionBus().call(message, QDBus::Block, timeoutMilliseconds);
    return reply.type() == QDBusMessage::ReplyMessage;
}

} // namespace kivo::AccessibilityBus
