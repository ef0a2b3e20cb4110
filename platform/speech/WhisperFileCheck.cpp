#include "platform/speech/WhisperFileCheck.h"

#include "platform/speech/WhisperFileError.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <map>
#include <mutex>
#include <optional>
#include <tuple>
#include <vector>

namespace kivo {
namespace {

using Fault = WhisperFileError::Fault;

// What is wrong, before the file's name is put in front.
struct Refusal {
    Fault fault;
    std::string english;
    std::string chinese;
};

[[noreturn]] void refuse(Fault fault, std::string english, std::string chinese)
{
    throw Refusal{fault, std::move(english), std::move(chinese)};
}

constexpr std::uint32_t ggmlMagic = 0x67676d6c;
constexpr std::int32_t quantizationVersionFactor = 1000;
constexpr std::int32_t fftBins = 201;
constexpr std::uint32_t longestToken = 1024; // real tokens are at most a few dozen bytes
constexpr std::int32_t longestTensorName = 128;

struct TypeLayout {
    std::int32_t block;  // values per block
    std::uint64_t bytes; // bytes per block
};

// ggml's storage types whisper models use: 32-bit and 16-bit floats, the 32-value quantized
// blocks and the 256-value k-quants.
std::optional<TypeLayout> layoutOf(std::int32_t type)
{
    switch (type) {
    case 0: return TypeLayout{1, 4};
    case 1: return TypeLayout{1, 2};
    case 2: return TypeLayout{32, 18};
    case 3: return TypeLayout{32, 20};
    case 6: return TypeLayout{32, 22};
    case 7: return TypeLayout{32, 24};
    case 8: return TypeLayout{32, 34};
    case 10: return TypeLayout{256, 84};
    case 11: return TypeLayout{256, 110};
    case 12: return TypeLayout{256, 144};
    case 13: return TypeLayout{256, 176};
    case 14: return TypeLayout{256, 210};
    default: return std::nullopt;
    }
}

// The storage type of the weight matrices for a file type (without its quantization version).
std::optional<std::int32_t> weightTypeOf(std::int32_t fileType)
{
    switch (fileType) {
    case 0: return 0;
    case 1: return 1;
    case 2: return 2;
    case 3: return 3;
    case 7: return 8;
    case 8: return 6;
    case 9: return 7;
    case 10:
    case 11:
    case 12:
    case 13:
    case 14: return fileType;
    default: return std::nullopt;
    }
}

// Sequential reads of the file or of bytes in memory; anything past the end is a refusal.
class Reader {
public:
    explicit Reader(std::string_view bytes) : memory_(bytes), size_(bytes.size()) {}
    Reader(int descriptor, std::uint64_t size) : descriptor_(descriptor), size_(size), buffer_(64 * 1024) {}

    std::uint64_t offset() const { return offset_; }
    std::uint64_t size() const { return size_; }
    std::uint64_t left() const { return size_ - offset_; }

    std::int32_t i32(const char* english, const char* chinese)
    {
        std::int32_t value = 0;
        take(reinterpret_cast<char*>(&value), sizeof value, english, chinese);
        return value;
    }

    std::string text(std::size_t length, const char* english, const char* chinese)
    {
        std::string out(length, '\0');
        take(out.data(), length, english, chinese);
        return out;
    }

    void skip(std::uint64_t count, const char* english, const char* chinese)
    {
        if (count > left()) {
            pastEnd(english, chinese);
        }
        offset_ += count;
    }

private:
    [[noreturn]] void pastEnd(const char* english, const char* chinese) const
    {
        refuse(Fault::section,
               std::string("is cut short: it ends inside ") + english + " (" + std::to_string(size_) + " bytes)",
               std::string("不完整：檔案在") + chinese + "中途結束（" + std::to_string(size_) + " 位元組）");
    }

    void take(char* out, std::size_t count, const char* english, const char* chinese)
    {
        if (count > left()) {
            pastEnd(english, chinese);
        }
        if (descriptor_ < 0) {
            std::memcpy(out, memory_.data() + offset_, count);
        } else {
            if (offset_ < bufferStart_ || offset_ + count > bufferStart_ + bufferLength_) {
                fill();
            }
            std::memcpy(out, buffer_.data() + (offset_ - bufferStart_), count);
        }
        offset_ += count;
    }

    void fill()
    {
        const std::size_t wanted = static_cast<std::size_t>(std::min<std::uint64_t>(buffer_.size(), left()));
        std::size_t got = 0;
        while (got < wanted) {
            const ssize_t n =
                ::pread(descriptor_, buffer_.data() + got, wanted - got, static_cast<off_t>(offset_ + got));
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n <= 0) {
                refuse(Fault::unreadable, "could not be read", "無法讀取");
            }
            got += static_cast<std::size_t>(n);
        }
        bufferStart_ = offset_;
        bufferLength_ = got;
    }

    std::string_view memory_;
    int descriptor_ = -1;
    std::uint64_t size_ = 0;
    std::uint64_t offset_ = 0;
    std::vector<char> buffer_;
    std::uint64_t bufferStart_ = 0;
    std::uint64_t bufferLength_ = 0;
};

void inRange(const char* field, std::int32_t value, std::int32_t lowest, std::int32_t highest)
{
    if (value < lowest || value > highest) {
        refuse(Fault::header,
               std::string("has ") + field + " " + std::to_string(value) + "; whisper models have " +
                   std::to_string(lowest) + " to " + std::to_string(highest),
               std::string("的 ") + field + " 是 " + std::to_string(value) + "；whisper 模型的值在 " +
                   std::to_string(lowest) + " 至 " + std::to_string(highest) + " 之間");
    }
}

struct Expected {
    std::array<std::int64_t, 3> shape;
    std::int32_t type;
};

std::string shapeText(const std::array<std::int64_t, 4>& shape, std::size_t dims)
{
    std::string out = "[";
    for (std::size_t i = 0; i < dims; ++i) {
        out += (i ? ", " : "") + std::to_string(shape[i]);
    }
    return out + "]";
}

// Every tensor whisper.cpp creates for this header, by name, as it creates it.
std::map<std::string, Expected> expectedTensors(const SpeechModelFile::Header& h, std::int32_t weights)
{
    const std::int32_t f32 = 0;
    const std::int32_t conv = weights == 0 ? 0 : 1;
    const std::int64_t a = h.nAudioState;
    const std::int64_t t = h.nTextState;
    std::map<std::string, Expected> out{
        {"encoder.positional_embedding", {{a, h.nAudioCtx, 1}, f32}},
        {"encoder.conv1.weight", {{3, h.nMels, a}, conv}},
        {"encoder.conv1.bias", {{1, a, 1}, f32}},
        {"encoder.conv2.weight", {{3, a, a}, conv}},
        {"encoder.conv2.bias", {{1, a, 1}, f32}},
        {"encoder.ln_post.weight", {{a, 1, 1}, f32}},
        {"encoder.ln_post.bias", {{a, 1, 1}, f32}},
        {"decoder.positional_embedding", {{t, h.nTextCtx, 1}, f32}},
        {"decoder.token_embedding.weight", {{t, h.nVocab, 1}, weights}},
        {"decoder.ln.weight", {{t, 1, 1}, f32}},
        {"decoder.ln.bias", {{t, 1, 1}, f32}},
    };
    const auto block = [&](const std::string& prefix, std::int64_t width, bool cross) {
        out[prefix + "mlp_ln.weight"] = {{width, 1, 1}, f32};
        out[prefix + "mlp_ln.bias"] = {{width, 1, 1}, f32};
        out[prefix + "mlp.0.weight"] = {{width, 4 * width, 1}, weights};
        out[prefix + "mlp.0.bias"] = {{4 * width, 1, 1}, f32};
        out[prefix + "mlp.2.weight"] = {{4 * width, width, 1}, weights};
        out[prefix + "mlp.2.bias"] = {{width, 1, 1}, f32};
        for (const std::string attention : {"attn", "cross_attn"}) {
            if (attention == "cross_attn" && !cross) {
                continue;
            }
            out[prefix + attention + "_ln.weight"] = {{width, 1, 1}, f32};
            out[prefix + attention + "_ln.bias"] = {{width, 1, 1}, f32};
            for (const std::string part : {"query", "key", "value", "out"}) {
                out[prefix + attention + "." + part + ".weight"] = {{width, width, 1}, weights};
                if (part != "key") {
                    out[prefix + attention + "." + part + ".bias"] = {{width, 1, 1}, f32};
                }
            }
        }
    };
    for (std::int32_t layer = 0; layer < h.nAudioLayer; ++layer) {
        block("encoder.blocks." + std::to_string(layer) + ".", a, false);
    }
    for (std::int32_t layer = 0; layer < h.nTextLayer; ++layer) {
        block("decoder.blocks." + std::to_string(layer) + ".", t, true);
    }
    return out;
}

SpeechModelFile::Header readHeader(Reader& in)
{
    const char* en = "the header";
    const char* zh = "檔頭";
    if (static_cast<std::uint32_t>(in.i32(en, zh)) != ggmlMagic) {
        refuse(Fault::notWhisper, "is not a whisper model in the ggml format", "不是 ggml 格式的 whisper 模型");
    }
    SpeechModelFile::Header h;
    for (std::int32_t* field : {&h.nVocab, &h.nAudioCtx, &h.nAudioState, &h.nAudioHead, &h.nAudioLayer, &h.nTextCtx,
                                &h.nTextState, &h.nTextHead, &h.nTextLayer, &h.nMels, &h.fileType}) {
        *field = in.i32(en, zh);
    }
    // The ranges of the released models, English-only "tiny" to "large-v3"; the widths from 64
    // for generated test models.
    inRange("n_vocab", h.nVocab, 51864, 51866);
    inRange("n_audio_ctx", h.nAudioCtx, 1, 1500);
    inRange("n_audio_state", h.nAudioState, 64, 1280);
    inRange("n_audio_head", h.nAudioHead, 1, 32);
    inRange("n_audio_layer", h.nAudioLayer, 1, 32);
    inRange("n_text_ctx", h.nTextCtx, 1, 448);
    inRange("n_text_state", h.nTextState, 64, 1280);
    inRange("n_text_head", h.nTextHead, 1, 32);
    inRange("n_text_layer", h.nTextLayer, 1, 32);
    inRange("n_mels", h.nMels, 80, 128);
    if (h.nMels != 80 && h.nMels != 128) {
        refuse(Fault::header, "has n_mels " + std::to_string(h.nMels) + "; whisper models have 80 or 128",
               "的 n_mels 是 " + std::to_string(h.nMels) + "；whisper 模型是 80 或 128");
    }
    if (h.nTextState != h.nAudioState) {
        refuse(Fault::header,
               "has n_text_state " + std::to_string(h.nTextState) + " unlike n_audio_state " +
                   std::to_string(h.nAudioState),
               "的 n_text_state " + std::to_string(h.nTextState) + " 與 n_audio_state " +
                   std::to_string(h.nAudioState) + " 不同");
    }
    for (const auto& [heads, width, name] : {std::tuple{h.nAudioHead, h.nAudioState, "n_audio_head"},
                                             std::tuple{h.nTextHead, h.nTextState, "n_text_head"}}) {
        if (width % heads != 0) {
            refuse(Fault::header,
                   std::string("has ") + name + " " + std::to_string(heads) + ", which does not divide the width " +
                       std::to_string(width),
                   std::string("的 ") + name + " " + std::to_string(heads) + " 不能整除寬度 " + std::to_string(width));
        }
    }
    const std::int32_t version = h.fileType / quantizationVersionFactor;
    const auto weights =
        h.fileType < 0 || version > 2 ? std::nullopt : weightTypeOf(h.fileType % quantizationVersionFactor);
    if (!weights) {
        refuse(Fault::header, "has an unknown ftype " + std::to_string(h.fileType),
               "的 ftype " + std::to_string(h.fileType) + " 不明");
    }
    if (h.nAudioState % layoutOf(*weights)->block != 0) {
        refuse(Fault::header,
               "has width " + std::to_string(h.nAudioState) + ", not a whole number of its ftype's blocks of " +
                   std::to_string(layoutOf(*weights)->block),
               "的寬度 " + std::to_string(h.nAudioState) + " 不是其 ftype 區塊（" +
                   std::to_string(layoutOf(*weights)->block) + "）的整數倍");
    }
    return h;
}

void readSections(Reader& in, const SpeechModelFile::Header& h)
{
    const char* filtersEn = "the mel filters";
    const char* filtersZh = "梅爾濾波器";
    const std::int32_t mels = in.i32(filtersEn, filtersZh);
    const std::int32_t bins = in.i32(filtersEn, filtersZh);
    if (mels != h.nMels || bins != fftBins) {
        refuse(Fault::section,
               "has mel filters of " + std::to_string(mels) + " × " + std::to_string(bins) + " instead of " +
                   std::to_string(h.nMels) + " × " + std::to_string(fftBins),
               "的梅爾濾波器是 " + std::to_string(mels) + " × " + std::to_string(bins) + "，應為 " +
                   std::to_string(h.nMels) + " × " + std::to_string(fftBins));
    }
    in.skip(static_cast<std::uint64_t>(mels) * fftBins * sizeof(float), filtersEn, filtersZh);

    const char* vocabularyEn = "the vocabulary";
    const char* vocabularyZh = "詞彙表";
    const std::int32_t tokens = in.i32(vocabularyEn, vocabularyZh);
    if (tokens < 1 || tokens > h.nVocab) {
        refuse(Fault::section,
               "has a vocabulary of " + std::to_string(tokens) + " tokens; the header allows 1 to " +
                   std::to_string(h.nVocab),
               "的詞彙表有 " + std::to_string(tokens) + " 個詞；檔頭容許 1 至 " + std::to_string(h.nVocab) + " 個");
    }
    for (std::int32_t i = 0; i < tokens; ++i) {
        const auto length = static_cast<std::uint32_t>(in.i32(vocabularyEn, vocabularyZh));
        if (length > longestToken) {
            refuse(Fault::section,
                   "has vocabulary token " + std::to_string(i) + " of " + std::to_string(length) + " bytes",
                   "的第 " + std::to_string(i) + " 個詞長 " + std::to_string(length) + " 位元組");
        }
        in.skip(length, vocabularyEn, vocabularyZh);
    }
}

void readTensors(Reader& in, const SpeechModelFile::Header& h)
{
    const std::int32_t weights = *weightTypeOf(h.fileType % quantizationVersionFactor);
    auto expected = expectedTensors(h, weights);
    const char* en = "the tensor table";
    const char* zh = "張量表";
    while (in.left() > 0) {
        if (in.left() < 12) {
            refuse(Fault::length, "has " + std::to_string(in.left()) + " stray bytes after its last tensor",
                   "在最後一個張量之後有 " + std::to_string(in.left()) + " 個多餘位元組");
        }
        const std::int32_t dims = in.i32(en, zh);
        const std::int32_t nameLength = in.i32(en, zh);
        const std::int32_t type = in.i32(en, zh);
        if (dims < 1 || dims > 4 || nameLength < 1 || nameLength > longestTensorName) {
            refuse(Fault::tensor,
                   "has a malformed tensor entry at byte " + std::to_string(in.offset() - 12) + " (" +
                       std::to_string(dims) + " dimensions, a name of " + std::to_string(nameLength) + " bytes)",
                   "在第 " + std::to_string(in.offset() - 12) + " 位元組的張量項目有誤（" + std::to_string(dims) +
                       " 維，名稱 " + std::to_string(nameLength) + " 位元組）");
        }
        std::array<std::int64_t, 4> shape{1, 1, 1, 1};
        for (std::int32_t i = 0; i < dims; ++i) {
            shape[static_cast<std::size_t>(i)] = in.i32(en, zh);
        }
        const std::string name = in.text(static_cast<std::size_t>(nameLength), en, zh);
        const auto found = expected.find(name);
        if (found == expected.end()) {
            refuse(Fault::tensor, "has an unexpected or repeated tensor \"" + name + "\"",
                   "有多餘或重複的張量「" + name + "」");
        }
        const Expected want = found->second;
        if (shape[0] != want.shape[0] || shape[1] != want.shape[1] || shape[2] != want.shape[2] || shape[3] != 1) {
            const std::array<std::int64_t, 4> wanted{want.shape[0], want.shape[1], want.shape[2], 1};
            refuse(Fault::tensor,
                   "has tensor \"" + name + "\" of shape " + shapeText(shape, static_cast<std::size_t>(dims)) +
                       "; the header calls for " + shapeText(wanted, 3),
                   "的張量「" + name + "」形狀是 " + shapeText(shape, static_cast<std::size_t>(dims)) + "；檔頭要求 " +
                       shapeText(wanted, 3));
        }
        if (type != want.type) {
            refuse(Fault::tensor,
                   "has tensor \"" + name + "\" stored as type " + std::to_string(type) +
                       "; the header calls for type " + std::to_string(want.type),
                   "的張量「" + name + "」類型是 " + std::to_string(type) + "；檔頭要求類型 " +
                       std::to_string(want.type));
        }
        expected.erase(found);
        const TypeLayout layout = *layoutOf(type);
        const std::uint64_t values = static_cast<std::uint64_t>(shape[0] * shape[1] * shape[2]);
        const std::uint64_t bytes = values / static_cast<std::uint64_t>(layout.block) * layout.bytes;
        if (bytes > in.left()) {
            refuse(Fault::length,
                   "is cut short: tensor \"" + name + "\" needs " + std::to_string(bytes) + " bytes and " +
                       std::to_string(in.left()) + " are left",
                   "不完整：張量「" + name + "」需要 " + std::to_string(bytes) + " 位元組，只剩 " +
                       std::to_string(in.left()) + " 位元組");
        }
        in.skip(bytes, en, zh);
    }
    if (!expected.empty()) {
        refuse(Fault::length,
               "lacks tensor \"" + expected.begin()->first + "\" and " + std::to_string(expected.size() - 1) + " more",
               "缺少張量「" + expected.begin()->first + "」及另外 " + std::to_string(expected.size() - 1) + " 個");
    }
}

SpeechModelFile::Header checkAll(Reader& in)
{
    const auto header = readHeader(in);
    readSections(in, header);
    readTensors(in, header);
    return header;
}

struct Identity {
    dev_t device;
    ino_t inode;
    off_t size;
    std::int64_t modifiedNs;
    auto operator<=>(const Identity&) const = default;
};

struct Verdict {
    std::optional<SpeechModelFile::Header> header;
    Refusal refusal;
};

std::mutex verdictsLock;
std::map<Identity, Verdict> verdicts;
constexpr std::size_t verdictsKept = 32;

SpeechModelFile::Header deliver(const Verdict& verdict, const std::string& name)
{
    if (verdict.header) {
        return *verdict.header;
    }
    throw WhisperFileError(verdict.refusal.fault, name, verdict.refusal.english, verdict.refusal.chinese);
}

Verdict judge(Reader& in)
{
    try {
        return {checkAll(in), {}};
    } catch (const Refusal& refusal) {
        return {std::nullopt, refusal};
    }
}

} // namespace

SpeechModelFile::Header WhisperFileCheck::checkBytes(std::string_view bytes, const std::string& name)
{
    Reader in(bytes);
    return deliver(judge(in), name);
}

SpeechModelFile::Header WhisperFileCheck::check(const std::filesystem::path& file)
{
    const std::string name = file.filename().string();
    const int descriptor = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat status {};
    if (descriptor < 0 || ::fstat(descriptor, &status) != 0 || !S_ISREG(status.st_mode)) {
        if (descriptor >= 0) {
            ::close(descriptor);
        }
        throw WhisperFileError(Fault::unreadable, name, "is not a readable file", "不是可讀取的檔案");
    }
    const Identity identity{status.st_dev, status.st_ino, status.st_size,
                            static_cast<std::int64_t>(status.st_mtim.tv_sec) * 1000000000 + status.st_mtim.tv_nsec};
    {
        const std::lock_guard lock(verdictsLock);
        if (const auto known = verdicts.find(identity); known != verdicts.end()) {
            ::close(descriptor);
            return deliver(known->second, name);
        }
    }
    Reader in(descriptor, static_cast<std::uint64_t>(status.st_size));
    const Verdict verdict = judge(in);
    ::close(descriptor);
    if (verdict.header || verdict.refusal.fault != Fault::unreadable) {
        const std::lock_guard lock(verdictsLock);
        if (verdicts.size() >= verdictsKept) {
            verdicts.clear();
        }
        verdicts.emplace(identity, verdict);
    }
    return deliver(verdict, name);
}

} // namespace kivo
