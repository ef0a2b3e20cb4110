#pragma once

#include <QJsonObject>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <chrono>
#include <map>
#include <optional>

namespace kivo {

// Drives a target application (kivo-target-app or its GTK twin) from tests and benchmarks.
// Waiting spins this process's event loop, so the target can read a clipboard we own.
class TargetAppClient {
public:
    struct Field {
        QString text;
        int start = 0;
        int end = 0;
    };

    TargetAppClient(const QString& program, const QStringList& arguments = {});
    ~TargetAppClient();

    bool ready() const { return ready_; }
    qint64 processId() const { return process_.processId(); }

    bool focus(const QString& field);
    bool set(const QString& field, const QString& text, int start, int end);
    std::optional<Field> get(const QString& field);
    bool setClipboard(const std::map<QString, QByteArray>& formats);
    std::optional<std::map<QString, QByteArray>> clipboard();

    // One command, one reply; none when the target does not answer in time.
    std::optional<QJsonObject> command(const QJsonObject& command,
                                       std::chrono::milliseconds limit = std::chrono::seconds(10));

private:
    std::optional<QJsonObject> readReply(std::chrono::milliseconds limit);

    QProcess process_;
    QByteArray pending_;
    bool ready_ = false;
};

} // namespace kivo
