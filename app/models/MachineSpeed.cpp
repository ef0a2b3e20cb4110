#include "app/models/MachineSpeed.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

namespace kivo {
namespace {

constexpr int format = 1;

std::map<std::string, double> figures(const nlohmann::json& object)
{
    std::map<std::string, double> out;
    if (!object.is_object()) {
        return out;
    }
    for (const auto& [shape, value] : object.items()) {
        if (value.is_number() && value.get<double>() > 0.0) {
            out[shape] = value.get<double>();
        }
    }
    return out;
}

} // namespace

std::string MachineSpeed::thisProcessor()
{
    std::ifstream info("/proc/cpuinfo");
    std::string line;
    std::string name = "unknown processor";
    while (std::getline(info, line)) {
        if (line.starts_with("model name")) {
            const auto colon = line.find(':');
            if (colon != std::string::npos) {
                name = line.substr(line.find_first_not_of(' ', colon + 1));
            }
            break;
        }
    }
    return name + " × " + std::to_string(std::max(1u, std::thread::hardware_concurrency()));
}

bool MachineSpeed::measuredWhileBusy() const
{
    // Other work on more than half the cores leaves the measurement too little to be fair.
    return loadAverage > 0.5 * std::max(1u, std::thread::hardware_concurrency());
}

double MachineSpeed::currentLoadAverage()
{
    std::ifstream file("/proc/loadavg");
    double oneMinute = 0.0;
    file >> oneMinute;
    return oneMinute;
}

std::filesystem::path MachineSpeed::cacheFile()
{
    const char* cache = std::getenv("XDG_CACHE_HOME");
    std::filesystem::path root;
    if (cache && std::filesystem::path(cache).is_absolute()) {
        root = cache;
    } else {
        const char* home = std::getenv("HOME");
        root = std::filesystem::path(home ? home : "/tmp") / ".cache";
    }
    return root / "kivo" / "machine-speed.json";
}

std::string MachineSpeed::toJson() const
{
    nlohmann::json document{{"format", format},
                            {"processor", processor},
                            {"runtime", runtime},
                            {"speechSecondsPerSecond", speechSecondsPerSecond},
                            {"languageSeconds", languageSeconds},
                            {"loadAverage", loadAverage}};
    return document.dump(2) + "\n";
}

std::optional<MachineSpeed> MachineSpeed::fromJson(const std::string& json)
{
    const auto document = nlohmann::json::parse(json, nullptr, false);
    if (document.is_discarded() || !document.is_object() || document.value("format", 0) != format ||
        !document.contains("processor") || !document["processor"].is_string() || !document.contains("runtime") ||
        !document["runtime"].is_string()) {
        return std::nullopt;
    }
    MachineSpeed speed;
    speed.processor = document["processor"].get<std::string>();
    speed.runtime = document["runtime"].get<std::string>();
    speed.speechSecondsPerSecond = figures(document.value("speechSecondsPerSecond", nlohmann::json::object()));
    speed.languageSeconds = figures(document.value("languageSeconds", nlohmann::json::object()));
    if (const auto load = document.find("loadAverage"); load != document.end() && load->is_number()) {
        speed.loadAverage = load->get<double>();
    }
    return speed;
}

std::optional<MachineSpeed> MachineSpeed::cached(const std::string& processor, const std::string& runtime,
                                                 const std::filesystem::path& file)
{
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        return std::nullopt;
    }
    std::ostringstream text;
    text << in.rdbuf();
    auto speed = fromJson(text.str());
    if (!speed || speed->processor != processor || speed->runtime != runtime) {
        return std::nullopt;
    }
    return speed;
}

bool MachineSpeed::save(const std::filesystem::path& file) const
{
    std::error_code error;
    std::filesystem::create_directories(file.parent_path(), error);
    const auto partial = file.string() + ".partial";
    {
        std::ofstream out(partial, std::ios::binary | std::ios::trunc);
        out << toJson();
        if (!out.flush()) {
            std::filesystem::remove(partial, error);
            return false;
        }
    }
    std::filesystem::rename(partial, file, error);
    return !error;
}

} // namespace kivo
