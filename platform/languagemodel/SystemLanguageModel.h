#pragma once

#include "platform/languagemodel/GenerationSchema.h"
#include "platform/modelavailability/Availability.h"

#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

namespace kivo {

class LanguageModelSession;
class LlamaModel;

// The on-device language model: a GGUF chat model run by llama.cpp on the CPU.
// Construction never throws; a model that cannot be used reports why through availability().
// Operations that need the model throw LanguageModelError (case unavailable) without one.
class SystemLanguageModel {
public:
    // The model file found by ModelLocation for this process's environment.
    static std::unique_ptr<SystemLanguageModel> makeDefault();
    // A model from the given file.
    static std::unique_ptr<SystemLanguageModel> makeFromFile(const std::filesystem::path& file);

    // The runtime stops the process when one of its own checks fails. The handler gets its
    // message first and should write what it must and end the process itself.
    static void onRuntimeFailure(void (*handler)(const char* message));

    ~SystemLanguageModel();
    SystemLanguageModel(const SystemLanguageModel&) = delete;
    SystemLanguageModel& operator=(const SystemLanguageModel&) = delete;

    const Availability& availability() const { return availability_; }
    bool isAvailable() const { return availability_.isAvailable(); }
    bool supportsLocale(std::string_view identifier) const;

    // The kind of model: "general", with the loaded model's own description when there is one,
    // e.g. "general(qwen2 1.5B Q4_K - Medium)".
    std::string variant() const;

    // Tokens the model can attend to in one session.
    int contextSize() const;

    // Tokens of a prompt's text as written.
    int tokenCount(std::string_view prompt) const;
    // Tokens of the instructions as the model's chat template renders them (a system turn).
    int instructionsTokenCount(const std::string& instructions) const;
    // Tokens the schema adds when it is included in the prompt.
    int schemaTokenCount(const GenerationSchema& schema) const;

    // A session that answers prompts under the given instructions. The session uses this
    // model and must not outlive it.
    std::unique_ptr<LanguageModelSession> makeSession(std::string instructions) const;

    // Only this class can make the key, so only its factories construct.
    class ConstructionKey {
        friend class SystemLanguageModel;
        ConstructionKey() = default;
    };
    SystemLanguageModel(ConstructionKey, Availability availability);

private:
    const LlamaModel& loaded() const;

    Availability availability_;
    std::unique_ptr<LlamaModel> model_;
};

} // namespace kivo
