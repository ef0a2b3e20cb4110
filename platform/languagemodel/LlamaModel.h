#pragma once

#include <llama.h>

#include <cstddef>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct common_chat_templates;

namespace kivo {

// A loaded GGUF model with its vocabulary and chat template (internal to this layer).
class LlamaModel {
public:
    // Never throws: returns null and sets failure when the file does not load.
    static std::unique_ptr<LlamaModel> load(const std::filesystem::path& file, std::string& failure);
    ~LlamaModel();
    LlamaModel(const LlamaModel&) = delete;
    LlamaModel& operator=(const LlamaModel&) = delete;

    llama_model* handle() const { return model_; }
    const llama_vocab* vocabulary() const { return vocabulary_; }

    // The context the layer works with: the trained context, but at most maximumContext so
    // that a large model's cache stays within a laptop's memory.
    static constexpr int maximumContext = 8192;
    int contextSize() const;

    // Plain text to tokens. Throws LanguageModelError (tokenizationFailed).
    std::vector<llama_token> tokenize(std::string_view text, bool parseSpecial) const;

    // A conversation as the chat template renders it, to tokens. The template's own markup may
    // hold control tokens; the system and user texts never do, whatever they contain, so a
    // transcript that spells out "<|im_end|>" stays text. Adds the begin token when the
    // vocabulary wants one and the template did not already write it.
    std::vector<llama_token> tokenizeChat(const std::string& system, const std::optional<std::string>& user,
                                          bool addGenerationPrompt) const;
    // The same, with where the user's text begins: the tokens before it depend only on the
    // system text, so their state can be reused between conversations.
    struct ChatTokens {
        std::vector<llama_token> tokens;
        std::size_t beforeUserText = 0;
    };
    ChatTokens tokenizeChatParts(const std::string& system, const std::string& user, bool addGenerationPrompt) const;

    // What identifies the loaded file's contents: path, size and modification time.
    const std::string& identity() const { return identity_; }

    // The conversation rendered by the model's chat template. Throws LanguageModelError
    // (templateFailed).
    std::string renderChat(const std::string& system, const std::optional<std::string>& user,
                           bool addGenerationPrompt) const;

    std::string piece(llama_token token) const;
    // How many of `tokens`, from the first, spell out whole pieces of `text` from its start.
    // Tokenization is never changed to fit: a token that straddles the end of `text` is left out.
    std::size_t tokensWithin(const llama_token* tokens, std::size_t count, std::string_view text) const;

    class ConstructionKey {
        friend class LlamaModel;
        ConstructionKey() = default;
    };
    explicit LlamaModel(ConstructionKey) {}

private:
    llama_model* model_ = nullptr;
    const llama_vocab* vocabulary_ = nullptr;
    common_chat_templates* templates_ = nullptr;
    std::string identity_;

    ChatTokens tokenizeRendered(const std::string& system, const std::optional<std::string>& user,
                                bool addGenerationPrompt) const;
};

} // namespace kivo
