// rewrite-runner --prepare: keeps exactly the state a conversion would keep, without the source,
// and answers like any other run.
#include "tests/runner/KeptStateFolder.h"

#include <chrono>
#include <memory>
#include <thread>

namespace kivo::test {
namespace {

using nlohmann::json;

class PrepareRunTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { model = std::make_unique<TinyModelHome>(); }
    static void TearDownTestSuite() { model.reset(); }
    static std::unique_ptr<TinyModelHome> model;
};
std::unique_ptr<TinyModelHome> PrepareRunTest::model;

TEST_F(PrepareRunTest, AConversionAfterAPreparationReadsTheKeptStateAndAnswersTheSame)
{
    TemporaryFolder uncached;
    for (const json& task : {json(nullptr), json("將以下來源轉成書面語。")}) {
        SCOPED_TRACE(task.dump());
        MemoryFolder runtime;
        ASSERT_FALSE(runtime.path().empty()) << "no tmpfs at /dev/shm";

        // The app sends a stand-in; a real text here must not reach the kept state either.
        const json prepared = runKeeping(request("阿明聽日返工。", task).dump(), model->path(), runtime.path(), true);
        EXPECT_EQ(prepared.value("status", ""), "prepared") << prepared.dump();
        EXPECT_GT(prepared.value("prefixTokens", 0), 0);
        EXPECT_EQ(prepared.value("availability", ""), "available");
        for (const char* key : {"text", "rawStructuredOutput", "outputTokens", "error", "reason"}) {
            EXPECT_FALSE(prepared.contains(key)) << key;
        }
        const auto kept = keptEntries(runtime.path());
        ASSERT_EQ(kept.size(), 1u);
        const std::string bytes = fileContents(kept[0]);
        EXPECT_EQ(bytes.find("阿明"), std::string::npos);
        EXPECT_EQ(bytes.find("返工"), std::string::npos);
        const auto written = std::filesystem::last_write_time(kept[0]);

        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        const std::string conversion = request("落雨就唔去。", task).dump();
        const json reply = runKeeping(conversion, model->path(), runtime.path(), false);
        EXPECT_EQ(reply.value("status", ""), "generated") << reply.dump();
        EXPECT_EQ(reply, runKeeping(conversion, model->path(), uncached.path(), false));
        EXPECT_EQ(keptEntries(runtime.path()).size(), 1u) << "the conversion found the prepared state";
        EXPECT_EQ(std::filesystem::last_write_time(kept[0]), written) << "and read it rather than rewrote it";

        // Preparing again finds the state and leaves it alone.
        EXPECT_EQ(runKeeping(request("好", task).dump(), model->path(), runtime.path(), true), prepared);
        EXPECT_EQ(std::filesystem::last_write_time(kept[0]), written);
    }
}

TEST_F(PrepareRunTest, NothingIsKeptWithoutAMemoryBackedFolderOrAModel)
{
    TemporaryFolder disk;
    const std::string input = request("好", "將以下來源轉成書面語。").dump();
    const json onDisk = runKeeping(input, model->path(), disk.path(), true);
    EXPECT_EQ(onDisk.value("status", ""), "unprepared") << onDisk.dump();
    EXPECT_FALSE(onDisk.value("reason", "").empty());
    EXPECT_FALSE(onDisk.contains("prefixTokens"));
    EXPECT_EQ(runKeeping(input, model->path(), disk.path(), false).value("status", ""), "generated");
    EXPECT_TRUE(keptEntries(disk.path()).empty());

    MemoryFolder runtime;
    ASSERT_FALSE(runtime.path().empty()) << "no tmpfs at /dev/shm";
    TemporaryFolder noModel;
    const json missing = runKeeping(input, noModel.path(), runtime.path(), true);
    EXPECT_EQ(missing.value("status", ""), "error");
    EXPECT_EQ(missing.value("availability", "").rfind("unavailable(modelNotFound: ", 0), 0u) << missing.dump();
    EXPECT_EQ(missing, runKeeping(input, noModel.path(), runtime.path(), false)) << "the reply a conversion gets";
    EXPECT_TRUE(keptEntries(runtime.path()).empty());
}

TEST_F(PrepareRunTest, MalformedRequestsGetTheSameErrorAsAConversion)
{
    MemoryFolder runtime;
    ASSERT_FALSE(runtime.path().empty()) << "no tmpfs at /dev/shm";
    json missing = request("好", nullptr);
    missing.erase("instructions");
    json wrongType = request("好", nullptr);
    wrongType["locale"] = 7;
    for (const std::string& input :
         {std::string(), std::string("{\"source\":"), std::string("[1]"), missing.dump(), wrongType.dump()}) {
        SCOPED_TRACE(input);
        const json reply = runKeeping(input, model->path(), runtime.path(), true);
        EXPECT_EQ(reply.value("status", ""), "error");
        EXPECT_EQ(reply.value("errorType", ""), "rewrite_runner.DecodingError");
        EXPECT_EQ(reply, runKeeping(input, model->path(), runtime.path(), false));
    }
    EXPECT_TRUE(keptEntries(runtime.path()).empty());
}

} // namespace
} // namespace kivo::test
