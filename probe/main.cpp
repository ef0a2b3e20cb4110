// pipeline-probe [RESOURCE-DIRECTORY] [--prepare-only]: runs one text-pipeline job read from
// standard input and prints one JSON report. Exits 0 whenever the report is printed.
#include "platform/languagemodel/SystemLanguageModel.h"
#include "platform/process/StandardStreams.h"
#include "probe/PipelineProbe.h"

#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <system_error>
#include <vector>

namespace {

std::filesystem::path executableDirectory(const char* argv0)
{
    std::error_code error;
    auto path = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error) {
        path = std::filesystem::absolute(argv0, error);
    }
    return path.parent_path();
}

std::chrono::system_clock::time_point started;

// The runtime would abort on one of its own checks, leaving the caller no report.
void onRuntimeFailure(const char* message)
{
    kivo::StandardStreams::writeAll(STDOUT_FILENO, kivo::PipelineProbe::runtimeStopped(message, started));
    ::_exit(0);
}

} // namespace

int main(int argc, char** argv)
{
    started = std::chrono::system_clock::now();
    kivo::SystemLanguageModel::onRuntimeFailure(onRuntimeFailure);
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    const auto parsed = kivo::PipelineProbe::parseArguments(arguments, executableDirectory(argv[0]));
    const std::string input = kivo::StandardStreams::readAll(STDIN_FILENO);
    kivo::StandardStreams::writeAll(
        STDOUT_FILENO, kivo::PipelineProbe::run(input, parsed, &kivo::SystemLanguageModel::makeDefault, started));
    return 0;
}
