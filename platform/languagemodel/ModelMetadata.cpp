#include "platform/languagemodel/ModelMetadata.h"

#include "platform/languagemodel/GgufTensorTable.h"

#include <gguf.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

namespace kivo::ModelMetadata {
namespace {

struct GgufFree {
    void operator()(lm_gguf_context* context) const { lm_gguf_free(context); }
};

// The runtime keeps per-layer settings in arrays of this size and asserts beyond it.
constexpr std::int64_t maximumLayers = 512;
// Far above any real model's widths, head counts and contexts, far below overflow.
constexpr std::int64_t maximumSize = std::int64_t{1} << 26;

bool isInteger(lm_gguf_type type)
{
    switch (type) {
    case LM_GGUF_TYPE_UINT8:
    case LM_GGUF_TYPE_INT8:
    case LM_GGUF_TYPE_UINT16:
    case LM_GGUF_TYPE_INT16:
    case LM_GGUF_TYPE_UINT32:
    case LM_GGUF_TYPE_INT32:
    case LM_GGUF_TYPE_UINT64:
    case LM_GGUF_TYPE_INT64: return true;
    default: return false;
    }
}

bool isFloat(lm_gguf_type type)
{
    return type == LM_GGUF_TYPE_FLOAT32 || type == LM_GGUF_TYPE_FLOAT64;
}

// Integers as signed 64-bit values, with unsigned 64-bit values above the range clamped.
std::int64_t integerAt(lm_gguf_type type, const void* data, std::size_t index)
{
    switch (type) {
    case LM_GGUF_TYPE_UINT8: return static_cast<const std::uint8_t*>(data)[index];
    case LM_GGUF_TYPE_INT8: return static_cast<const std::int8_t*>(data)[index];
    case LM_GGUF_TYPE_UINT16: return static_cast<const std::uint16_t*>(data)[index];
    case LM_GGUF_TYPE_INT16: return static_cast<const std::int16_t*>(data)[index];
    case LM_GGUF_TYPE_UINT32: return static_cast<const std::uint32_t*>(data)[index];
    case LM_GGUF_TYPE_INT32: return static_cast<const std::int32_t*>(data)[index];
    case LM_GGUF_TYPE_INT64: return static_cast<const std::int64_t*>(data)[index];
    case LM_GGUF_TYPE_UINT64: {
        const std::uint64_t value = static_cast<const std::uint64_t*>(data)[index];
        return value > static_cast<std::uint64_t>(INT64_MAX) ? INT64_MAX : static_cast<std::int64_t>(value);
    }
    default: return 0;
    }
}

double floatAt(lm_gguf_type type, const void* data, std::size_t index)
{
    return type == LM_GGUF_TYPE_FLOAT32 ? static_cast<const float*>(data)[index]
                                        : static_cast<const double*>(data)[index];
}

// A key's numbers, scalar or array, read without the typed getters (which abort on a
// type mismatch).
struct Numbers {
    lm_gguf_type type = LM_GGUF_TYPE_COUNT;
    std::vector<std::int64_t> integers;
    std::vector<double> floats;
};

Numbers numbersOf(const lm_gguf_context* gguf, std::int64_t key)
{
    Numbers numbers;
    lm_gguf_type type = lm_gguf_get_kv_type(gguf, key);
    const void* data = nullptr;
    std::size_t count = 1;
    if (type == LM_GGUF_TYPE_ARRAY) {
        type = lm_gguf_get_arr_type(gguf, key);
        if (!isInteger(type) && !isFloat(type)) {
            return numbers;
        }
        data = lm_gguf_get_arr_data(gguf, key);
        count = lm_gguf_get_arr_n(gguf, key);
    } else if (isInteger(type) || isFloat(type)) {
        data = lm_gguf_get_val_data(gguf, key);
    } else {
        return numbers;
    }
    numbers.type = type;
    for (std::size_t i = 0; data != nullptr && i < count; ++i) {
        if (isInteger(type)) {
            numbers.integers.push_back(integerAt(type, data, i));
        } else {
            numbers.floats.push_back(floatAt(type, data, i));
        }
    }
    return numbers;
}

bool endsWith(std::string_view text, std::string_view suffix)
{
    return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

std::optional<std::string> checkKey(const lm_gguf_context* gguf, std::int64_t key, const std::string& name,
                                    const std::string& architecture)
{
    const Numbers numbers = numbersOf(gguf, key);
    const std::string setting = name.substr(architecture.size() + 1);
    for (const double value : numbers.floats) {
        if (!std::isfinite(value)) {
            return name + " is not a finite number";
        }
        if (endsWith(setting, "epsilon") && value < 0) {
            return name + " is negative (" + std::to_string(value) + ")";
        }
    }
    if (setting == "block_count") {
        if (numbers.integers.size() != 1 || lm_gguf_get_kv_type(gguf, key) == LM_GGUF_TYPE_ARRAY) {
            return name + " is not a number";
        }
        const std::int64_t layers = numbers.integers.front();
        if (layers < 1 || layers > maximumLayers) {
            return name + " is " + std::to_string(layers) + ", outside 1 to " + std::to_string(maximumLayers);
        }
    }
    static constexpr std::array<std::string_view, 9> sizes = {
        "context_length",         "embedding_length",        "feed_forward_length",
        "attention.head_count",   "attention.head_count_kv", "attention.key_length",
        "attention.value_length", "rope.dimension_count",    "vocab_size"};
    for (const std::string_view size : sizes) {
        if (setting != size) {
            continue;
        }
        if (numbers.type == LM_GGUF_TYPE_COUNT || !isInteger(numbers.type)) {
            return name + " is not a whole number";
        }
        for (const std::int64_t value : numbers.integers) {
            if (value < 0 || value > maximumSize) {
                return name + " is " + std::to_string(value) + ", outside 0 to " + std::to_string(maximumSize);
            }
        }
    }
    if (setting == "context_length" || setting == "embedding_length") {
        if (numbers.integers.empty() || numbers.integers.front() < 1) {
            return name + " is 0";
        }
    }
    if (setting == "rope.scaling.type") {
        if (lm_gguf_get_kv_type(gguf, key) != LM_GGUF_TYPE_STRING) {
            return name + " is not a text";
        }
        const std::string_view scaling = lm_gguf_get_val_str(gguf, key);
        if (scaling != "none" && scaling != "linear" && scaling != "yarn" && scaling != "longrope") {
            return name + " names an unknown scaling \"" + std::string(scaling) + "\"";
        }
    }
    return std::nullopt;
}

// Attention needs each head count to be positive and a multiple of its key/value head count.
std::optional<std::string> checkHeads(const lm_gguf_context* gguf, const std::string& architecture)
{
    const std::string headsName = architecture + ".attention.head_count";
    const std::string kvName = architecture + ".attention.head_count_kv";
    const std::int64_t headsKey = lm_gguf_find_key(gguf, headsName.c_str());
    const std::int64_t kvKey = lm_gguf_find_key(gguf, kvName.c_str());
    if (headsKey < 0 || kvKey < 0) {
        return std::nullopt;
    }
    const auto heads = numbersOf(gguf, headsKey).integers;
    const auto kvHeads = numbersOf(gguf, kvKey).integers;
    for (std::size_t i = 0; i < std::max(heads.size(), kvHeads.size()); ++i) {
        const std::int64_t h = heads.empty() ? 0 : heads[std::min(i, heads.size() - 1)];
        const std::int64_t kv = kvHeads.empty() ? 0 : kvHeads[std::min(i, kvHeads.size() - 1)];
        if (kv > h || (kv > 0 && h % kv != 0)) {
            std::string problem = kvName;
            problem += " (" + std::to_string(kv) + ") does not divide ";
            problem += headsName;
            problem += " (" + std::to_string(h) + ")";
            return problem;
        }
    }
    return std::nullopt;
}

} // namespace

std::optional<std::string> problem(const std::filesystem::path& file)
{
    if (auto tensors = GgufTensorTable::problem(file)) {
        return *tensors + " in " + file.string();
    }
    lm_gguf_init_params params{};
    params.no_alloc = true;
    params.ctx = nullptr;
    const std::unique_ptr<lm_gguf_context, GgufFree> gguf(lm_gguf_init_from_file(file.c_str(), params));
    if (!gguf) {
        return "cannot read " + file.string() + " as a GGUF file";
    }
    const std::int64_t architectureKey = lm_gguf_find_key(gguf.get(), "general.architecture");
    if (architectureKey < 0 || lm_gguf_get_kv_type(gguf.get(), architectureKey) != LM_GGUF_TYPE_STRING) {
        return "no general.architecture in " + file.string();
    }
    const std::string architecture = lm_gguf_get_val_str(gguf.get(), architectureKey);
    const std::string prefix = architecture + ".";
    if (lm_gguf_find_key(gguf.get(), (prefix + "block_count").c_str()) < 0) {
        return "no " + prefix + "block_count in " + file.string();
    }
    for (std::int64_t key = 0; key < lm_gguf_get_n_kv(gguf.get()); ++key) {
        const std::string name = lm_gguf_get_key(gguf.get(), key);
        if (!name.starts_with(prefix)) {
            continue;
        }
        if (auto failure = checkKey(gguf.get(), key, name, architecture)) {
            return "invalid setting in " + file.string() + ": " + *failure;
        }
    }
    if (auto failure = checkHeads(gguf.get(), architecture)) {
        return "invalid setting in " + file.string() + ": " + *failure;
    }
    return std::nullopt;
}

} // namespace kivo::ModelMetadata
