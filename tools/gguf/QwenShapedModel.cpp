#include "tools/gguf/QwenShapedModel.h"

#include <ggml.h>
#include <gguf.h>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <vector>

namespace kivo {
namespace {

constexpr std::uint32_t paddedVocabulary = 151936; // the Qwen2.5 output size

// llama.cpp's token types.
constexpr std::int32_t typeNormal = 1;
constexpr std::int32_t typeControl = 3;
constexpr std::int32_t typeUserDefined = 4;
constexpr std::int32_t typeUnused = 5;

constexpr const char* chatMlTemplate =
    "{% for message in messages %}"
    "{{ '<|im_start|>' + message['role'] + '\\n' + message['content'] + '<|im_end|>' + '\\n' }}"
    "{% endfor %}"
    "{% if add_generation_prompt %}{{ '<|im_start|>assistant\\n' }}{% endif %}";

struct GgmlContextFree {
    void operator()(lm_ggml_context* context) const { lm_ggml_free(context); }
};
struct GgufContextFree {
    void operator()(lm_gguf_context* context) const { lm_gguf_free(context); }
};

void readVocabulary(const std::string& tokenizerPath, std::vector<std::string>& pieces,
                    std::vector<std::int32_t>& types, std::vector<std::string>& merges);
void writeVocabularyKeys(lm_gguf_context* gguf, const std::vector<std::string>& pieces,
                         const std::vector<std::int32_t>& types, const std::vector<std::string>& merges);

std::string utf8(char32_t c)
{
    std::string text;
    if (c < 0x80) {
        text += static_cast<char>(c);
    } else {
        text += static_cast<char>(0xC0 | (c >> 6));
        text += static_cast<char>(0x80 | (c & 0x3F));
    }
    return text;
}

// The byte-level pieces of the Qwen vocabulary (GPT-2's printable stand-ins for the 256 bytes),
// then padding: enough for the runtime to load the model and evaluate any token, where only
// the timing matters and no text is tokenized.
void syntheticVocabulary(std::vector<std::string>& pieces, std::vector<std::int32_t>& types)
{
    char32_t shifted = 256;
    for (char32_t byte = 0; byte < 256; ++byte) {
        const bool printable = (byte >= 33 && byte <= 126) || (byte >= 161 && byte <= 172) || byte >= 174;
        pieces[byte] = utf8(printable ? byte : shifted++);
        types[byte] = typeNormal;
    }
    const char* special[] = {"<|endoftext|>", "<|im_start|>", "<|im_end|>"};
    for (std::uint32_t i = 0; i < 3; ++i) {
        pieces[151643 + i] = special[i];
        types[151643 + i] = typeControl;
    }
}

void writeVocabulary(lm_gguf_context* gguf, const std::string& tokenizerPath)
{
    std::vector<std::string> pieces(paddedVocabulary);
    std::vector<std::int32_t> types(paddedVocabulary, typeUnused);
    for (std::uint32_t id = 0; id < paddedVocabulary; ++id) {
        pieces[id] = "[PAD" + std::to_string(id) + "]";
    }
    std::vector<std::string> merges;
    if (tokenizerPath.empty()) {
        syntheticVocabulary(pieces, types);
    } else {
        readVocabulary(tokenizerPath, pieces, types, merges);
    }
    writeVocabularyKeys(gguf, pieces, types, merges);
}

void readVocabulary(const std::string& tokenizerPath, std::vector<std::string>& pieces,
                    std::vector<std::int32_t>& types, std::vector<std::string>& merges)
{
    std::ifstream file(tokenizerPath);
    if (!file) {
        throw std::runtime_error("cannot read " + tokenizerPath);
    }
    const auto tokenizer = nlohmann::json::parse(file, nullptr, false);
    if (tokenizer.is_discarded() || !tokenizer.contains("model")) {
        throw std::runtime_error(tokenizerPath + " is not a tokenizer.json");
    }
    for (const auto& [piece, id] : tokenizer["model"]["vocab"].items()) {
        const auto index = id.get<std::uint32_t>();
        if (index < paddedVocabulary) {
            pieces[index] = piece;
            types[index] = typeNormal;
        }
    }
    for (const auto& added : tokenizer["added_tokens"]) {
        const auto index = added["id"].get<std::uint32_t>();
        if (index < paddedVocabulary) {
            pieces[index] = added["content"].get<std::string>();
            types[index] = added.value("special", false) ? typeControl : typeUserDefined;
        }
    }
    for (const auto& merge : tokenizer["model"]["merges"]) {
        merges.push_back(merge.is_array() ? merge[0].get<std::string>() + " " + merge[1].get<std::string>()
                                          : merge.get<std::string>());
    }
}

void writeVocabularyKeys(lm_gguf_context* gguf, const std::vector<std::string>& pieces,
                         const std::vector<std::int32_t>& types, const std::vector<std::string>& merges)
{
    auto texts = [](const std::vector<std::string>& strings) {
        std::vector<const char*> pointers;
        pointers.reserve(strings.size());
        for (const std::string& text : strings) {
            pointers.push_back(text.c_str());
        }
        return pointers;
    };
    const auto pieceTexts = texts(pieces);
    const auto mergeTexts = texts(merges);
    lm_gguf_set_val_str(gguf, "tokenizer.ggml.model", "gpt2");
    lm_gguf_set_val_str(gguf, "tokenizer.ggml.pre", "qwen2");
    lm_gguf_set_arr_str(gguf, "tokenizer.ggml.tokens", const_cast<const char**>(pieceTexts.data()), pieceTexts.size());
    lm_gguf_set_arr_data(gguf, "tokenizer.ggml.token_type", LM_GGUF_TYPE_INT32, types.data(), types.size());
    lm_gguf_set_arr_str(gguf, "tokenizer.ggml.merges", const_cast<const char**>(mergeTexts.data()), mergeTexts.size());
    lm_gguf_set_val_u32(gguf, "tokenizer.ggml.eos_token_id", 151645);     // <|im_end|>
    lm_gguf_set_val_u32(gguf, "tokenizer.ggml.padding_token_id", 151643); // <|endoftext|>
    lm_gguf_set_val_u32(gguf, "tokenizer.ggml.bos_token_id", 151643);
    lm_gguf_set_val_bool(gguf, "tokenizer.ggml.add_bos_token", false);
    lm_gguf_set_val_str(gguf, "tokenizer.chat_template", chatMlTemplate);
}

// Small uniform values from a xorshift generator: billions of them are needed and their
// distribution does not matter for timing.
class Noise {
public:
    explicit Noise(std::uint64_t seed) : state_(seed * 0x9E3779B97F4A7C15ull + 1) {}
    float next(float scale)
    {
        state_ ^= state_ << 13;
        state_ ^= state_ >> 7;
        state_ ^= state_ << 17;
        return scale * (static_cast<float>(state_ >> 40) / static_cast<float>(1 << 24) * 2.0f - 1.0f);
    }

private:
    std::uint64_t state_;
};

} // namespace

QwenShapedModel::Shape QwenShapedModel::shapeNamed(const std::string& name)
{
    if (name == "0.5b")
        return {"0.5b", 896, 24, 4864, 14, 2};
    if (name == "1.5b")
        return {"1.5b", 1536, 28, 8960, 12, 2};
    if (name == "3b")
        return {"3b", 2048, 36, 11008, 16, 2};
    throw std::invalid_argument("unknown size \"" + name + "\" (0.5b, 1.5b, 3b)");
}

void QwenShapedModel::write(const std::string& path) const
{
    lm_ggml_init_params params{};
    params.mem_size = std::size_t{8} << 20;
    params.no_alloc = true;
    const std::unique_ptr<lm_ggml_context, GgmlContextFree> tensors(lm_ggml_init(params));
    const std::unique_ptr<lm_gguf_context, GgufContextFree> gguf(lm_gguf_init_empty());
    if (!tensors || !gguf) {
        throw std::runtime_error("cannot allocate the model description");
    }
    const std::string arch = "qwen2";
    lm_gguf_set_val_str(gguf.get(), "general.architecture", arch.c_str());
    lm_gguf_set_val_str(gguf.get(), "general.name", ("kivo-qwen2-shaped-" + std::string(shape.name)).c_str());
    const bool legacy = fileType == "q4_0";
    if (!legacy && fileType != "q4_k_m") {
        throw std::invalid_argument("unknown file type " + fileType);
    }
    lm_gguf_set_val_u32(gguf.get(), "general.file_type", legacy ? 2 : 15); // Q4_0 or Q4_K_M
    lm_gguf_set_val_u32(gguf.get(), (arch + ".context_length").c_str(), 32768);
    lm_gguf_set_val_u32(gguf.get(), (arch + ".embedding_length").c_str(), shape.embedding);
    lm_gguf_set_val_u32(gguf.get(), (arch + ".block_count").c_str(), shape.layers);
    lm_gguf_set_val_u32(gguf.get(), (arch + ".feed_forward_length").c_str(), shape.feedForward);
    lm_gguf_set_val_u32(gguf.get(), (arch + ".attention.head_count").c_str(), shape.heads);
    lm_gguf_set_val_u32(gguf.get(), (arch + ".attention.head_count_kv").c_str(), shape.kvHeads);
    lm_gguf_set_val_f32(gguf.get(), (arch + ".rope.freq_base").c_str(), 1000000.0f);
    lm_gguf_set_val_f32(gguf.get(), (arch + ".attention.layer_norm_rms_epsilon").c_str(), 1e-6f);
    writeVocabulary(gguf.get(), tokenizerJson);

    // Tensors in the order they are written, in the types of a Q4_K_M file: the (tied)
    // embeddings in Q6_K, the value and down projections of the first and last eighth of the
    // layers and of every third layer between in Q6_K, other matrices in Q4_K, vectors in F32.
    // Rows that are no multiple of 256 take Q5_0 for Q4_K and Q8_0 for Q6_K, as in real files.
    // A Q4_0 file has every matrix in Q4_0 but the (tied) embeddings, which stay in Q6_K.
    std::vector<lm_ggml_tensor*> order;
    auto add = [&](const std::string& name, std::int64_t columns, std::int64_t rows, lm_ggml_type type) {
        if (legacy && type != LM_GGML_TYPE_F32 && name != "token_embd.weight") {
            type = LM_GGML_TYPE_Q4_0;
        } else if (rows > 0 && columns % 256 != 0) {
            type = type == LM_GGML_TYPE_Q6_K ? LM_GGML_TYPE_Q8_0 : LM_GGML_TYPE_Q5_0;
        }
        lm_ggml_tensor* tensor = rows == 0 ? lm_ggml_new_tensor_1d(tensors.get(), LM_GGML_TYPE_F32, columns)
                                           : lm_ggml_new_tensor_2d(tensors.get(), type, columns, rows);
        lm_ggml_set_name(tensor, name.c_str());
        lm_gguf_add_tensor(gguf.get(), tensor);
        order.push_back(tensor);
    };
    const auto vector = LM_GGML_TYPE_F32;
    const auto q4 = LM_GGML_TYPE_Q4_K;
    const auto q6 = LM_GGML_TYPE_Q6_K;
    const std::int64_t embedding = shape.embedding;
    const std::int64_t kvWidth = embedding / shape.heads * shape.kvHeads;
    const std::int64_t layers = shape.layers;
    auto moreBits = [&](std::int64_t layer) {
        return layer < layers / 8 || layer >= 7 * layers / 8 || (layer - layers / 8) % 3 == 2;
    };
    add("token_embd.weight", embedding, paddedVocabulary, q6);
    add("output_norm.weight", embedding, 0, vector);
    for (std::int64_t layer = 0; layer < layers; ++layer) {
        const std::string prefix = "blk." + std::to_string(layer) + ".";
        add(prefix + "attn_norm.weight", embedding, 0, vector);
        add(prefix + "attn_q.weight", embedding, embedding, q4);
        add(prefix + "attn_q.bias", embedding, 0, vector);
        add(prefix + "attn_k.weight", embedding, kvWidth, q4);
        add(prefix + "attn_k.bias", kvWidth, 0, vector);
        add(prefix + "attn_v.weight", embedding, kvWidth, moreBits(layer) ? q6 : q4);
        add(prefix + "attn_v.bias", kvWidth, 0, vector);
        add(prefix + "attn_output.weight", embedding, embedding, q4);
        add(prefix + "ffn_norm.weight", embedding, 0, vector);
        add(prefix + "ffn_gate.weight", embedding, shape.feedForward, q4);
        add(prefix + "ffn_up.weight", embedding, shape.feedForward, q4);
        add(prefix + "ffn_down.weight", shape.feedForward, embedding, moreBits(layer) ? q6 : q4);
    }

    const std::string partial = path + ".partial";
    if (!lm_gguf_write_to_file(gguf.get(), partial.c_str(), true)) {
        throw std::runtime_error("cannot write " + partial);
    }
    std::FILE* file = std::fopen(partial.c_str(), "ab");
    if (!file) {
        throw std::runtime_error("cannot append to " + partial);
    }
    // Rows are made in F32 and quantised with the runtime's own quantisation functions, a
    // block of rows at a time.
    const std::size_t alignment = lm_gguf_get_alignment(gguf.get());
    Noise noise(seed);
    std::vector<float> rows;
    std::vector<std::uint8_t> packed;
    bool ok = true;
    for (lm_ggml_tensor* tensor : order) {
        const std::string name = lm_ggml_get_name(tensor);
        const std::int64_t columns = tensor->ne[0];
        const std::int64_t rowCount = tensor->ne[1];
        constexpr std::int64_t block = 256;
        for (std::int64_t first = 0; ok && first < rowCount; first += block) {
            const std::int64_t count = std::min(block, rowCount - first);
            rows.resize(static_cast<std::size_t>(count * columns));
            const bool isNorm = name.find("norm") != std::string::npos;
            for (float& value : rows) {
                value = isNorm ? 1.0f : noise.next(tensor->type == LM_GGML_TYPE_F32 ? 0.02f : 0.05f);
            }
            if (tensor->type == LM_GGML_TYPE_F32) {
                ok = std::fwrite(rows.data(), sizeof(float), rows.size(), file) == rows.size();
                continue;
            }
            packed.resize(lm_ggml_row_size(tensor->type, columns) * static_cast<std::size_t>(count));
            const std::size_t size =
                lm_ggml_quantize_chunk(tensor->type, rows.data(), packed.data(), 0, count, columns, nullptr);
            ok = std::fwrite(packed.data(), 1, size, file) == size;
        }
        const std::size_t bytes = lm_ggml_nbytes(tensor);
        const std::vector<std::uint8_t> padding((alignment - bytes % alignment) % alignment, 0);
        ok = ok && std::fwrite(padding.data(), 1, padding.size(), file) == padding.size();
    }
    ok = std::fclose(file) == 0 && ok;
    if (!ok || std::rename(partial.c_str(), path.c_str()) != 0) {
        std::remove(partial.c_str());
        throw std::runtime_error("cannot write " + path);
    }
}

} // namespace kivo
