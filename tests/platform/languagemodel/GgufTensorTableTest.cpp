#include "platform/languagemodel/GgufTensorTable.h"
#include "platform/languagemodel/ModelMetadata.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace kivo {
namespace {

// GGUF bytes: a few settings (one of them an array of texts) and one tensor of `shape`.
class GgufBytes {
public:
    GgufBytes& u16(std::uint16_t v) { return raw(&v, 2); }
    GgufBytes& u32(std::uint32_t v) { return raw(&v, 4); }
    GgufBytes& u64(std::uint64_t v) { return raw(&v, 8); }
    GgufBytes& text(const std::string& s)
    {
        u64(s.size());
        bytes_ += s;
        return *this;
    }
    std::string model(const std::vector<std::int64_t>& shape, std::uint32_t valueType = 8)
    {
        bytes_ = "GGUF";
        // Every value type once, so a wrong width for any of them loses the tensor table.
        const std::vector<std::pair<std::uint32_t, std::size_t>> scalars{
            {0, 1}, {1, 1}, {2, 2}, {3, 2}, {4, 4}, {5, 4}, {6, 4}, {7, 1}, {10, 8}, {11, 8}, {12, 8}};
        u32(3).u64(1).u64(7 + scalars.size());
        text("general.architecture").u32(valueType).text("qwen2");
        text("tokenizer.ggml.tokens").u32(9).u32(8).u64(2).text("a").text("b");
        text("tokenizer.ggml.token_type").u32(9).u32(2).u64(3).u32(0).u16(0);
        text("tokenizer.ggml.scores").u32(9).u32(12).u64(1).u64(0);
        text("test.floats").u32(9).u32(6).u64(1).u32(0);
        text("test.flags").u32(9).u32(7).u64(2).u16(0);
        text("qwen2.block_count").u32(4).u32(1);
        for (const auto& [type, width] : scalars) {
            text("test.value" + std::to_string(type)).u32(type);
            bytes_ += std::string(width, '\x7f');
        }
        text("token_embd.weight").u32(static_cast<std::uint32_t>(shape.size()));
        for (const auto extent : shape) {
            u64(static_cast<std::uint64_t>(extent));
        }
        u32(0).u64(0);
        bytes_ += std::string((32 - bytes_.size() % 32) % 32, '\0');
        return bytes_;
    }

private:
    GgufBytes& raw(const void* data, std::size_t size)
    {
        bytes_.append(static_cast<const char*>(data), size);
        return *this;
    }
    std::string bytes_;
};

std::filesystem::path written(const std::string& bytes)
{
    const auto path =
        std::filesystem::temp_directory_path() / ("kivo-gguf-table-" + std::to_string(::getpid()) + ".gguf");
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
    return path;
}

TEST(GgufTensorTable, AZeroDimensionIsRefusedBeforeTheRuntimeDividesByIt)
{
    GgufBytes gguf;
    for (const auto& shape : std::vector<std::vector<std::int64_t>>{{8, 0}, {0, 4}, {8, 4, 0}, {8, 4, 2, 0}}) {
        const auto file = written(gguf.model(shape));
        const auto found = GgufTensorTable::problem(file);
        ASSERT_TRUE(found.has_value()) << shape.size();
        EXPECT_EQ(*found, "tensor 0 has a dimension of 0");
        // The runtime's reader would stop the process here.
        EXPECT_NE(ModelMetadata::problem(file).value_or("").find("dimension of 0"), std::string::npos);
    }
    EXPECT_FALSE(GgufTensorTable::problem(written(gguf.model({8, 4}))).has_value());
    // What the walk cannot follow is left to the runtime's reader.
    EXPECT_FALSE(GgufTensorTable::problem(written(gguf.model({8, 0}, 99))).has_value());
    const std::string cut = gguf.model({8, 0});
    EXPECT_FALSE(GgufTensorTable::problem(written(cut.substr(0, 60))).has_value());
    EXPECT_FALSE(GgufTensorTable::problem(written("GGUF")).has_value());
    std::filesystem::remove(written(""));
}

} // namespace
} // namespace kivo
