#pragma once

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace kivo {

class SystemLanguageModel;

// One job of the text pipeline end to end: prepare, ask the model, validate, report.
namespace PipelineProbe {

// The probe's own failures. what() is the qualified type and case joined by dots.
class Failure : public std::runtime_error {
public:
    enum class Code {
        unavailable,
        unsupportedLocale,
        budgetExceeded
    };
    static constexpr std::string_view typeName = "pipeline_probe.PipelineProbe.Failure";
    explicit Failure(Code code);
    Code code() const { return code_; }

private:
    Code code_;
};

struct Arguments {
    std::filesystem::path resources;
    bool prepareOnly = false;
};

// The first argument is always the resource directory (so "--prepare-only" alone is taken as
// one); without arguments it is the parent of the executable's directory.
Arguments parseArguments(const std::vector<std::string>& arguments, const std::filesystem::path& executableDirectory);

using ModelFactory = std::function<std::unique_ptr<SystemLanguageModel>()>;

// The report as one line of JSON (keys sorted, "/" escaped) ending in a line feed. Never throws.
std::string run(std::string_view input, const Arguments& arguments, const ModelFactory& makeModel,
                std::chrono::system_clock::time_point started);

// The report written when the model runtime stops the process on one of its own checks: the
// job's error, so the caller still gets one line of JSON. Never throws.
std::string runtimeStopped(const char* message, std::chrono::system_clock::time_point started);

} // namespace PipelineProbe
} // namespace kivo
