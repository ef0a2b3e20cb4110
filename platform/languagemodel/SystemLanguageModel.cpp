#include "platform/languagemodel/SystemLanguageModel.h"

#include "platform/languagemodel/CpuSupport.h"
#include "platform/languagemodel/LanguageModelError.h"
#include "platform/languagemodel/LanguageModelSession.h"
#include "platform/languagemodel/LlamaModel.h"
#include "platform/languagemodel/LlamaRuntime.h"
#include "platform/languagemodel/LocaleSupport.h"
#include "platform/languagemodel/ModelLocation.h"

#include <array>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace kivo {
namespace {

using Reason = Availability::UnavailableReason;

std::string joined(const std::vector<std::filesystem::path>& places)
{
    std::string text;
    for (const auto& place : places) {
        text += text.empty() ? "" : " or ";
        text += place.string();
    }
    return text;
}

} // namespace

SystemLanguageModel::SystemLanguageModel(ConstructionKey, Availability availability)
    : availability_(std::move(availability))
{
}

SystemLanguageModel::~SystemLanguageModel() = default;

void SystemLanguageModel::onRuntimeFailure(void (*handler)(const char* message))
{
    LlamaRuntime::onFatal(handler);
}

std::string SystemLanguageModel::variant() const
{
    if (!model_) {
        return "general";
    }
    std::array<char, 256> description{};
    llama_model_desc(model_->handle(), description.data(), description.size());
    return "general(" + std::string(description.data()) + ")";
}

std::unique_ptr<SystemLanguageModel> SystemLanguageModel::makeDefault()
{
    const auto places = ModelLocation::candidates();
    const auto file = ModelLocation::resolve(places);
    if (!file) {
        return std::make_unique<SystemLanguageModel>(
            ConstructionKey(), Availability::unavailable(Reason::modelNotFound, "no file at " + joined(places)));
    }
    return makeFromFile(*file);
}

std::unique_ptr<SystemLanguageModel> SystemLanguageModel::makeFromFile(const std::filesystem::path& file)
{
    auto unavailable = [](Reason reason, std::string detail) {
        return std::make_unique<SystemLanguageModel>(ConstructionKey(),
                                                     Availability::unavailable(reason, std::move(detail)));
    };
    // Checked before anything of the runtime runs: its kernels would fault on an older CPU.
    if (!CpuSupport::meetsRequiredLevel()) {
        return unavailable(Reason::cpuUnsupported, "this processor lacks " + std::string(CpuSupport::requiredLevel));
    }
    const int descriptor = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (descriptor < 0) {
        const int error = errno;
        if (error == ENOENT) {
            return unavailable(Reason::modelNotFound, "no file at " + file.string());
        }
        return unavailable(Reason::modelUnreadable, file.string() + ": " + std::strerror(error));
    }
    ::close(descriptor);
    if (std::error_code error; std::filesystem::is_directory(file, error)) {
        return unavailable(Reason::modelUnreadable, file.string() + ": is a folder");
    }
    if (const auto failure = LlamaRuntime::start()) {
        return unavailable(Reason::runtimeUnavailable, *failure);
    }
    std::string failure;
    auto loaded = LlamaModel::load(file, failure);
    if (!loaded) {
        return unavailable(Reason::modelInvalid, failure);
    }
    auto model = std::make_unique<SystemLanguageModel>(ConstructionKey(), Availability::available());
    model->model_ = std::move(loaded);
    return model;
}

const LlamaModel& SystemLanguageModel::loaded() const
{
    if (!model_) {
        throw LanguageModelError(LanguageModelError::Case::unavailable, availability_.description());
    }
    return *model_;
}

bool SystemLanguageModel::supportsLocale(std::string_view identifier) const
{
    return LocaleSupport::supports(identifier);
}

int SystemLanguageModel::contextSize() const
{
    return loaded().contextSize();
}

int SystemLanguageModel::tokenCount(std::string_view prompt) const
{
    return static_cast<int>(loaded().tokenize(prompt, false).size());
}

int SystemLanguageModel::instructionsTokenCount(const std::string& instructions) const
{
    const LlamaModel& model = loaded();
    return static_cast<int>(model.tokenizeChat(instructions, std::nullopt, false).size());
}

int SystemLanguageModel::schemaTokenCount(const GenerationSchema& schema) const
{
    return static_cast<int>(loaded().tokenize(schema.promptText(), false).size());
}

std::unique_ptr<LanguageModelSession> SystemLanguageModel::makeSession(std::string instructions) const
{
    return std::make_unique<LanguageModelSession>(loaded(), std::move(instructions));
}

} // namespace kivo
