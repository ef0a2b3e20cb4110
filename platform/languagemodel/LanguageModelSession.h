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

    // What prepare() did with the constant start of the conversation.
    enum class Preparation {
        stored,       // evaluated and kept for later runs
        alreadyKept,  // a valid kept state was there already
        noKeeping,    // there is nowhere to keep a state (no memory-backed runtime folder)
        notStored,    // evaluated but not kept (too large, or no room)
        nothingShared // the prompt has no constant start to keep
    };
    // Evaluates and keeps the state respond() would keep for the same prompt and options (the
    // instructions and the first options.sharedPromptBytes of the prompt), and nothing after
    // it, so that a later respond() reads only what follows. tokens receives the count kept.
    Preparation prepare(const std::string& prompt, const GenerationSchema& schema, const GenerationOptions& options,
                        int& tokens) const;

    // Where the time of the last respond() went.
    const GenerationTimings& lastTimings() const { return timings_; }

private:
    const LlamaModel& model_;
    std::string instructions_;
    mutable GenerationTimings timings_;
};

} // namespace kivo
