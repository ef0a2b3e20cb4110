#include "platform/autostart/AutostartEntry.h"

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <system_error>

namespace kivo::AutostartEntry {

namespace {

constexpr const char* fileName = "local.kivo.afm-trial.desktop";

// A desktop entry's Exec argument: quoted, with the characters the format reserves escaped.
std::string quoted(const std::string& argument)
{
    std::string out = "\"";
    for (const char c : argument) {
        if (c == '"' || c == '`' || c == '$' || c == '\\') {
            out += '\\';
        }
        out += c;
        if (c == '%') {
            out += '%'; // field codes start with '%'
        }
    }
    out += '"';
    // In the file's own string syntax a backslash is itself escaped.
    std::string escaped;
    for (const char c : out) {
        escaped += c;
        if (c == '\\') {
            escaped += '\\';
        }
    }
    return escaped;
}

} // namespace

std::filesystem::path path()
{
    const char* config = std::getenv("XDG_CONFIG_HOME");
    std::filesystem::path base;
    if (config != nullptr && std::filesystem::path(config).is_absolute()) {
        base = config;
    } else {
        const char* home = std::getenv("HOME");
        base = std::filesystem::path(home != nullptr ? home : "/") / ".config";
    }
    return base / "autostart" / fileName;
}

bool enabled()
{
    std::ifstream in(path());
    if (!in) {
        return false;
    }
    std::string line;
    while (std::getline(in, line)) {
        if (line == "Hidden=true") {
            return false;
        }
    }
    return true;
}

std::string contents(const std::filesystem::path& program)
{
    std::ostringstream out;
    out << "[Desktop Entry]\n"
        << "Type=Application\n"
        << "Name=Kivo\n"
        << "Comment=Start Kivo at login\n"
        << "Exec=" << quoted(program.string()) << "\n"
        << "Icon=local.kivo.afm-trial\n"
        << "Terminal=false\n"
        << "X-GNOME-Autostart-enabled=true\n";
    return out.str();
}

bool setEnabled(bool enable, const std::filesystem::path& program)
{
    const std::filesystem::path file = path();
    std::error_code error;
    if (!enable) {
        std::filesystem::remove(file, error);
        return !error;
    }
    std::filesystem::create_directories(file.parent_path(), error);
    if (error) {
        return false;
    }
    // Written aside and renamed, so a failed write leaves the old entry (or none).
    const std::filesystem::path temporary = file.string() + ".new";
    {
        std::ofstream out(temporary, std::ios::trunc);
        out << contents(program);
        out.flush();
        if (!out) {
            std::filesystem::remove(temporary, error);
            return false;
        }
    }
    std::filesystem::rename(temporary, file, error);
    if (error) {
        std::filesystem::remove(temporary, error);
        return false;
    }
    return true;
}

} // namespace kivo::AutostartEntry
