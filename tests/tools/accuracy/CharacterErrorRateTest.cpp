// The error rate counts only the words: what the published Cantonese figures ignore is folded.
#include "tools/accuracy/CharacterErrorRate.h"

#include <gtest/gtest.h>

namespace kivo {
namespace {

TEST(CharacterErrorRateTest, PunctuationSpacesWidthCaseAndScriptDoNotCount)
{
    for (const auto& [reference, recognised] :
         std::vector<std::pair<std::string, std::string>>{{"今日天氣好好。", "今日天气好好"},
                                                          {"我用 iPhone，好方便！", "我用IPHONE好方便"},
                                                          {"ＡＢＣ１２３", "abc 123"},
                                                          {"頭髮發展", "头发发展"},
                                                          {"「你好」", "你好"}}) {
        const auto cer = CharacterErrorRate::between(reference, recognised);
        EXPECT_EQ(cer.edits, 0u) << reference << " / " << recognised;
        EXPECT_EQ(cer.rate(), 0.0);
    }
    EXPECT_EQ(CharacterErrorRate::normalized("Hello, 世界!"), "hello世界");
}

TEST(CharacterErrorRateTest, SubstitutionsInsertionsAndDeletionsCountPerCharacterOfTheReference)
{
    // 哋 heard as 地: one substitution in five characters.
    auto cer = CharacterErrorRate::between("我哋去飲茶", "我地去飲茶");
    EXPECT_EQ(cer.edits, 1u);
    EXPECT_EQ(cer.referenceLength, 5u);
    EXPECT_DOUBLE_EQ(cer.rate(), 0.2);
    // One character dropped and two added.
    cer = CharacterErrorRate::between("我哋去飲茶", "我去飲茶啦啦");
    EXPECT_EQ(cer.edits, 3u);
    // Nothing recognised: every reference character is an error.
    cer = CharacterErrorRate::between("唔該", "");
    EXPECT_EQ(cer.edits, 2u);
    EXPECT_DOUBLE_EQ(cer.rate(), 1.0);
    // Text where silence was expected counts against an empty reference.
    EXPECT_EQ(CharacterErrorRate::between("", "").rate(), 0.0);
    EXPECT_EQ(CharacterErrorRate::between("。", "多謝").rate(), 2.0);
}

} // namespace
} // namespace kivo
