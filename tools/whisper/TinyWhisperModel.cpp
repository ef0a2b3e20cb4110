#include "tools/whisper/TinyWhisperModel.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

namespace kivo {

namespace {

constexpr std::int32_t typeF32 = 0;
constexpr std::int32_t typeF16 = 1;
constexpr std::int32_t typeQ5_0 = 6;
constexpr std::int32_t typeQ8_0 = 8;
constexpr std::int32_t fileTypeQ5_0 = 8 + 2 * 1000; // ftype with ggml's quantization version
constexpr std::int32_t fileTypeQ8_0 = 7 + 2 * 1000;
constexpr std::int32_t q8Block = 32;
constexpr std::int32_t fileVocabulary = 50257; // the rest are special tokens whisper adds itself
constexpr std::int32_t fftBins = 201;

std::uint16_t toHalf(float value)
{
    std::uint32_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    const std::uint32_t sign = (bits >> 16) & 0x8000u;
    const std::int32_t exponent = static_cast<std::int32_t>((bits >> 23) & 0xff) - 127 + 15;
    const std::uint32_t mantissa = bits & 0x7fffffu;
    if (exponent <= 0) {
        return static_cast<std::uint16_t>(sign); // tiny values flush to zero
    }
    if (exponent >= 31) {
        return static_cast<std::uint16_t>(sign | 0x7c00u);
    }
    return static_cast<std::uint16_t>(sign | (static_cast<std::uint32_t>(exponent) << 10) | (mantissa >> 13));
}

class Writer {
public:
    Writer(const std::filesystem::path& path, std::uint32_t seed, TinyWhisperModel::WeightType weights)
        : out_(path, std::ios::binary), random_(seed), weights_(weights)
    {
        if (!out_) {
            throw std::runtime_error("cannot write " + path.string());
        }
    }

    void i32(std::int32_t value) { out_.write(reinterpret_cast<const char*>(&value), sizeof value); }
    void f32(float value) { out_.write(reinterpret_cast<const char*>(&value), sizeof value); }
    void bytes(const std::string& text)
    {
        i32(static_cast<std::int32_t>(text.size()));
        out_.write(text.data(), static_cast<std::streamsize>(text.size()));
    }

    enum class Fill {
        random,
        ones,
        zeros
    };

    // `half`: a matrix in the model's weight type (16-bit or, for 2-D ones in a quantized
    // model, q8_0 blocks); otherwise 32-bit floats.
    void tensor(const std::string& name, std::vector<std::int32_t> shape, bool half, Fill fill = Fill::random)
    {
        const bool blocks =
            half && weights_ != TinyWhisperModel::WeightType::f16 && shape.size() == 2 && shape[0] % q8Block == 0;
        const bool five = weights_ == TinyWhisperModel::WeightType::q5_0;
        i32(static_cast<std::int32_t>(shape.size()));
        i32(static_cast<std::int32_t>(name.size()));
        i32(blocks ? (five ? typeQ5_0 : typeQ8_0) : half ? typeF16 : typeF32);
        std::int64_t count = 1;
        for (const auto dimension : shape) {
            i32(dimension);
            count *= dimension;
        }
        out_.write(name.data(), static_cast<std::streamsize>(name.size()));
        std::normal_distribution<float> normal(0.0f, 0.02f);
        const auto next = [&] { return fill == Fill::ones ? 1.0f : fill == Fill::zeros ? 0.0f : normal(random_); };
        std::vector<char> block;
        if (blocks && five) {
            // ggml's q5_0: scale, the 32 fifth bits, then low nibbles of values j and j + 16.
            float values[q8Block];
            for (std::int64_t at = 0; at < count; at += q8Block) {
                float largest = 0.0f;
                float signedLargest = 0.0f;
                for (float& value : values) {
                    value = next();
                    if (std::abs(value) > largest) {
                        largest = std::abs(value);
                        signedLargest = value;
                    }
                }
                const float scale = signedLargest / -16.0f;
                const float inverse = scale != 0.0f ? 1.0f / scale : 0.0f;
                std::uint32_t high = 0;
                char low[q8Block / 2];
                for (int j = 0; j < q8Block / 2; ++j) {
                    const auto a =
                        static_cast<std::uint32_t>(std::min(31, static_cast<int>(values[j] * inverse + 16.5f)));
                    const auto b = static_cast<std::uint32_t>(
                        std::min(31, static_cast<int>(values[j + q8Block / 2] * inverse + 16.5f)));
                    low[j] = static_cast<char>((a & 0x0fu) | ((b & 0x0fu) << 4));
                    high |= ((a & 0x10u) >> 4) << j;
                    high |= ((b & 0x10u) >> 4) << (j + q8Block / 2);
                }
                const std::uint16_t h = toHalf(scale);
                block.insert(block.end(), reinterpret_cast<const char*>(&h), reinterpret_cast<const char*>(&h) + 2);
                block.insert(block.end(), reinterpret_cast<const char*>(&high),
                             reinterpret_cast<const char*>(&high) + 4);
                block.insert(block.end(), low, low + q8Block / 2);
            }
        } else if (blocks) {
            block.reserve(static_cast<std::size_t>(count / q8Block) * (2 + q8Block));
            float values[q8Block];
            for (std::int64_t at = 0; at < count; at += q8Block) {
                float largest = 0.0f;
                for (float& value : values) {
                    value = next();
                    largest = std::max(largest, std::abs(value));
                }
                const float scale = largest / 127.0f;
                const std::uint16_t h = toHalf(scale);
                block.insert(block.end(), reinterpret_cast<const char*>(&h), reinterpret_cast<const char*>(&h) + 2);
                for (const float value : values) {
                    block.push_back(static_cast<char>(scale > 0.0f ? std::lround(value / scale) : 0));
                }
            }
        } else {
            block.reserve(static_cast<std::size_t>(count) * (half ? 2 : 4));
            for (std::int64_t i = 0; i < count; ++i) {
                const float value = next();
                if (half) {
                    const std::uint16_t h = toHalf(value);
                    block.insert(block.end(), reinterpret_cast<const char*>(&h), reinterpret_cast<const char*>(&h) + 2);
                } else {
                    block.insert(block.end(), reinterpret_cast<const char*>(&value),
                                 reinterpret_cast<const char*>(&value) + 4);
                }
            }
        }
        out_.write(block.data(), static_cast<std::streamsize>(block.size()));
    }

    void check(const std::filesystem::path& path)
    {
        out_.flush();
        if (!out_) {
            throw std::runtime_error("failed writing " + path.string());
        }
    }

private:
    std::ofstream out_;
    std::mt19937 random_;
    TinyWhisperModel::WeightType weights_;
};

std::string utf8(char32_t c)
{
    std::string out;
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xc0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3f));
    } else {
        out += static_cast<char>(0xe0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3f));
        out += static_cast<char>(0x80 | (c & 0x3f));
    }
    return out;
}

void block(Writer& w, const std::string& prefix, std::int32_t width, bool cross)
{
    using F = Writer::Fill;
    const auto part = [&](const std::string& stem, bool hasBias) {
        w.tensor(prefix + stem + ".weight", {width, width}, true);
        if (hasBias) {
            w.tensor(prefix + stem + ".bias", {width}, false, F::zeros);
        }
    };
    w.tensor(prefix + "mlp_ln.weight", {width}, false, F::ones);
    w.tensor(prefix + "mlp_ln.bias", {width}, false, F::zeros);
    w.tensor(prefix + "mlp.0.weight", {width, 4 * width}, true);
    w.tensor(prefix + "mlp.0.bias", {4 * width}, false, F::zeros);
    w.tensor(prefix + "mlp.2.weight", {4 * width, width}, true);
    w.tensor(prefix + "mlp.2.bias", {width}, false, F::zeros);
    for (const std::string& attention : {std::string("attn"), std::string("cross_attn")}) {
        if (attention == "cross_attn" && !cross) {
            continue;
        }
        w.tensor(prefix + attention + "_ln.weight", {width}, false, F::ones);
        w.tensor(prefix + attention + "_ln.bias", {width}, false, F::zeros);
        part(attention + ".query", true);
        part(attention + ".key", false);
        part(attention + ".value", true);
        part(attention + ".out", true);
    }
}

} // namespace

TinyWhisperModel::Dimensions TinyWhisperModel::base()
{
    Dimensions d;
    d.nAudioState = d.nTextState = 512;
    d.nAudioHead = d.nTextHead = 8;
    d.nAudioLayer = d.nTextLayer = 6;
    return d;
}

TinyWhisperModel::Dimensions TinyWhisperModel::small()
{
    Dimensions d;
    d.nAudioState = d.nTextState = 768;
    d.nAudioHead = d.nTextHead = 12;
    d.nAudioLayer = d.nTextLayer = 12;
    return d;
}

TinyWhisperModel::Dimensions TinyWhisperModel::largeV3Turbo()
{
    Dimensions d;
    d.nAudioState = d.nTextState = 1280;
    d.nAudioHead = d.nTextHead = 20;
    d.nAudioLayer = 32;
    d.nTextLayer = 4;
    d.nMels = 128;
    return d;
}

void TinyWhisperModel::write(const std::filesystem::path& path, const Dimensions& d, std::uint32_t seed,
                             WeightType weights)
{
    using F = Writer::Fill;
    Writer w(path, seed, weights);
    const std::int32_t fileType = weights == WeightType::q8_0   ? fileTypeQ8_0
                                  : weights == WeightType::q5_0 ? fileTypeQ5_0
                                                                : typeF16;
    w.i32(0x67676d6c);
    for (const auto value : {d.nVocab, d.nAudioCtx, d.nAudioState, d.nAudioHead, d.nAudioLayer, d.nTextCtx,
                             d.nTextState, d.nTextHead, d.nTextLayer, d.nMels, fileType}) {
        w.i32(value);
    }

    // Triangular mel filters over the 201 FFT bins.
    w.i32(d.nMels);
    w.i32(fftBins);
    for (std::int32_t mel = 0; mel < d.nMels; ++mel) {
        const double centre = (mel + 1.0) * (fftBins - 1) / (d.nMels + 1.0);
        const double halfWidth = (fftBins - 1) / (d.nMels + 1.0);
        for (std::int32_t bin = 0; bin < fftBins; ++bin) {
            w.f32(static_cast<float>(std::max(0.0, 1.0 - std::abs(bin - centre) / halfWidth)));
        }
    }

    // Printable ASCII, then CJK ideographs, so whatever the random weights pick is valid text.
    w.i32(fileVocabulary);
    for (std::int32_t id = 0; id < fileVocabulary; ++id) {
        if (id == fileVocabulary - 1 && d.nVocab >= 51865) {
            w.bytes(""); // multilingual models carry an empty token here
        } else if (id < 95) {
            w.bytes(std::string(1, static_cast<char>(' ' + id))); // whisper looks up " " itself
        } else {
            w.bytes(utf8(static_cast<char32_t>(0x4e00 + (id - 95) % 0x5000)));
        }
    }

    const std::int32_t a = d.nAudioState;
    const std::int32_t t = d.nTextState;
    w.tensor("encoder.positional_embedding", {a, d.nAudioCtx}, false);
    w.tensor("encoder.conv1.weight", {3, d.nMels, a}, true);
    w.tensor("encoder.conv1.bias", {1, a}, false, F::zeros);
    w.tensor("encoder.conv2.weight", {3, a, a}, true);
    w.tensor("encoder.conv2.bias", {1, a}, false, F::zeros);
    w.tensor("encoder.ln_post.weight", {a}, false, F::ones);
    w.tensor("encoder.ln_post.bias", {a}, false, F::zeros);
    for (std::int32_t layer = 0; layer < d.nAudioLayer; ++layer) {
        block(w, "encoder.blocks." + std::to_string(layer) + ".", a, false);
    }
    w.tensor("decoder.positional_embedding", {t, d.nTextCtx}, false);
    w.tensor("decoder.token_embedding.weight", {t, d.nVocab}, true);
    w.tensor("decoder.ln.weight", {t}, false, F::ones);
    w.tensor("decoder.ln.bias", {t}, false, F::zeros);
    for (std::int32_t layer = 0; layer < d.nTextLayer; ++layer) {
        block(w, "decoder.blocks." + std::to_string(layer) + ".", t, true);
    }
    w.check(path);
}

} // namespace kivo
