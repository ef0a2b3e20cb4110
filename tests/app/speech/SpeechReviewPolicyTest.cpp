#include "app/speech/SpeechReviewPolicy.h"

#include <gtest/gtest.h>

namespace kivo {
namespace {

using Reason = SpeechReviewPolicy::Reason;

std::optional<Reason> reason(const char* text)
{
    return SpeechReviewPolicy::reason(text);
}

TEST(SpeechReviewPolicy, NothingButSpaceAndPunctuationIsEmpty)
{
    EXPECT_EQ(reason(""), Reason::empty);
    EXPECT_EQ(reason(" \n\t\u3000"), Reason::empty);
    EXPECT_EQ(reason("，。！？…「」 ..."), Reason::empty);
    EXPECT_EQ(reason("\U00010100 \U00010101"), Reason::empty); // punctuation beyond the BMP
}

TEST(SpeechReviewPolicy, DigitsOfAnyScriptOrChineseNumeralsAloneAreNumbers)
{
    EXPECT_EQ(reason("１２３"), Reason::numbersOnly);
    EXPECT_EQ(reason("1,234"), Reason::numbersOnly);
    EXPECT_EQ(reason("٣٤"), Reason::numbersOnly);
    EXPECT_EQ(reason("\U0001D7CF\U0001D7D0"), Reason::numbersOnly); // digits beyond the BMP
    EXPECT_EQ(reason("\U0001D7CF\U0001D400"), std::nullopt);
    EXPECT_EQ(reason("二千零五"), Reason::numbersOnly);
    EXPECT_EQ(reason("三點五"), Reason::numbersOnly);
    EXPECT_EQ(reason("兩萬 三千。"), Reason::numbersOnly);
    // Mixed forms are neither rule.
    EXPECT_EQ(reason("3千"), std::nullopt);
    EXPECT_EQ(reason("三個"), std::nullopt);
    EXPECT_EQ(reason("½"), std::nullopt);
}

TEST(SpeechReviewPolicy, HesitationSoundsAloneInAnyLetterCase)
{
    EXPECT_EQ(reason("嗯嗯"), Reason::hesitationOnly);
    EXPECT_EQ(reason("Um uh"), Reason::hesitationOnly);
    EXPECT_EQ(reason("ER, UM..."), Reason::hesitationOnly);
    EXPECT_EQ(reason("呃，啊"), Reason::hesitationOnly);
    EXPECT_EQ(reason("嗯，嗯。"), Reason::hesitationOnly);
    EXPECT_EQ(reason("嗯好"), std::nullopt);
    EXPECT_EQ(reason("umbrella"), std::nullopt);
    EXPECT_EQ(reason("u"), std::nullopt);
    EXPECT_EQ(reason("今日好熱"), std::nullopt);
}

TEST(SpeechReviewPolicy, RawValuesAreTheCaseNames)
{
    EXPECT_EQ(SpeechReviewPolicy::rawValue(Reason::numbersOnly), "numbersOnly");
    EXPECT_EQ(SpeechReviewPolicy::reasonFromRawValue("hesitationOnly"), Reason::hesitationOnly);
    EXPECT_EQ(SpeechReviewPolicy::reasonFromRawValue("Empty"), std::nullopt);
}

} // namespace
} // namespace kivo
