#include "TempResources.h"

#include "app/conversion/LiteralMasking.h"
#include "app/conversion/OutputMode.h"
#include "app/conversion/ResourceFile.h"
#include "app/conversion/WrittenChinesePreparation.h"

#include <gtest/gtest.h>

using namespace kivo;

namespace {

std::string readShipped(const std::string& name)
{
    return ResourceFile::readText(KIVO_RESOURCES_DIR, name);
}

OutputMode::InputError::Code inputFailure(OutputMode mode, const std::string& source)
{
    try {
        mode.request(source, KIVO_RESOURCES_DIR);
    } catch (const OutputMode::InputError& error) {
        return error.reason();
    }
    ADD_FAILURE() << "no InputError for " << source.substr(0, 40);
    return OutputMode::InputError::Code::invalidSelection;
}

} // namespace

TEST(CantoneseAndEnglishRequests, CarryMaskedUntrimmedSourceAndTheNoteOnlyWithSpans)
{
    const OutputMode cantonese = *OutputMode::fromModeName("cantonese");
    const auto plain = cantonese.request("  你好嗎\n", KIVO_RESOURCES_DIR);
    EXPECT_EQ(plain.request, (RewriteRequest{"  你好嗎\n", "zh-HK", "zh-HK", readShipped("floating-cantonese.txt"),
                                             "只輸出處理後的正文。"}));
    EXPECT_TRUE(plain.spans.empty());

    const auto english = OutputMode::fromModeName("english")->request("用iPad睇「OK」", KIVO_RESOURCES_DIR);
    EXPECT_EQ(english.request.locale, "en-US");
    EXPECT_EQ(english.request.sourceLocale, "zh-HK");
    // Quotations are not protected in these modes: only the literal inside is.
    EXPECT_EQ(english.request.source, "用⟦KIVO7_0⟧睇「⟦KIVO7_1⟧」");
    EXPECT_EQ(english.request.instructions,
              readShipped("floating-english.txt") + std::string(LiteralMasking::protectedLiteralNote));
    EXPECT_EQ(english.spans, (std::vector<LiteralMasking::Span>{{"⟦KIVO7_0⟧", "iPad"}, {"⟦KIVO7_1⟧", "OK"}}));
}

TEST(WrittenRequests, AreIdenticalForBothWrittenModesAndAssembleInstructionsInOrder)
{
    const std::string source = "佢話「OK 啦」，聽日上午用Zoom開會";
    const auto written = OutputMode::fromModeName("written")->request(source, KIVO_RESOURCES_DIR);
    const auto simplified = OutputMode::fromModeName("simplified")->request(source, KIVO_RESOURCES_DIR);
    EXPECT_EQ(written.request, simplified.request);
    EXPECT_EQ(written.spans, simplified.spans);
    EXPECT_EQ(written.request.source, "佢話⟦KIVO7_0⟧，明日上午用⟦KIVO7_1⟧開會");
    EXPECT_EQ(written.spans, (std::vector<LiteralMasking::Span>{{"⟦KIVO7_0⟧", "「OK 啦」"}, {"⟦KIVO7_1⟧", "Zoom"}}));
    EXPECT_EQ(written.normalizedSource, "佢話「OK 啦」，明日上午用Zoom開會");
    EXPECT_EQ(written.phraseChanges, (std::vector<PhraseChange>{{"聽日上午", "明日上午", 9}}));
    EXPECT_EQ(written.request.locale, "zh-TW");
    EXPECT_EQ(written.request.taskPrefix, OutputMode::writtenTaskPrefix);

    const std::string& instructions = written.request.instructions;
    const std::string head =
        readShipped("floating-written-base.txt") + std::string(LiteralMasking::protectedLiteralNote) + "\n\n粵語：";
    const std::string tail = "\n" + readShipped("floating-written.txt");
    ASSERT_GE(instructions.size(), head.size() + tail.size());
    EXPECT_EQ(instructions.substr(0, head.size()), head);
    EXPECT_EQ(instructions.substr(instructions.size() - tail.size()), tail);
}

TEST(WrittenRequests, MaskEachShippedExampleOnItsOwn)
{
    const auto request = WrittenChinesePreparation::request("用Zoom開會", KIVO_RESOURCES_DIR, "v8-base.txt", false);
    const std::string& instructions = request.request.instructions;
    // Numbering restarts in every example, and a literal on both sides shares its token.
    EXPECT_NE(instructions.find("粵語：我啱啱用⟦KIVO7_0⟧影咗幾張相，好清楚。\n書面語：我剛剛用⟦KIVO7_0⟧拍了幾張照片"),
              std::string::npos);
    // Example sources are normalized too.
    EXPECT_NE(instructions.find("粵語：麻煩你寫下個⟦KIVO7_0⟧地址"), std::string::npos);
    EXPECT_EQ(request.request.taskPrefix, "將以下來源轉成貼近原句的日常繁體書面語；保留每個不可改動片段。");

    const auto unmasked = WrittenChinesePreparation::request("今日好攰", KIVO_RESOURCES_DIR, "v8-base.txt", false);
    EXPECT_NE(unmasked.request.instructions.find("書面語：我剛剛用iPhone 15 Pro拍了幾張照片"), std::string::npos);
    EXPECT_EQ(unmasked.request.instructions.find("⟦KIVO7_"), std::string::npos);
    EXPECT_EQ(unmasked.request.taskPrefix, "將以下來源轉成貼近原句的日常繁體書面語。");
}

TEST(Requests, EnforceTheSizeLimitInUtf8Bytes)
{
    for (const auto mode : OutputMode::all()) {
        // 8000 Chinese characters are exactly 24,000 bytes.
        std::string limit;
        for (int i = 0; i < 8000; ++i) {
            limit += "好";
        }
        EXPECT_NO_THROW(mode.request(limit, KIVO_RESOURCES_DIR)) << mode.modeName();
        EXPECT_EQ(inputFailure(mode, limit + "a"), OutputMode::InputError::Code::emptyOrTooLong);
        EXPECT_EQ(inputFailure(mode, " \n\t\u3000"), OutputMode::InputError::Code::emptyOrTooLong);
    }
}

TEST(Requests, PassResourceAndProtectionFailuresThroughWhole)
{
    TempResources resources;
    const OutputMode written = *OutputMode::fromModeName("written");

    resources.write("v8-examples.json", R"([{"source":"用Mac","text":"使用PC"}])");
    try {
        written.request("用iPad", resources.path());
        FAIL() << "example literals that differ must fail";
    } catch (const LiteralMasking::ProtectionError& error) {
        EXPECT_EQ(error.reason(), LiteralMasking::ProtectionError::Code::literalMismatch);
    }
    // Without spans in the source the examples are not masked, so the same file passes.
    EXPECT_NO_THROW(written.request("今日好攰", resources.path()));

    resources.write("v8-examples.json", R"([{"source":"好"}])");
    try {
        written.request("今日好攰", resources.path());
        FAIL() << "an example without text must fail";
    } catch (const ResourceFile::Error& error) {
        EXPECT_EQ(error.reason(), ResourceFile::Error::Code::badFormat);
        EXPECT_NE(error.localizedDescription().find("v8-examples.json"), std::string::npos);
    }
    resources.write("v8-examples.json", R"([{"source":"  ","text":"好"}])");
    EXPECT_THROW(written.request("今日好攰", resources.path()), WrittenChinesePreparation::PreparationError);

    resources.write("v8-examples.json", "[]");
    resources.remove("floating-written.txt");
    try {
        written.request("今日好攰", resources.path());
        FAIL() << "a missing instruction file must fail";
    } catch (const ResourceFile::Error& error) {
        EXPECT_EQ(error.reason(), ResourceFile::Error::Code::noSuchFile);
    }
    resources.write("floating-english.txt", "bad \xFF utf8");
    EXPECT_THROW(OutputMode::fromModeName("english")->request("好", resources.path()), ResourceFile::Error);

    EXPECT_THROW(OutputMode::fromModeName("cantonese")->request("⟦KIVO7_0⟧", KIVO_RESOURCES_DIR),
                 LiteralMasking::ProtectionError);
}

TEST(Requests, ShippedResourcesAreComplete)
{
    for (const char* name : {"floating-written-base.txt", "floating-written.txt", "floating-cantonese.txt",
                             "floating-english.txt", "v8-base.txt", "v6-base.txt"}) {
        EXPECT_FALSE(readShipped(name).empty()) << name;
    }
    // Every shipped example protects the same literals on both sides, or every request with a
    // literal would fail.
    for (const auto mode : OutputMode::all()) {
        EXPECT_NO_THROW(mode.request("用iPhone 15 Pro打俾9123 4567同「佢」講", KIVO_RESOURCES_DIR));
    }
}

// The limit measures the source as given: whitespace around it counts.
TEST(Requests, MeasureTheSizeLimitBeforeTrimming)
{
    const std::string padded = " " + std::string(23999, 'a') + "\n";
    for (const auto mode : OutputMode::all()) {
        EXPECT_EQ(inputFailure(mode, padded), OutputMode::InputError::Code::emptyOrTooLong) << mode.modeName();
    }
    EXPECT_THROW(WrittenChinesePreparation::normalize(padded), WrittenChinesePreparation::PreparationError);
    EXPECT_NO_THROW(WrittenChinesePreparation::normalize(padded.substr(1)));
}

// Opening succeeds and reading fails, even for root: the error names the file.
TEST(Requests, ReportAResourceThatCannotBeReadAsNotReadable)
{
    TempResources resources;
    resources.remove("floating-cantonese.txt");
    std::filesystem::create_symlink("/proc/self/mem", resources.path() / "floating-cantonese.txt");
    try {
        OutputMode::fromModeName("cantonese")->request("你好", resources.path());
        ADD_FAILURE() << "read";
    } catch (const ResourceFile::Error& error) {
        EXPECT_EQ(error.reason(), ResourceFile::Error::Code::notReadable);
        EXPECT_EQ(error.path(), resources.path() / "floating-cantonese.txt");
    }
}
