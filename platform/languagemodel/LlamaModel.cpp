#include "platform/languagemodel/LlamaModel.h"

#include "platform/languagemodel/LanguageModelError.h"
#include "platform/languagemodel/ModelMetadata.h"

#include <chat.h>

#include <sys/stat.h>

#include <algorithm>
#include <exception>

namespace kivo {
namespace {

std::string fileIdentity(const std::filesystem::path& file)
{
    struct stat info {};
    if (::stat(file.c_str(), &info) != 0) {
        return {};
    }
    std::error_code error;
    return std::filesystem::absolute(file, error).string() + "\n" + std::to_string(info.st_dev) + ":" +
           std::to_string(info.st_ino) + "\n" + std::to_string(info.st_size) + " bytes\n" +
           std::to_string(info.st_mtim.tv_sec) + "." + std::to_string(info.st_mtim.tv_nsec) + " s";
}

} // namespace

std::unique_ptr<LlamaModel> LlamaModel::load(const std::filesystem::path& file, std::string& failure)
{
    // The runtime asserts on some broken settings rather than refusing the file.
    if (auto problem = ModelMetadata::problem(file)) {
        failure = std::move(*problem);
        return nullptr;
    }
    llama_model_params params = llama_model_default_params();
    params.n_gpu_layers = 0;
    auto model = std::make_unique<LlamaModel>(ConstructionKey());
    const std::string before = fileIdentity(file);
    model->model_ = llama_model_load_from_file(file.c_str(), params);
    if (!model->model_) {
        failure = "cannot load " + file.string() + " as a GGUF model";
        return nullptr;
    }
    model->vocabulary_ = llama_model_get_vocab(model->model_);
    // The identity counts only when the file did not change while it was being read.
    if (const std::string after = fileIdentity(file); !before.empty() && after == before) {
        model->identity_ = after;
    }
    try {
        model->templates_ = common_chat_templates_init(model->model_, "").release();
    } catch (const std::exception& error) {
        failure = "the chat template of " + file.string() + " does not parse: " + error.what();
        return nullptr;
    }
    if (!model->templates_) {
        failure = "no chat template in " + file.string();
        return nullptr;
    }
    return model;
}

LlamaModel::~LlamaModel()
{
    if (templates_) {
        common_chat_templates_free(templates_);
    }
    if (model_) {
        llama_model_free(model_);
    }
}

int LlamaModel::contextSize() const
{
    return std::min(llama_model_n_ctx_train(model_), maximumContext);
}

std::vector<llama_token> LlamaModel::tokenize(std::string_view text, bool parseSpecial) const
{
    std::vector<llama_token> tokens(text.size() + 2);
    const auto length = static_cast<int32_t>(text.size());
    int32_t count = llama_tokenize(vocabulary_, text.data(), length, tokens.data(), static_cast<int32_t>(tokens.size()),
                                   false, parseSpecial);
    if (count < 0) {
        tokens.resize(static_cast<std::size_t>(-count));
        count = llama_tokenize(vocabulary_, text.data(), length, tokens.data(), static_cast<int32_t>(tokens.size()),
                               false, parseSpecial);
    }
    if (count < 0) {
        throw LanguageModelError(LanguageModelError::Case::tokenizationFailed,
                                 "text of " + std::to_string(text.size()) + " bytes");
    }
    tokens.resize(static_cast<std::size_t>(count));
    return tokens;
}

std::vector<llama_token> LlamaModel::tokenizeChat(const std::string& system, const std::optional<std::string>& user,
                                                  bool addGenerationPrompt) const
{
    return tokenizeRendered(system, user, addGenerationPrompt).tokens;
}

LlamaModel::ChatTokens LlamaModel::tokenizeChatParts(const std::string& system, const std::string& user,
                                                     bool addGenerationPrompt) const
{
    return tokenizeRendered(system, user, addGenerationPrompt);
}

LlamaModel::ChatTokens LlamaModel::tokenizeRendered(const std::string& system, const std::optional<std::string>& user,
                                                    bool addGenerationPrompt) const
{
    // Render with markers in place of the texts, then tokenize the markup with control tokens
    // recognised and each text as plain text.
    static const std::string systemMarker = "\x1e"
                                            "kivo-system-text"
                                            "\x1e";
    static const std::string userMarker = "\x1e"
                                          "kivo-user-text"
                                          "\x1e";
    const std::string rendered =
        renderChat(systemMarker, user ? std::optional<std::string>(userMarker) : std::nullopt, addGenerationPrompt);

    std::vector<std::pair<std::string_view, const std::string*>> parts; // markup, then the text that follows
    std::size_t cursor = 0;
    int markersFound = 0;
    while (cursor <= rendered.size()) {
        const std::size_t atSystem = rendered.find(systemMarker, cursor);
        const std::size_t atUser = user ? rendered.find(userMarker, cursor) : std::string::npos;
        const std::size_t at = std::min(atSystem, atUser);
        if (at == std::string::npos) {
            parts.emplace_back(std::string_view(rendered).substr(cursor), nullptr);
            break;
        }
        const bool isSystem = at == atSystem;
        parts.emplace_back(std::string_view(rendered).substr(cursor, at - cursor), isSystem ? &system : &*user);
        cursor = at + (isSystem ? systemMarker : userMarker).size();
        ++markersFound;
    }
    if (markersFound != (user ? 2 : 1)) {
        throw LanguageModelError(LanguageModelError::Case::templateFailed,
                                 "the chat template does not place each message's text once");
    }

    ChatTokens chat;
    std::vector<llama_token>& tokens = chat.tokens;
    for (const auto& [markup, text] : parts) {
        const auto markupTokens = tokenize(markup, true);
        tokens.insert(tokens.end(), markupTokens.begin(), markupTokens.end());
        if (text != nullptr) {
            if (text != &system) {
                chat.beforeUserText = tokens.size();
            }
            const auto textTokens = tokenize(*text, false);
            tokens.insert(tokens.end(), textTokens.begin(), textTokens.end());
        }
    }
    const llama_token begin = llama_vocab_bos(vocabulary_);
    if (llama_vocab_get_add_bos(vocabulary_) && begin != LLAMA_TOKEN_NULL &&
        (tokens.empty() || tokens.front() != begin)) {
        tokens.insert(tokens.begin(), begin);
        ++chat.beforeUserText;
    }
    return chat;
}

std::string LlamaModel::renderChat(const std::string& system, const std::optional<std::string>& user,
                                   bool addGenerationPrompt) const
{
    common_chat_templates_inputs inputs;
    common_chat_msg systemMessage;
    systemMessage.role = "system";
    systemMessage.content = system;
    inputs.messages.push_back(systemMessage);
    if (user) {
        common_chat_msg userMessage;
        userMessage.role = "user";
        userMessage.content = *user;
        inputs.messages.push_back(userMessage);
    }
    inputs.add_generation_prompt = addGenerationPrompt;
    inputs.use_jinja = true;
    inputs.enable_thinking = false;
    try {
        return common_chat_templates_apply(templates_, inputs).prompt;
    } catch (const std::exception& error) {
        throw LanguageModelError(LanguageModelError::Case::templateFailed, error.what());
    }
}

std::string LlamaModel::piece(llama_token token) const
{
    std::string text(16, '\0');
    int32_t length = llama_token_to_piece(vocabulary_, token, text.data(), static_cast<int32_t>(text.size()), 0, false);
    if (length < 0) {
        text.resize(static_cast<std::size_t>(-length));
        length = llama_token_to_piece(vocabulary_, token, text.data(), static_cast<int32_t>(text.size()), 0, false);
    }
    text.resize(static_cast<std::size_t>(std::max(length, 0)));
    return text;
}

std::size_t LlamaModel::tokensWithin(const llama_token* tokens, std::size_t count, std::string_view text) const
{
    std::size_t covered = 0;
    std::size_t taken = 0;
    while (taken < count) {
        const std::string next = piece(tokens[taken]);
        if (next.empty() || covered + next.size() > text.size() || text.compare(covered, next.size(), next) != 0) {
            break;
        }
        covered += next.size();
        ++taken;
    }
    return taken;
}

} // namespace kivo
