#pragma once

#include "app/lifecycle/RecordingCommand.h"

#include <QDBusConnection>
#include <QString>

#include <optional>

namespace kivo {

class TextService;

// One Kivo per session: the first launch owns the bus name, later ones raise it and end.
namespace SingleInstance {

inline constexpr const char* serviceName = "local.kivo.afm-trial";

enum class Claim {
    primary,
    raisedExisting,
    noBus
};

// Exports `service` and takes the name; when another process holds it, asks that one to
// show its panel instead.
Claim claim(QDBusConnection bus, TextService& service);

// Hands `text` to the running app's text service; returns its refusal or the bus error, or
// none when the text was taken.
std::optional<QString> sendText(const QDBusConnection& bus, const QString& text);

// Whether another process holds the name (a Kivo is running).
bool running(const QDBusConnection& bus);

// Hands a recording command to the running app; returns the bus error, or none when it was
// taken.
std::optional<QString> sendRecordingCommand(const QDBusConnection& bus, RecordingCommand command);

// The "--toggle-recording" family: sends the command to the running app. Returns the exit
// status, or none when no Kivo runs and this process should start as the app and then obey
// the command itself.
std::optional<int> recordingCommand(RecordingCommand command);

// The "--convert-selection" command: sends the PRIMARY selection. Returns the exit status.
int convertSelectionCommand();

} // namespace SingleInstance

} // namespace kivo
