#include "app/models/ModelsCommand.h"

#include "app/models/MachineSpeedProbe.h"
#include "app/models/ModelError.h"
#include "app/models/ModelInstaller.h"
#include "app/models/ModelRecommendation.h"
#include "app/models/ModelStore.h"
#include "app/models/ModelText.h"

#include <chrono>
#include <cstdio>
#include <optional>

namespace kivo::ModelsCommand {
namespace {

constexpr const char* usage =
    "Usage: Kivo --models [--catalogue URL|FILE] COMMAND\n"
    "  list              what is installed and what the catalogue offers\n"
    "  install NAME      download a catalogue model and install it\n"
    "  import FILE ROLE  install a local file as the speech or language model\n"
    "  verify [ROLE]     check the installed models (header and a trial load)\n"
    "  remove ROLE       delete the installed speech or language model\n"
    "  recommend [--measure]  the largest models this computer runs inside the budgets\n"
    "                    (measured once at idle priority and cached; --measure measures again)\n";

std::uint64_t sizeOf(const std::filesystem::path& path)
{
    std::error_code error;
    const auto size = std::filesystem::file_size(path, error);
    return error ? 0 : size;
}

int list(const ModelCatalogue& catalogue, const std::string& source, std::ostream& out)
{
    for (const ModelRole role : ModelRoles::allCases) {
        const auto file = ModelStore::installed(role);
        out << ModelRoles::rawValue(role) << ": "
            << (file ? file->string() + " · " + ModelText::size(sizeOf(*file)) : ModelText::notInstalled(role)) << "\n";
    }
    out << "\nCatalogue (" << (source.empty() ? std::string("built in") : source) << "):\n";
    for (const auto& entry : catalogue.entries) {
        out << "  " << entry.name << "  [" << ModelRoles::rawValue(entry.role) << "]  " << ModelText::entryLine(entry)
            << "\n";
        if (!entry.pick.empty()) {
            out << "      " << entry.pick << "\n";
        }
    }
    return 0;
}

int install(const ModelCatalogue& catalogue, const std::string& name, std::ostream& out, std::ostream& err)
{
    const auto* entry = catalogue.find(name);
    if (!entry) {
        throw ModelError(ModelError::Case::notInCatalogue,
                         "\"" + name + "\" is not in the catalogue; `Kivo --models list` shows the names.",
                         "模型目錄中沒有「" + name + "」。");
    }
    err << "Downloading " << entry->title << " from " << entry->url << "\n";
    auto last = std::chrono::steady_clock::time_point{};
    const auto result = ModelInstaller::download(*entry, [&](const ModelInstaller::Progress& progress) {
        const auto now = std::chrono::steady_clock::now();
        if (progress.phase == ModelInstaller::Progress::Phase::verifying || now - last >= std::chrono::seconds(1)) {
            last = now;
            err << ModelText::progress(progress) << "\n";
        }
    });
    if (result.restartedFromZero) {
        err << "The server does not resume downloads, so the file came whole again.\n";
    }
    out << ModelText::done(result.file, result.report.english) << "\n";
    return 0;
}

int recommend(const ModelCatalogue& catalogue, const MachineSpeed& speed, std::ostream& out)
{
    out << "This computer: " << speed.processor << "\n";
    char line[160];
    if (speed.measuredWhileBusy()) {
        std::snprintf(line, sizeof line,
                      "Measured while the computer was busy (load average %.1f): the figures are too slow and "
                      "were not kept; measure again when it is quiet.\n",
                      speed.loadAverage);
        out << line;
    }
    for (const auto& [shape, figure] : speed.speechSecondsPerSecond) {
        std::snprintf(line, sizeof line, "  speech %-15s %.2f s per second of audio (live speech: at most %.2f)\n",
                      shape.c_str(), figure, ModelRecommendation::liveSpeechBudget);
        out << line;
    }
    for (const auto& [shape, figure] : speed.languageSeconds) {
        std::snprintf(line, sizeof line, "  language %-13s %.0f s for a long conversion (at most %.0f)\n",
                      shape.c_str(), figure, ModelRecommendation::conversionBudget);
        out << line;
    }
    const auto recommendation = ModelRecommendation::choose(catalogue, speed);
    int status = 0;
    for (const ModelRole role : ModelRoles::allCases) {
        const auto& chosen = role == ModelRole::speech ? recommendation.speech : recommendation.language;
        out << ModelRoles::rawValue(role) << ": ";
        if (chosen) {
            out << chosen->entry->name << " · " << ModelRecommendation::label(role, chosen->figure)
                << "\n  Kivo --models install " << chosen->entry->name << "\n";
        } else if (role == ModelRole::language && speed.languageSeconds.empty()) {
            out << "not measured\n";
        } else {
            out << "none in the catalogue stays inside the budget on this computer\n";
            status = 1;
        }
    }
    return status;
}

std::optional<ModelRole> role(const std::string& name, std::ostream& err)
{
    const auto found = ModelRoles::named(name);
    if (!found) {
        err << "The role must be speech or language, not \"" << name << "\".\n";
    }
    return found;
}

} // namespace

int run(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err)
{
    std::vector<std::string> rest = arguments;
    std::string source = ModelCatalogue::configuredSource();
    if (rest.size() >= 2 && rest[0] == "--catalogue") {
        source = rest[1];
        rest.erase(rest.begin(), rest.begin() + 2);
    }
    if (rest.empty()) {
        err << usage;
        return 2;
    }
    const std::string& command = rest[0];
    try {
        if (command == "list" && rest.size() == 1) {
            return list(ModelCatalogue::load(source), source, out);
        }
        if (command == "install" && rest.size() == 2) {
            return install(ModelCatalogue::load(source), rest[1], out, err);
        }
        if (command == "import" && rest.size() == 3) {
            const auto which = role(rest[2], err);
            if (!which) {
                return 2;
            }
            const auto imported = ModelInstaller::importFile(rest[1], *which);
            out << ModelText::done(imported.file, imported.report.english) << "\n";
            return 0;
        }
        if (command == "verify" && rest.size() <= 2) {
            std::vector<ModelRole> roles(ModelRoles::allCases.begin(), ModelRoles::allCases.end());
            if (rest.size() == 2) {
                const auto which = role(rest[1], err);
                if (!which) {
                    return 2;
                }
                roles = {*which};
            }
            int status = 0;
            for (const ModelRole each : roles) {
                try {
                    const auto result = ModelInstaller::verifyInstalled(each);
                    out << ModelRoles::rawValue(each) << ": "
                        << ModelText::installed(result.file, result.report.english) << "\n";
                } catch (const ModelError& failure) {
                    err << ModelRoles::rawValue(each) << ": " << failure.what() << "\n";
                    status = 1;
                }
            }
            return status;
        }
        if (command == "recommend" && (rest.size() == 1 || (rest.size() == 2 && rest[1] == "--measure"))) {
            const auto catalogue = ModelCatalogue::load(source);
            try {
                return recommend(catalogue, MachineSpeedProbe::obtain(rest.size() == 2), out);
            } catch (const std::exception& failure) {
                err << "Could not measure this computer: " << failure.what() << "\n";
                return 1;
            }
        }
        if (command == "remove" && rest.size() == 2) {
            const auto which = role(rest[1], err);
            if (!which) {
                return 2;
            }
            ModelInstaller::remove(*which);
            out << ModelText::removed(*which) << "\n";
            return 0;
        }
    } catch (const ModelError& failure) {
        err << failure.what() << "\n";
        return 1;
    }
    err << usage;
    return 2;
}

} // namespace kivo::ModelsCommand
