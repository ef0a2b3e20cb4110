#pragma once

#include <filesystem>
#include <string>

namespace kivo::AutostartEntry {

// The desktop's autostart entry of Kivo: $XDG_CONFIG_HOME/autostart/local.kivo.afm-trial.desktop
// (~/.config when the variable is unset or not absolute).
std::filesystem::path path();

// The entry exists and is not hidden (a desktop turns an entry off with Hidden=true).
bool enabled();

// The entry's text for starting `program` at login.
std::string contents(const std::filesystem::path& program);

// Writes the entry for `program`, or removes it. False when the file could not be written or
// removed; the entry is then as it was.
bool setEnabled(bool enabled, const std::filesystem::path& program);

} // namespace kivo::AutostartEntry
