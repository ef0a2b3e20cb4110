#include "tools/gguf/TinyChatModel.h"

#include <ggml.h>
#include <gguf.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

namespace kivo {
namespace {

constexpr std::size_t embedding = 64;
constexpr std::size_t heads = 4;
constexpr std::size_t kvHeads = 2;
constexpr std::size_t headSize = embedding / heads;
constexpr std::size_t feedForward = 128;

// Vocabulary: five special tokens, one token per byte value, and the word-boundary piece
// that the SentencePiece-style tokenizer writes for a space, so every byte is one token.
constexpr int unknownToken = 0;
constexpr int bosToken = 1;
constexpr int eosToken = 2;
constexpr int imStartToken = 3;
constexpr int imEndToken = 4;
constexpr int firstByteToken = 5;
constexpr int spaceToken = firstByteToken + 256;
constexpr int vocabularySize = spaceToken + 1;

// llama.cpp's token types.
constexpr std::int32_t typeNormal = 1;
constexpr std::int32_t typeUnknown = 2;
constexpr std::int32_t typeControl = 3;
constexpr std::int32_t typeByte = 6;

constexpr const char* chatMlTemplate =
    "{% for message in messages %}"
    "{{ '<|im_start|>' + message['role'] + '\\n' + message['content'] + '<|im_end|>' + '\\n' }}"
    "{% endfor %}"
    "{% if add_generation_prompt %}{{ '<|im_start|>assistant\\n' }}{% endif %}";

// Residual dimensions that carry the bigram: 0 is on for every token, 1 marks a quote,
// 2 marks the answer character.
constexpr int alwaysDim = 0;
constexpr int afterQuoteDim = 1;
constexpr int afterAnswerDim = 2;
// Recall style only: 3 marks the marker token, 4 says a marker came earlier.
constexpr int markerDim = 3;
constexpr int seenDim = 4;
constexpr unsigned char recallMarker = 'J';
constexpr unsigned char recalledAnswer = 'b';

int byteToken(unsigned char byte)
{
    return firstByteToken + byte;
}

struct GgmlContextFree {
    void operator()(lm_ggml_context* context) const { lm_ggml_free(context); }
};
struct GgufContextFree {
    void operator()(lm_gguf_context* context) const { lm_gguf_free(context); }
};

class Writer {
public:
    explicit Writer(std::uint32_t seed) : random_(seed)
    {
        lm_ggml_init_params params{};
        params.mem_size = std::size_t{16} << 20;
        params.no_alloc = false;
        tensors_.reset(lm_ggml_init(params));
        gguf_.reset(lm_gguf_init_empty());
        if (!tensors_ || !gguf_) {
            throw std::runtime_error("cannot allocate the model in memory");
        }
    }

    lm_gguf_context* gguf() { return gguf_.get(); }

    float* add(const std::string& name, std::size_t columns, std::size_t rows = 1)
    {
        lm_ggml_tensor* tensor =
            rows == 1 ? lm_ggml_new_tensor_1d(tensors_.get(), LM_GGML_TYPE_F32, static_cast<int64_t>(columns))
                      : lm_ggml_new_tensor_2d(tensors_.get(), LM_GGML_TYPE_F32, static_cast<int64_t>(columns),
                                              static_cast<int64_t>(rows));
        lm_ggml_set_name(tensor, name.c_str());
        auto* data = static_cast<float*>(tensor->data);
        std::fill(data, data + columns * rows, 0.0f);
        pending_.push_back(tensor);
        return data;
    }

    void fillRandom(float* data, std::size_t count, float scale)
    {
        std::normal_distribution<float> normal(0.0f, scale);
        for (std::size_t i = 0; i < count; ++i) {
            data[i] = normal(random_);
        }
    }

    void fillOnes(float* data, std::size_t count) { std::fill(data, data + count, 1.0f); }

    float uniform() { return std::uniform_real_distribution<float>(0.0f, 1.0f)(random_); }

    void write(const std::string& path)
    {
        for (lm_ggml_tensor* tensor : pending_) {
            lm_gguf_add_tensor(gguf_.get(), tensor);
        }
        if (!lm_gguf_write_to_file(gguf_.get(), path.c_str(), false)) {
            throw std::runtime_error("cannot write " + path);
        }
    }

private:
    std::mt19937 random_;
    std::unique_ptr<lm_ggml_context, GgmlContextFree> tensors_;
    std::unique_ptr<lm_gguf_context, GgufContextFree> gguf_;
    std::vector<lm_ggml_tensor*> pending_;
};

void writeVocabulary(lm_gguf_context* gguf)
{
    std::vector<std::string> pieces = {"<unk>", "<s>", "</s>", "<|im_start|>", "<|im_end|>"};
    std::vector<std::int32_t> types = {typeUnknown, typeControl, typeControl, typeControl, typeControl};
    for (int byte = 0; byte < 256; ++byte) {
        std::array<char, 8> piece{};
        std::snprintf(piece.data(), piece.size(), "<0x%02X>", byte);
        pieces.emplace_back(piece.data());
        types.push_back(typeByte);
    }
    pieces.emplace_back("\u2581");
    types.push_back(typeNormal);
    std::vector<const char*> texts;
    texts.reserve(pieces.size());
    for (const std::string& piece : pieces) {
        texts.push_back(piece.c_str());
    }
    std::vector<float> scores(pieces.size(), 0.0f);

    lm_gguf_set_val_str(gguf, "tokenizer.ggml.model", "llama");
    lm_gguf_set_arr_str(gguf, "tokenizer.ggml.tokens", texts.data(), texts.size());
    lm_gguf_set_arr_data(gguf, "tokenizer.ggml.scores", LM_GGUF_TYPE_FLOAT32, scores.data(), scores.size());
    lm_gguf_set_arr_data(gguf, "tokenizer.ggml.token_type", LM_GGUF_TYPE_INT32, types.data(), types.size());
    lm_gguf_set_val_u32(gguf, "tokenizer.ggml.unknown_token_id", unknownToken);
    lm_gguf_set_val_u32(gguf, "tokenizer.ggml.bos_token_id", bosToken);
    lm_gguf_set_val_u32(gguf, "tokenizer.ggml.eos_token_id", imEndToken);
    lm_gguf_set_val_u32(gguf, "tokenizer.ggml.eot_token_id", imEndToken);
    lm_gguf_set_val_u32(gguf, "tokenizer.ggml.padding_token_id", eosToken);
    lm_gguf_set_val_bool(gguf, "tokenizer.ggml.add_bos_token", false);
    lm_gguf_set_val_bool(gguf, "tokenizer.ggml.add_eos_token", false);
    lm_gguf_set_val_bool(gguf, "tokenizer.ggml.add_space_prefix", false);
    lm_gguf_set_val_str(gguf, "tokenizer.chat_template", chatMlTemplate);
}

void applyOverride(lm_gguf_context* gguf, const std::string& assignment)
{
    const auto equals = assignment.find('=');
    const auto colon = equals == std::string::npos ? std::string::npos : assignment.find(':', equals);
    if (colon == std::string::npos) {
        throw std::invalid_argument("expected KEY=TYPE:VALUE, got \"" + assignment + "\"");
    }
    const std::string key = assignment.substr(0, equals);
    const std::string type = assignment.substr(equals + 1, colon - equals - 1);
    const std::string value = assignment.substr(colon + 1);
    lm_gguf_remove_key(gguf, key.c_str());
    if (type == "u32") {
        lm_gguf_set_val_u32(gguf, key.c_str(), static_cast<std::uint32_t>(std::stoul(value)));
    } else if (type == "i32") {
        lm_gguf_set_val_i32(gguf, key.c_str(), static_cast<std::int32_t>(std::stol(value)));
    } else if (type == "u64") {
        lm_gguf_set_val_u64(gguf, key.c_str(), std::stoull(value));
    } else if (type == "f32") {
        lm_gguf_set_val_f32(gguf, key.c_str(), std::strtof(value.c_str(), nullptr));
    } else if (type == "str") {
        lm_gguf_set_val_str(gguf, key.c_str(), value.c_str());
    } else if (type == "u32s") {
        std::vector<std::uint32_t> values;
        for (std::size_t at = 0; at <= value.size();) {
            const auto comma = std::min(value.find(',', at), value.size());
            values.push_back(static_cast<std::uint32_t>(std::stoul(value.substr(at, comma - at))));
            at = comma + 1;
        }
        lm_gguf_set_arr_data(gguf, key.c_str(), LM_GGUF_TYPE_UINT32, values.data(), values.size());
    } else {
        throw std::invalid_argument("unknown type \"" + type + "\" (u32, i32, u64, f32, str, u32s)");
    }
}

// Head 0 of the first block looks back for the marker: every query asks the same question,
// only the marker answers it, and its value writes the seen dimension. The query and key sit
// in the head's slowest rotary pair (it turns by 3e-4 radians a position), so the marker
// outweighs thousands of other positions however far back it is.
void recallHead(float* query, float* key, float* value, float* attentionOutput)
{
    constexpr std::size_t slowPair = headSize - 2;
    const auto row = [](float* matrix, std::size_t index) { return matrix + index * embedding; };
    for (std::size_t dimension = 0; dimension < headSize; ++dimension) {
        std::fill(row(query, dimension), row(query, dimension) + embedding, 0.0f);
    }
    row(query, slowPair)[alwaysDim] = 2.0f;
    for (std::size_t dimension : {slowPair, slowPair + 1}) {
        std::fill(row(key, dimension), row(key, dimension) + embedding, 0.0f);
    }
    row(key, slowPair)[markerDim] = 1.0f;
    std::fill(row(value, 0), row(value, 0) + embedding, 0.0f);
    row(value, 0)[markerDim] = 1.0f;
    // The normalized marker dimension is about 5.7; scaled back to about 1.
    row(attentionOutput, seenDim)[0] = 0.18f;
}

} // namespace

TinyChatModel::Style TinyChatModel::styleNamed(const std::string& name)
{
    if (name == "letter")
        return Style::letter;
    if (name == "blank")
        return Style::blank;
    if (name == "runaway")
        return Style::runaway;
    if (name == "recall")
        return Style::recall;
    throw std::invalid_argument("unknown style \"" + name + "\" (letter, blank, runaway, recall)");
}

void TinyChatModel::write(const std::string& path) const
{
    Writer writer(seed);
    lm_gguf_context* gguf = writer.gguf();

    lm_gguf_set_val_str(gguf, "general.architecture", "llama");
    lm_gguf_set_val_str(gguf, "general.name", "kivo-tiny-chat");
    lm_gguf_set_val_u32(gguf, "general.file_type", 0);
    lm_gguf_set_val_u32(gguf, "llama.context_length", contextLength);
    lm_gguf_set_val_u32(gguf, "llama.embedding_length", embedding);
    lm_gguf_set_val_u32(gguf, "llama.block_count", layers);
    lm_gguf_set_val_u32(gguf, "llama.feed_forward_length", feedForward);
    lm_gguf_set_val_u32(gguf, "llama.attention.head_count", heads);
    lm_gguf_set_val_u32(gguf, "llama.attention.head_count_kv", kvHeads);
    lm_gguf_set_val_u32(gguf, "llama.rope.dimension_count", headSize);
    lm_gguf_set_val_f32(gguf, "llama.rope.freq_base", 10000.0f);
    lm_gguf_set_val_f32(gguf, "llama.attention.layer_norm_rms_epsilon", 1e-5f);
    lm_gguf_set_val_u32(gguf, "llama.vocab_size", vocabularySize);
    writeVocabulary(gguf);
    for (const std::string& assignment : overrides) {
        applyOverride(gguf, assignment);
    }

    const unsigned char answer = style == Style::blank ? ' ' : 'a';
    const int quote = byteToken('"');
    const int answerToken = byteToken(answer);

    // Embeddings: the marker dimensions plus a little noise elsewhere.
    float* embeddings = writer.add("token_embd.weight", embedding, vocabularySize);
    for (int token = 0; token < vocabularySize; ++token) {
        float* row = embeddings + static_cast<std::size_t>(token) * embedding;
        writer.fillRandom(row + 3, embedding - 3, 0.01f);
        row[alwaysDim] = 1.0f;
    }
    embeddings[static_cast<std::size_t>(quote) * embedding + afterQuoteDim] = 1.0f;
    embeddings[static_cast<std::size_t>(answerToken) * embedding + afterAnswerDim] = 1.0f;
    const bool recall = style == Style::recall;
    const int recalledToken = byteToken(recalledAnswer);
    if (recall) {
        for (int token = 0; token < vocabularySize; ++token) {
            embeddings[static_cast<std::size_t>(token) * embedding + markerDim] = 0.0f;
            embeddings[static_cast<std::size_t>(token) * embedding + seenDim] = 0.0f;
        }
        embeddings[static_cast<std::size_t>(byteToken(recallMarker)) * embedding + markerDim] = 1.0f;
        embeddings[static_cast<std::size_t>(recalledToken) * embedding + afterAnswerDim] = 1.0f;
    }

    // Output rows: a fixed preference order that walks the JSON grammar's choices
    // (quote, closing brace, colon, end of turn, then other bytes, whitespace last), and
    // the bigram bonuses that write the answer.
    float* output = writer.add("output.weight", embedding, vocabularySize);
    auto rank = [&](int token, float value) {
        output[static_cast<std::size_t>(token) * embedding + alwaysDim] = value;
    };
    for (int byte = 0; byte < 256; ++byte) {
        rank(byteToken(static_cast<unsigned char>(byte)), 0.1f + 0.4f * writer.uniform());
    }
    for (unsigned char space : {' ', '\n', '\t', '\r'}) {
        rank(byteToken(space), 0.0f);
    }
    rank(spaceToken, 0.0f);
    rank(quote, 1.0f);
    rank(byteToken('}'), 0.9f);
    rank(byteToken(':'), 0.8f);
    rank(imEndToken, 0.7f);
    rank(unknownToken, -1.0f);
    rank(bosToken, -1.0f);
    rank(eosToken, -1.0f);
    rank(imStartToken, -1.0f);
    const int afterAnswer = style == Style::runaway ? answerToken : quote;
    output[static_cast<std::size_t>(answerToken) * embedding + afterQuoteDim] = 4.0f;
    output[static_cast<std::size_t>(afterAnswer) * embedding + afterAnswerDim] = 4.0f;
    if (recall) {
        // After a quote "b" loses to "a" by at least 0.6 unless a marker was seen, which adds 3.
        output[static_cast<std::size_t>(recalledToken) * embedding + afterQuoteDim] = 3.0f;
        output[static_cast<std::size_t>(recalledToken) * embedding + seenDim] = 3.0f;
    }
    writer.fillOnes(writer.add("output_norm.weight", embedding), embedding);

    // Blocks with random weights whose output projections are zero: the attention and
    // feed-forward arithmetic runs for real but leaves the residual stream as it was.
    const std::size_t kvWidth = headSize * kvHeads;
    for (std::uint32_t layer = 0; layer < layers; ++layer) {
        const std::string prefix = "blk." + std::to_string(layer) + ".";
        writer.fillOnes(writer.add(prefix + "attn_norm.weight", embedding), embedding);
        float* query = writer.add(prefix + "attn_q.weight", embedding, embedding);
        writer.fillRandom(query, embedding * embedding, 0.1f);
        float* key = writer.add(prefix + "attn_k.weight", embedding, kvWidth);
        writer.fillRandom(key, embedding * kvWidth, 0.1f);
        float* value = writer.add(prefix + "attn_v.weight", embedding, kvWidth);
        writer.fillRandom(value, embedding * kvWidth, 0.1f);
        float* attentionOutput = writer.add(prefix + "attn_output.weight", embedding, embedding);
        if (recall && layer == 0) {
            recallHead(query, key, value, attentionOutput);
        }
        writer.fillOnes(writer.add(prefix + "ffn_norm.weight", embedding), embedding);
        writer.fillRandom(writer.add(prefix + "ffn_gate.weight", embedding, feedForward), embedding * feedForward,
                          0.1f);
        writer.fillRandom(writer.add(prefix + "ffn_up.weight", embedding, feedForward), embedding * feedForward, 0.1f);
        writer.add(prefix + "ffn_down.weight", feedForward, embedding);
    }

    writer.write(path);
}

} // namespace kivo
