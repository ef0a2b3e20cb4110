#include "app/conversion/WrittenChinesePreparation.h"
#include "platform/text/Regex.h"
#include "platform/text/Utf16.h"

#include <gtest/gtest.h>

#include <random>

using namespace kivo;
using WrittenChinesePreparation::Change;

namespace {

std::string normalized(const std::string& text)
{
    return WrittenChinesePreparation::normalize(text).text;
}

} // namespace

TEST(PhraseNormalization, RewritesRulePhrasesAndRecordsUtf16Locations)
{
    const auto meeting = WrittenChinesePreparation::normalize("聽日上晝開會");
    EXPECT_EQ(meeting.text, "明日上午開會");
    EXPECT_EQ(meeting.changes, (std::vector<Change>{{"聽日上晝", "明日上午", 0}}));

    // The three-character rule wins at 請 and consumes the 寫低.
    const auto write = WrittenChinesePreparation::normalize("我想請寫低個電話");
    EXPECT_EQ(write.text, "我想請寫下個電話");
    EXPECT_EQ(write.changes, (std::vector<Change>{{"請寫低", "請寫下", 2}}));

    // An emoji counts two UTF-16 units.
    const auto emoji = WrittenChinesePreparation::normalize("😀會遲少少");
    EXPECT_EQ(emoji.text, "😀會晚一點");
    EXPECT_EQ(emoji.changes, (std::vector<Change>{{"會遲少少", "會晚一點", 2}}));

    const auto none = WrittenChinesePreparation::normalize("今日天氣好好");
    EXPECT_EQ(none.text, "今日天氣好好");
    EXPECT_TRUE(none.changes.empty());
}

TEST(PhraseNormalization, BareWriteRuleOnlyAtSentenceStart)
{
    EXPECT_EQ(normalized("寫低佢。寫低個地址"), "寫下佢。寫下個地址");
    EXPECT_EQ(normalized("好。 \t寫低佢"), "好。 \t寫下佢");
    EXPECT_EQ(normalized("第一行\n寫低佢"), "第一行\n寫下佢");
    EXPECT_EQ(normalized("你寫低佢"), "你寫低佢");
    EXPECT_EQ(WrittenChinesePreparation::normalize("寫低佢", WrittenChinesePreparation::rules(), false).text, "寫低佢");
}

TEST(PhraseNormalization, LeavesProtectedRegionsAlone)
{
    EXPECT_EQ(normalized("佢話「聽日上午」得"), "佢話「聽日上午」得");
    EXPECT_EQ(normalized("用 `會遲少少` 做例子，聽日上午見"), "用 `會遲少少` 做例子，明日上午見");
    EXPECT_EQ(normalized("《聽日下午》同〈會遲少少〉"), "《聽日下午》同〈會遲少少〉");
    EXPECT_EQ(normalized("```\n請寫低\n```請寫低"), "```\n請寫低\n```請寫下");
    EXPECT_EQ(normalized("睇 https://x.hk/聽日上午 。聽日上午"), "睇 https://x.hk/聽日上午 。明日上午");
    // Unclosed forms protect everything after them.
    EXPECT_EQ(normalized("聽日上午「開會，聽日下午見"), "明日上午「開會，聽日下午見");
    EXPECT_EQ(normalized("'聽日上午"), "'聽日上午");
    // A rule phrase that only touches a region's edge is still rewritten.
    EXPECT_EQ(normalized("「好」聽日上午"), "「好」明日上午");
    // One that runs into a region opening inside it is not, also right where another region ends.
    const std::vector<WrittenChinesePreparation::Rule> quote{{"a'b", "X"}};
    EXPECT_EQ(WrittenChinesePreparation::normalize("a'b'", quote, false).text, "a'b'");
    EXPECT_EQ(WrittenChinesePreparation::normalize("「q」a'b'", quote, false).text, "「q」a'b'");
}

TEST(PhraseNormalization, MatchesWholeCharactersAndLongestRulesFirst)
{
    // A combining mark after the phrase makes its last character a different one.
    EXPECT_EQ(normalized("請寫低\u0301"), "請寫低\u0301");
    // Rules of the same length keep their given order: the first of two equal phrases wins.
    const std::vector<WrittenChinesePreparation::Rule> rules{{"ab", "X"}, {"abc", "Y"}, {"", "never"}, {"ab", "Z"}};
    const auto result = WrittenChinesePreparation::normalize("abcab", rules, false);
    EXPECT_EQ(result.text, "YX");
    EXPECT_EQ(result.changes, (std::vector<Change>{{"abc", "Y", 0}, {"ab", "X", 3}}));
}

TEST(PhraseNormalization, RejectsEmptyAndOversizedSources)
{
    EXPECT_THROW(WrittenChinesePreparation::normalize(" \n\u3000"), WrittenChinesePreparation::PreparationError);
    EXPECT_THROW(WrittenChinesePreparation::normalize(std::string(24001, 'a')),
                 WrittenChinesePreparation::PreparationError);
    EXPECT_NO_THROW(WrittenChinesePreparation::normalize(std::string(24000, 'a')));
}

// The linear scan must find exactly the regions a plain search with the pattern finds.
TEST(ProtectedRegions, MatchPlainSearchOnRandomText)
{
    const std::vector<std::string> alphabet{"\"",      "\\", "\n", "\r", "`",  "```", "「",     "」", "『",
                                            "』",      "《", "》", "〈", "〉", "“",   "”",      "'",  "http://",
                                            "https:/", "h",  "a",  " ",  "，", "中",  "\u2028", "😀"};
    const Regex plain{WrittenChinesePreparation::protectedRegionPattern};
    std::mt19937 random(11);
    for (int round = 0; round < 5000; ++round) {
        std::string text;
        const int length = 1 + static_cast<int>(random() % 30);
        for (int i = 0; i < length; ++i) {
            text += alphabet[random() % alphabet.size()];
        }
        const std::u16string utf16 = Utf16::fromUtf8(text);
        ASSERT_EQ(WrittenChinesePreparation::protectedRegions(utf16), plain.findAll(utf16)) << text;
    }
}

TEST(ProtectedRegions, UnterminatedEscapeRunsDoNotHideLaterQuotes)
{
    // The first quote fails at the backslash before the line break; the quote after it is fresh.
    const std::u16string text = Utf16::fromUtf8("\"a\\\"b\\\n\"c\" d");
    const Regex plain{WrittenChinesePreparation::protectedRegionPattern};
    EXPECT_EQ(WrittenChinesePreparation::protectedRegions(text), plain.findAll(text));
    EXPECT_EQ(WrittenChinesePreparation::protectedRegions(text), (std::vector<TextRange>{{7, 3}}));

    // Only quotes inside such a run are skipped: other openers in it still start their regions.
    for (const char* other : {"「a」", "`a`", "'a'", "“a”"}) {
        const std::u16string inside = Utf16::fromUtf8(std::string("\"") + other + "\\");
        EXPECT_EQ(WrittenChinesePreparation::protectedRegions(inside), (std::vector<TextRange>{{1, 3}})) << other;
    }
    EXPECT_EQ(normalized("\"「聽日上午」\\\n"), "\"「聽日上午」\\\n");
}
