// OpenCC's real dictionaries: Hong Kong forms, one-to-many characters chosen by the phrase,
// and what must pass through untouched.
#include "platform/chinesescript/ChineseScriptConverter.h"
#include "app/speech/HongKongTranscript.h"

#include <gtest/gtest.h>

namespace kivo {
namespace {

const ChineseScriptConverter& toHongKong()
{
    return ChineseScriptConverter::shared(ChineseScriptConverter::Direction::toHongKong);
}

TEST(ChineseScriptConverterTest, SimplifiedAndMixedTextBecomesHongKongTraditional)
{
    EXPECT_EQ(toHongKong().convert("我哋听日去睇戏"), "我哋聽日去睇戲");
    // Already Traditional text, Cantonese characters included, stays as it is: 晒 is not 曬
    // and 搵 not 揾 here, whatever the Simplified tables say.
    EXPECT_EQ(toHongKong().convert("呢個係乜嘢？唔該晒。搵佢啲嘢咗冇嚟喺嗰度"),
              "呢個係乜嘢？唔該晒。搵佢啲嘢咗冇嚟喺嗰度");
    EXPECT_EQ(toHongKong().convert("晒太阳"), "晒太陽");
    // Mixed Simplified and Traditional in one sentence.
    EXPECT_EQ(toHongKong().convert("這個问题點樣解决"), "這個問題點樣解決");
}

TEST(ChineseScriptConverterTest, OneToManyCharactersFollowTheirPhrase)
{
    // 发 is 發 in 发展 but 髮 in 头发; 后 is 後 in 之后 but stays 后 in 皇后.
    EXPECT_EQ(toHongKong().convert("头发发展"), "頭髮發展");
    EXPECT_EQ(toHongKong().convert("之后见皇后"), "之後見皇后");
    // 面 for a face and 麪 (the Hong Kong form of 麵) for noodles.
    EXPECT_EQ(toHongKong().convert("食面条"), "食麪條");
    EXPECT_EQ(toHongKong().convert("见面"), "見面");
}

TEST(ChineseScriptConverterTest, LatinDigitsAndProtectedLiteralsPassThroughUnchanged)
{
    EXPECT_EQ(toHongKong().convert("用iPhone 15买3个Redis cache，OK?"), "用iPhone 15買3個Redis cache，OK?");
    // A literal the user gave keeps its characters even where the dictionary would change them.
    EXPECT_EQ(toHongKong().convert("同发哥讲发展", {"发哥"}), "同发哥講發展");
    // The longest literal wins where two start at the same place.
    EXPECT_EQ(toHongKong().convert("A后生后", {"A后", "A后生后"}), "A后生后");
    EXPECT_EQ(toHongKong().convert(""), "");
    // Malformed UTF-8 does not lose the text around it.
    const std::string broken = std::string("发\xE5") + "abc";
    EXPECT_NE(toHongKong().convert(broken).find("abc"), std::string::npos);
}

TEST(ChineseScriptConverterTest, HongKongTextFoldsToSimplifiedForComparison)
{
    const auto& toSimplified = ChineseScriptConverter::shared(ChineseScriptConverter::Direction::hongKongToSimplified);
    EXPECT_EQ(toSimplified.convert("頭髮發展，聽日見"), toSimplified.convert("头发发展，听日见"));
}

TEST(HongKongTranscriptTest, OnlyMandarinDecodingIsConvertedAndOnlyWhenWanted)
{
    EXPECT_TRUE(HongKongTranscript::applies("zh", true));
    EXPECT_FALSE(HongKongTranscript::applies("zh", false));
    EXPECT_FALSE(HongKongTranscript::applies("yue", true));
    EXPECT_FALSE(HongKongTranscript::applies("", true));
}

TEST(HongKongTranscriptTest, RunsConvertAsOneTextAndKeepTheirConfidences)
{
    TranscriptionResult result;
    // A phrase split across runs still converts as the phrase (头发 → 頭髮, not 頭發).
    result.runs = {{"我剪头", 0.9}, {"发，", 0.5}, {"Apple", 0.7}};
    result.alternatives = {"我剪头发"};
    HongKongTranscript::apply(result, {});
    ASSERT_EQ(result.runs.size(), 3u);
    EXPECT_EQ(result.runs[0].text, "我剪頭");
    EXPECT_EQ(result.runs[1].text, "髮，");
    EXPECT_EQ(result.runs[2].text, "Apple");
    EXPECT_EQ(result.runs[1].confidence, 0.5);
    EXPECT_EQ(result.alternatives[0], "我剪頭髮");
}

} // namespace
} // namespace kivo
