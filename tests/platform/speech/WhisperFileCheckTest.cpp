#include "platform/speech/WhisperFileCheck.h"
#include "platform/speech/RecognizerError.h"
#include "platform/speech/SpeechModelFile.h"
#include "platform/speech/WhisperFileError.h"
#include "platform/speech/WhisperModel.h"
#include "platform/speech/WhisperRecognizer.h"
#include "tools/whisper/DamagedWhisperFiles.h"
#include "tools/whisper/TinyWhisperModel.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <unistd.h>

namespace kivo {
namespace {

using Fault = WhisperFileError::Fault;

std::string readAll(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class WhisperFileCheckTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        directory() = std::filesystem::temp_directory_path() / ("kivo-whisper-check-" + std::to_string(::getpid()));
        std::filesystem::create_directories(directory());
        TinyWhisperModel::write(directory() / "tiny.bin", TinyWhisperModel::Dimensions{});
        original() = readAll(directory() / "tiny.bin");
    }
    static void TearDownTestSuite() { std::filesystem::remove_all(directory()); }

    static std::filesystem::path& directory()
    {
        static std::filesystem::path path;
        return path;
    }
    static std::string& original()
    {
        static std::string bytes;
        return bytes;
    }

    // The check's refusal of `bytes` as "m.bin", or none when it accepts them.
    static std::optional<WhisperFileError> refusal(const std::string& bytes)
    {
        try {
            WhisperFileCheck::checkBytes(bytes, "m.bin");
            return std::nullopt;
        } catch (const WhisperFileError& refused) {
            return refused;
        }
    }
    static std::optional<Fault> faultOf(const std::string& bytes)
    {
        const auto refused = refusal(bytes);
        return refused ? std::optional(refused->fault()) : std::nullopt;
    }

    static std::string patched(std::size_t at, std::int32_t value)
    {
        std::string bytes = original();
        std::memcpy(bytes.data() + at, &value, sizeof value);
        return bytes;
    }
    static std::string withField(int field, std::int32_t value) { return patched(4 + 4 * field, value); }

    // The offset of the first tensor entry: header, mel filters, vocabulary.
    static std::size_t tensorTable()
    {
        const std::string& b = original();
        std::size_t at = 48;
        std::int32_t mels = 0;
        std::int32_t bins = 0;
        std::memcpy(&mels, b.data() + at, 4);
        std::memcpy(&bins, b.data() + at + 4, 4);
        at += 8 + static_cast<std::size_t>(mels) * bins * 4;
        std::int32_t tokens = 0;
        std::memcpy(&tokens, b.data() + at, 4);
        at += 4;
        for (std::int32_t i = 0; i < tokens; ++i) {
            std::int32_t length = 0;
            std::memcpy(&length, b.data() + at, 4);
            at += 4 + static_cast<std::size_t>(length);
        }
        return at;
    }
};

TEST_F(WhisperFileCheckTest, AcceptsGeneratedModelsOfEveryWeightType)
{
    const auto header = WhisperFileCheck::checkBytes(original(), "tiny.bin");
    EXPECT_EQ(header.nVocab, 51866);
    EXPECT_EQ(header.nAudioState, 64);
    EXPECT_EQ(header.nTextCtx, 448);
    EXPECT_EQ(header.nMels, 80);
    EXPECT_EQ(header.language(), "yue");
    for (const auto weights : {TinyWhisperModel::WeightType::q8_0, TinyWhisperModel::WeightType::q5_0}) {
        const auto path = directory() / "quantized.bin";
        TinyWhisperModel::write(path, TinyWhisperModel::Dimensions{}, 1, weights);
        EXPECT_NO_THROW(WhisperFileCheck::check(path));
    }
}

TEST_F(WhisperFileCheckTest, RefusesHeaderFieldsOutsideRealModels)
{
    // n_vocab .. ftype, in the file's order; each value is one real models never have.
    const std::vector<std::pair<int, std::int32_t>> cases{
        {0, 51863}, {0, 51867}, {1, 0},  {1, 1501}, {2, 32},  {2, 1281},  {3, 0},     {3, 3},
        {3, 33},    {4, 0},     {4, 33}, {5, 0},    {5, 449}, {6, 0},     {6, 128},   {7, 0},
        {7, 3},     {7, 33},    {8, 0},  {8, 33},   {3, 64},  {7, 64},    {9, 79},    {9, 81},
        {9, 129},   {10, -1},   {10, 4}, {10, 5},   {10, 15}, {10, 3001}, {10, 65536}};
    for (const auto& [field, value] : cases) {
        EXPECT_EQ(faultOf(withField(field, value)), Fault::header)
            << DamagedWhisperFiles::fieldName(field) << " = " << value;
    }
    // The edges real models do have load past the header.
    for (const auto& [field, value] : std::vector<std::pair<int, std::int32_t>>{{3, 1}, {3, 32}, {7, 1}, {7, 32}}) {
        EXPECT_FALSE(faultOf(withField(field, value)).has_value()) << DamagedWhisperFiles::fieldName(field);
    }
    // A k-quant file type needs widths of whole 256-value blocks; 64 is not.
    EXPECT_EQ(faultOf(withField(10, 12)), Fault::header);
    EXPECT_EQ(faultOf(std::string("GGUF") + original().substr(4)), Fault::notWhisper);
}

TEST_F(WhisperFileCheckTest, RefusesSectionsAndTensorsThatDisagreeWithTheHeader)
{
    EXPECT_EQ(faultOf(patched(48, 81)), Fault::section);  // mel filter rows
    EXPECT_EQ(faultOf(patched(52, 200)), Fault::section); // fft bins
    const std::size_t vocabulary = 56 + 80 * 201 * 4;
    EXPECT_EQ(faultOf(patched(vocabulary, 0)), Fault::section);
    EXPECT_EQ(faultOf(patched(vocabulary, 51867)), Fault::section);
    EXPECT_EQ(faultOf(patched(vocabulary + 4, 2000)), Fault::section); // a token longer than any real one
    EXPECT_EQ(faultOf(patched(vocabulary + 4, -1)), Fault::section);

    // The first tensor: dims, name length, type, then [64, 1500] and its name.
    const std::size_t table = tensorTable();
    EXPECT_EQ(faultOf(patched(table, 0)), Fault::tensor);
    EXPECT_EQ(faultOf(patched(table, 5)), Fault::tensor);
    EXPECT_EQ(faultOf(patched(table + 4, -1)), Fault::tensor);
    EXPECT_EQ(faultOf(patched(table + 4, 1 << 30)), Fault::tensor);
    EXPECT_EQ(faultOf(patched(table + 8, 1)), Fault::tensor);     // 16-bit where 32-bit floats belong
    EXPECT_EQ(faultOf(patched(table + 8, 99)), Fault::tensor);    // no such type
    EXPECT_EQ(faultOf(patched(table + 12, 65)), Fault::tensor);   // width
    EXPECT_EQ(faultOf(patched(table + 16, 1499)), Fault::tensor); // context
    std::string renamed = original();
    renamed[table + 20] = 'E';
    EXPECT_EQ(faultOf(renamed), Fault::tensor);

    const auto shape = refusal(patched(table + 16, 1499));
    ASSERT_TRUE(shape);
    EXPECT_EQ(
        shape->english(),
        "m.bin has tensor \"encoder.positional_embedding\" of shape [64, 1499]; the header calls for [64, 1500, 1].");
    EXPECT_EQ(shape->chinese(),
              "m.bin 的張量「encoder.positional_embedding」形狀是 [64, 1499]；檔頭要求 [64, 1500, 1]。");
    EXPECT_EQ(refusal(patched(table, 5))->english(), "m.bin has a malformed tensor entry at byte " +
                                                         std::to_string(table) +
                                                         " (5 dimensions, a name of 28 bytes).");
    const auto missing = refusal(withField(8, 2));
    ASSERT_TRUE(missing);
    EXPECT_EQ(missing->english(), "m.bin lacks tensor \"decoder.blocks.1.attn.key.weight\" and 23 more.");
    EXPECT_EQ(missing->chinese(), "m.bin 缺少張量「decoder.blocks.1.attn.key.weight」及另外 23 個。");
    EXPECT_EQ(faultOf(original() + std::string(1, '\0')), Fault::length);
    EXPECT_EQ(faultOf(original() + std::string(12, '\0')), Fault::tensor);
    // The header alone, as whisper.cpp would load as an empty model.
    EXPECT_EQ(faultOf(original().substr(0, table)), Fault::length);
    EXPECT_EQ(faultOf(original().substr(0, original().size() - 1)), Fault::length);
}

TEST_F(WhisperFileCheckTest, EveryDamagedCopyIsRefusedOrLoadable)
{
    for (const auto& copy : DamagedWhisperFiles::truncations(original())) {
        EXPECT_TRUE(faultOf(copy.bytes).has_value()) << copy.label;
    }
    int headersRefused = 0;
    for (const auto& copy : DamagedWhisperFiles::headerFieldValues(original())) {
        headersRefused += faultOf(copy.bytes).has_value();
    }
    // Head counts of 1 divide any width; the rest are refused.
    EXPECT_GE(headersRefused, 60);
    // Whatever passes loads: a changed filter value or token text is still a model.
    const auto path = directory() / "damaged.bin";
    for (const auto& copy : DamagedWhisperFiles::all(original())) {
        if (faultOf(copy.bytes)) {
            continue;
        }
        std::ofstream(path, std::ios::binary | std::ios::trunc)
            .write(copy.bytes.data(), static_cast<std::streamsize>(copy.bytes.size()));
        EXPECT_NO_THROW(WhisperModel::load(path)) << copy.label;
    }
}

TEST_F(WhisperFileCheckTest, NamesTheFileInBothLanguagesAndKeepsVerdictsByIdentity)
{
    const auto path = directory() / "speech-model.bin";
    std::filesystem::copy_file(directory() / "tiny.bin", path, std::filesystem::copy_options::overwrite_existing);
    EXPECT_EQ(WhisperFileCheck::check(path).nVocab, 51866);

    // The same size, new contents and modification time: checked again, not taken from before.
    const std::string damaged = withField(9, 7);
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(damaged.data(), static_cast<std::streamsize>(damaged.size()));
    std::filesystem::last_write_time(path, std::filesystem::last_write_time(path) + std::chrono::seconds(2));
    try {
        WhisperFileCheck::check(path);
        FAIL() << "accepted n_mels 7";
    } catch (const WhisperFileError& refused) {
        EXPECT_EQ(refused.english(), "speech-model.bin has n_mels 7; whisper models have 80 to 128.");
        EXPECT_EQ(refused.chinese(), "speech-model.bin 的 n_mels 是 7；whisper 模型的值在 80 至 128 之間。");
    }
    // A renamed file keeps its identity and verdict, told under its new name.
    std::filesystem::rename(path, directory() / "renamed.bin");
    try {
        WhisperFileCheck::check(directory() / "renamed.bin");
        FAIL() << "accepted n_mels 7 after a rename";
    } catch (const WhisperFileError& refused) {
        EXPECT_TRUE(refused.english().starts_with("renamed.bin has n_mels 7")) << refused.english();
    }
    EXPECT_FALSE(SpeechModelFile::readHeader(directory() / "renamed.bin").has_value());
    EXPECT_FALSE(SpeechModelFile::readHeader(directory() / "missing.bin").has_value());
    EXPECT_THROW(WhisperFileCheck::check(directory()), WhisperFileError);
}

TEST_F(WhisperFileCheckTest, TheRecognizerTakesABrokenFileForNoModelAndLoadsNothing)
{
    const auto path = directory() / "broken-speech-model.bin";
    std::ofstream(path, std::ios::binary | std::ios::trunc) << original().substr(0, 100000);
    WhisperRecognizer recognizer(WhisperRecognizer::Configuration{path, 1, {}});
    EXPECT_TRUE(recognizer.installedLocales(Transcriber::Kind::general).empty());
    try {
        WhisperModel::load(path);
        FAIL() << "loaded a truncated file";
    } catch (const RecognizerError& refused) {
        EXPECT_NE(std::string(refused.what()).find("broken-speech-model.bin is cut short"), std::string::npos)
            << refused.what();
    }
}

} // namespace
} // namespace kivo
