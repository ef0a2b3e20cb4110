#include "tools/targetapp/TargetAppClient.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QJsonDocument>
#include <QThread>

namespace kivo {

TargetAppClient::TargetAppClient(const QString& program, const QStringList& arguments)
{
    process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process_.start(program, arguments);
    if (process_.waitForStarted(10000)) {
        const auto first = readReply(std::chrono::seconds(20));
        ready_ = first && first->value(QStringLiteral("ready")).toBool();
    }
}

TargetAppClient::~TargetAppClient()
{
    if (process_.state() != QProcess::NotRunning) {
        command({{QStringLiteral("cmd"), QStringLiteral("quit")}}, std::chrono::seconds(2));
        process_.closeWriteChannel();
        if (!process_.waitForFinished(3000)) {
            process_.kill();
            process_.waitForFinished(3000);
        }
    }
}

std::optional<QJsonObject> TargetAppClient::readReply(std::chrono::milliseconds limit)
{
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < limit.count()) {
        pending_ += process_.readAllStandardOutput();
        const qsizetype newline = pending_.indexOf('\n');
        if (newline >= 0) {
            const QByteArray line = pending_.left(newline);
            pending_.remove(0, newline + 1);
            return QJsonDocument::fromJson(line).object();
        }
        if (process_.state() == QProcess::NotRunning) {
            return std::nullopt;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        process_.waitForReadyRead(5);
    }
    return std::nullopt;
}

std::optional<QJsonObject> TargetAppClient::command(const QJsonObject& command, std::chrono::milliseconds limit)
{
    process_.write(QJsonDocument(command).toJson(QJsonDocument::Compact) + '\n');
    process_.waitForBytesWritten(1000);
    return readReply(limit);
}

bool TargetAppClient::focus(const QString& field)
{
    const auto answer = command({{QStringLiteral("cmd"), QStringLiteral("focus")}, {QStringLiteral("field"), field}});
    return answer && answer->value(QStringLiteral("ok")).toBool();
}

bool TargetAppClient::set(const QString& field, const QString& text, int start, int end)
{
    const auto answer = command({{QStringLiteral("cmd"), QStringLiteral("set")},
                                 {QStringLiteral("field"), field},
                                 {QStringLiteral("text"), text},
                                 {QStringLiteral("start"), start},
                                 {QStringLiteral("end"), end}});
    return answer && answer->value(QStringLiteral("ok")).toBool();
}

std::optional<TargetAppClient::Field> TargetAppClient::get(const QString& field)
{
    const auto answer = command({{QStringLiteral("cmd"), QStringLiteral("get")}, {QStringLiteral("field"), field}});
    if (!answer || !answer->value(QStringLiteral("ok")).toBool()) {
        return std::nullopt;
    }
    return Field{answer->value(QStringLiteral("text")).toString(), answer->value(QStringLiteral("start")).toInt(),
                 answer->value(QStringLiteral("end")).toInt()};
}

bool TargetAppClient::setClipboard(const std::map<QString, QByteArray>& formats)
{
    QJsonObject encoded;
    for (const auto& [format, bytes] : formats) {
        encoded[format] = QString::fromLatin1(bytes.toHex());
    }
    const auto answer =
        command({{QStringLiteral("cmd"), QStringLiteral("setClipboard")}, {QStringLiteral("formats"), encoded}});
    return answer && answer->value(QStringLiteral("ok")).toBool();
}

std::optional<std::map<QString, QByteArray>> TargetAppClient::clipboard()
{
    const auto answer = command({{QStringLiteral("cmd"), QStringLiteral("clipboard")}});
    if (!answer || !answer->value(QStringLiteral("ok")).toBool()) {
        return std::nullopt;
    }
    std::map<QString, QByteArray> formats;
    const QJsonObject encoded = answer->value(QStringLiteral("formats")).toObject();
    for (auto it = encoded.begin(); it != encoded.end(); ++it) {
        formats[it.key()] = QByteArray::fromHex(it.value().toString().toLatin1());
    }
    return formats;
}

} // namespace kivo
