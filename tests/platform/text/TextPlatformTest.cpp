#include "platform/json/JsonText.h"
#include "platform/text/CharacterClass.h"
#include "platform/text/Graphemes.h"
#include "platform/text/Regex.h"
#include "platform/text/ScriptTransform.h"
#include "platform/text/TextError.h"
#include "platform/text/Utf16.h"
#include "platform/text/Utf8Text.h"

#include <gtest/gtest.h>

using namespace kivo;

TEST(Utf16, RoundTripsAndRejectsMalformedUtf8)
{
    const std::string text = "粵語 😀 abc";
    const std::u16string utf16 = Utf16::fromUtf8(text);
    EXPECT_EQ(utf16.size(), 2u + 1 + 2 + 1 + 3);
    EXPECT_EQ(Utf16::toUtf8(utf16), text);

    EXPECT_FALSE(Utf16::isValidUtf8("\xC3\x28"));
    EXPECT_FALSE(Utf16::isValidUtf8("abc\xE6\x97"));
    EXPECT_THROW(Utf16::fromUtf8("abc\xFF"), TextError);
    EXPECT_THROW(Utf16::toUtf8(u"\xD800"), TextError);
}

TEST(Graphemes, BoundariesFollowUserPerceivedCharacters)
{
    // e + combining acute, a flag (two regional indicators), CR LF, an emoji.
    const std::u16string text = Utf16::fromUtf8("e\u0301\U0001F1ED\U0001F1F0\r\n😀");
    EXPECT_EQ(Graphemes::boundaries(text), (std::vector<std::int64_t>{0, 2, 6, 8, 10}));
    EXPECT_FALSE(Graphemes::isBoundary(text, 1)); // inside e + accent
    EXPECT_FALSE(Graphemes::isBoundary(text, 4)); // between the two flag halves
    EXPECT_FALSE(Graphemes::isBoundary(text, 7)); // between CR and LF
    EXPECT_FALSE(Graphemes::isBoundary(text, 9)); // inside the surrogate pair
    EXPECT_TRUE(Graphemes::isBoundary(text, 10));
    EXPECT_EQ(Graphemes::boundaries(u""), (std::vector<std::int64_t>{0}));
}

TEST(CharacterClass, UsesUnicodeWhitespaceAndPunctuation)
{
    EXPECT_TRUE(CharacterClass::isWhitespaceOrNewline(U'\u3000')); // ideographic space
    EXPECT_TRUE(CharacterClass::isWhitespaceOrNewline(U'\u2028'));
    EXPECT_FALSE(CharacterClass::isWhitespaceOrNewline(U'\u200B')); // zero width space is not
    EXPECT_TRUE(CharacterClass::isPunctuation(U'，'));
    EXPECT_TRUE(CharacterClass::isPunctuation(U'「'));
    EXPECT_FALSE(CharacterClass::isPunctuation(U'+')); // a symbol, not punctuation
    EXPECT_TRUE(CharacterClass::isLetterOrNumber(U'粵'));
    EXPECT_TRUE(CharacterClass::isLetterOrNumber(U'Ⅻ'));
    EXPECT_FALSE(CharacterClass::isLetterOrNumber(U'！'));
    EXPECT_TRUE(CharacterClass::isDecimalDigit(U'５'));

    EXPECT_EQ(CharacterClass::trimWhitespaceAndNewlines(u"\u3000 \n 你好 \t\r\n"), u"你好");
    EXPECT_EQ(CharacterClass::trimWhitespaceAndNewlines(u" \n\u3000"), u"");
    EXPECT_TRUE(CharacterClass::isBlank(" \n\u3000"));
    EXPECT_FALSE(CharacterClass::isBlank(" \xFF ")) << "ill-formed text is not blank";
}

TEST(Regex, ReportsUtf16RangesAndAnchoredMatches)
{
    const Regex regex{"[a-z]+"};
    const std::u16string text = Utf16::fromUtf8("😀ab粵cd");
    EXPECT_EQ(regex.findAll(text), (std::vector<TextRange>{{2, 2}, {5, 2}}));
    auto matcher = regex.matcher(text);
    EXPECT_EQ(matcher.matchAt(5), (TextRange{5, 2}));
    EXPECT_FALSE(matcher.matchAt(4).has_value());
    // A pattern that can match nothing: only a match of some length counts at a position.
    const Regex optional{"[a-z]*"};
    auto emptyOrMore = optional.matcher(text);
    EXPECT_EQ(emptyOrMore.matchAt(2), (TextRange{2, 2}));
    EXPECT_FALSE(emptyOrMore.matchAt(4).has_value());
    EXPECT_FALSE(emptyOrMore.matchAt(7).has_value());
    EXPECT_TRUE(regex.search(text));
    EXPECT_THROW(Regex{"(unclosed"}, TextError);
}

TEST(ScriptTransform, ConvertsToSimplifiedAndTurnsCornerBracketsIntoQuotes)
{
    const auto simplified = ScriptTransform::traditionalToSimplified(Utf16::fromUtf8("書面語「對」"));
    ASSERT_TRUE(simplified.has_value());
    EXPECT_EQ(Utf16::toUtf8(*simplified), "书面语“对”");
}

TEST(JsonText, WritesCompactSortedUtf8WithEscapedSlashes)
{
    const nlohmann::json value = {{"b", "a/b"}, {"a", {{"z", 1}, {"y", "粵"}}}};
    EXPECT_EQ(JsonText::compact(value), R"({"a":{"y":"粵","z":1},"b":"a\/b"})");
    EXPECT_THROW(JsonText::compact(nlohmann::json("\xFF")), nlohmann::json::type_error);
}

// The walk decides what the recogniser, the model reply and the runner's writer treat as
// ill-formed; the runner has always written one U+FFFD per ill-formed byte.
TEST(Utf8Text, WalksCodePointsAndIllFormedSequences)
{
    const std::string text = "a\xC3\xA9\xE4\xBD\xF0\x9F\x98\x80\xFF";
    const auto points = Utf8Text::codePoints(text);
    ASSERT_EQ(points.size(), 5u);
    EXPECT_EQ(points[0].value, 'a');
    EXPECT_EQ(points[1].value, 0xE9);
    EXPECT_EQ(points[1].begin, 1u);
    EXPECT_EQ(points[1].length, 2u);
    EXPECT_FALSE(points[2].wellFormed());
    EXPECT_EQ(points[2].begin, 3u);
    EXPECT_EQ(points[2].length, 2u);
    EXPECT_EQ(points[3].value, 0x1F600);
    EXPECT_EQ(points[3].length, 4u);
    EXPECT_FALSE(points[4].wellFormed());
    EXPECT_EQ(points[4].begin, 9u);
    EXPECT_TRUE(Utf8Text::codePoints("").empty());

    EXPECT_EQ(Utf8Text::wellFormed(text), "a\xC3\xA9\xF0\x9F\x98\x80");
    EXPECT_EQ(Utf8Text::sanitized(text), "a\xC3\xA9\uFFFD\uFFFD\xF0\x9F\x98\x80\uFFFD");
    // Overlong forms and surrogates are ill-formed byte by byte.
    EXPECT_EQ(Utf8Text::sanitized("\xC0\xAF\xED\xA0\x80"), "\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD");
    EXPECT_EQ(Utf8Text::wellFormed("\xED\xA0\x80x"), "x");
}
