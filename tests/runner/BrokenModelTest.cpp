// Models that load but carry settings the runtime would assert on: the real rewrite-runner
// must answer that the model is unavailable, never abort.
#include "tests/support/ChildProcess.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace kivo::test {
namespace {

using nlohmann::json;

const std::string request =
    R"({"source":"今日天氣好好。","sourceLocale":"zh-HK","locale":"zh-TW","instructions":"Rewrite.","literalMapJSON":"[]"})";

json runOn(const std::string& dataHome, ChildResult& process)
{
    process = runChild(KIVO_REWRITE_RUNNER, {}, request, {{"XDG_DATA_HOME", dataHome}});
    return json::parse(process.out, nullptr, false);
}

TEST(BrokenModelTest, InvalidSettingsMakeTheModelUnavailableWithExitStatusZero)
{
    struct Case {
        const char* setting;
        const char* key; // what the reason must name
    };
    const Case cases[] = {
        {"llama.block_count=u32:0", "llama.block_count"},
        {"llama.block_count=u32:2147483647", "llama.block_count"},
        {"llama.block_count=u32:4294967295", "llama.block_count"},
        {"llama.block_count=u32:513", "llama.block_count"},
        {"llama.block_count=str:two", "llama.block_count"},
        {"llama.attention.layer_norm_rms_epsilon=f32:-1", "layer_norm_rms_epsilon"},
        {"llama.attention.layer_norm_rms_epsilon=f32:nan", "layer_norm_rms_epsilon"},
        {"llama.rope.freq_base=f32:inf", "llama.rope.freq_base"},
        {"llama.rope.scaling.type=str:spiral", "llama.rope.scaling.type"},
        {"llama.attention.head_count_kv=u32:3", "head_count_kv"},
        {"llama.attention.head_count_kv=u32s:2,3", "head_count_kv"},
        {"llama.attention.head_count=u32s:4,3", "head_count"},
        {"llama.embedding_length=u32:0", "llama.embedding_length"},
        {"llama.context_length=u64:18446744073709551615", "llama.context_length"},
    };
    for (const Case& broken : cases) {
        SCOPED_TRACE(broken.setting);
        TemporaryFolder folder;
        makeTinyModel(folder.path(), {"--set", broken.setting});
        ChildResult process;
        const json reply = runOn(folder.path(), process);
        EXPECT_EQ(process.exitStatus, 0) << "signal " << process.signal << "\n" << process.out;
        EXPECT_EQ(process.err, "");
        ASSERT_TRUE(reply.is_object()) << process.out;
        const std::string availability = reply.value("availability", "");
        EXPECT_EQ(availability.rfind("unavailable(modelInvalid: ", 0), 0u) << availability;
        EXPECT_NE(availability.find(broken.key), std::string::npos) << availability;
        EXPECT_EQ(reply.value("status", ""), "error");
        EXPECT_EQ(reply.value("errorType", ""), "rewrite_runner.Run.ProbeError");
    }
}

TEST(BrokenModelTest, UnusualButValidSettingsStillServe)
{
    // One layer, per-layer head counts, a zero epsilon, an explicitly named scaling and a
    // negative value of a setting the runtime does not know.
    TemporaryFolder folder;
    makeTinyModel(folder.path(),
                  {"--layers", "1", "--set", "llama.block_count=u32:1", "--set", "llama.attention.head_count=u32s:4",
                   "--set", "llama.attention.head_count_kv=u32s:2", "--set",
                   "llama.attention.layer_norm_rms_epsilon=f32:0", "--set", "llama.rope.scaling.type=str:linear",
                   "--set", "llama.attention.logit_offset=f32:-1"});
    ChildResult process;
    const json reply = runOn(folder.path(), process);
    EXPECT_EQ(process.exitStatus, 0);
    EXPECT_EQ(reply.value("availability", ""), "available") << process.out;
    EXPECT_EQ(reply.value("status", ""), "generated") << process.out;
}

} // namespace
} // namespace kivo::test
