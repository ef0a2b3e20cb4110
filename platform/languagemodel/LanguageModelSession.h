#pragma once

#include "platform/languagemodel/GeneratedContent.h"
#include "platform/languagemodel/GenerationOptions.h"
#include "platform/languagemodel/GenerationSchema.h"
#include "platform/languagemodel/GenerationTimings.h"

#include <string>

namespace kivo {

class LlamaModel;

// One conversation with the model under fixed instructions. Made by SystemLanguageModel.
class LanguageModelSession {
public:
    LanguageModelSession(const LlamaModel& model, std::string instructions);

    // Generates one record of the schema for the prompt: greedy decoding under a grammar made
    // from the schema's JSON schema. Throws LanguageModelError, among others when the response
    // cap is reached before the record is closed.
    GeneratedContent respond(const std::string& prompt, const GenerationSchema& schema,
                             const GenerationOptions& options) const;

    // Where the time of the last respond() went.
    const GenerationTimings& lastTimings() const { return timings_; }

private:
    const LlamaModel& model_;
    std::string instructions_;
    mutable GenerationTimings timings_;
};

}  // namespace kivo
