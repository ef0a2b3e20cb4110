#pragma once

#include <QDBusConnection>
#include <QString>

#include <optional>

namespace kivo {

class TextService;

// One Kivo per session: the first launch owns the bus name, later ones raise it and end.
namespace SingleInstance {

inline constexpr const char* serviceName = "local.kivo.afm-trial";

enum class Claim { primary, raisedExisting, noBus };

// Exports `service` and takes the name; when another process holds it, asks that one to
// show its panel instead.
Claim claim(QDBusConnection bus, TextService& service);

// Hands `text` to the running app's text service; returns its refusal or the bus error, or
// none when the text was taken.
std::optional<QString> sendText(QDBusConnection bus, const QString& text);

// Whether a Kivo already holds the bus name.
bool running(QDBusConnection bus);

// The "--convert-selection" command: sends the PRIMARY selection. Returns the exit status.
int convertSelectionCommand();

} // namespace SingleInstance

} // namespace kivo
