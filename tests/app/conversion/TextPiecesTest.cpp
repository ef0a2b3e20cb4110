// Long texts cut into pieces one conversion each can finish.
#include "app/conversion/TextPieces.h"
#include "app/conversion/ConversionPace.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numeric>

namespace kivo {
namespace {

std::size_t codePoints(const std::string& text)
{
    return static_cast<std::size_t>(
        std::count_if(text.begin(), text.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

// Every piece within the limit, and the pieces joined are the text byte for byte.
void expectWhole(const std::vector<std::string>& pieces, const std::string& text, std::size_t limit)
{
    EXPECT_EQ(std::accumulate(pieces.begin(), pieces.end(), std::string()), text);
    for (const auto& piece : pieces) {
        EXPECT_FALSE(piece.empty());
        EXPECT_LE(codePoints(piece), limit) << piece;
    }
}

TEST(TextPieces, AShortTextIsOnePieceUnchanged)
{
    for (const std::string text : {"", "今日天氣好。", "12345", "a\n\nb。"}) {
        EXPECT_EQ(TextPieces::split(text, 6), std::vector<std::string>{text}) << text;
    }
}

// Where a text settled so far may be cut for converting ahead: after its last whole sentence.
TEST(TextPieces, WholeSentencesEndAfterTheLastSentenceWithItsQuotesAndSpaces)
{
    const auto whole = [](const std::string& text) { return text.substr(0, TextPieces::wholeSentences(text)); };
    EXPECT_EQ(whole(""), "");
    EXPECT_EQ(whole("未講完"), "");
    EXPECT_EQ(whole("第一句。第二句！第三"), "第一句。第二句！");
    EXPECT_EQ(whole("佢話：「好。」　下一句"), "佢話：「好。」　");
    EXPECT_EQ(whole("Done. Next one"), "Done. ");
    EXPECT_EQ(whole("version 1.2 is out."), "") << "an ASCII stop counts only before a space";
    EXPECT_EQ(whole("第一行\n第二行"), "第一行\n");
    EXPECT_EQ(whole("完。"), "完。");
    EXPECT_EQ(whole("甲。乙。丙"), "甲。乙。") << "a one-character sentence right after another";
}

TEST(TextPieces, CutsAfterSentencesWithTheirQuotesAndSpaces)
{
    const std::string text = "佢話：「聽日見。」我哋再傾！好嗎？ OK. Fine";
    EXPECT_EQ(TextPieces::split(text, 14),
              (std::vector<std::string>{"佢話：「聽日見。」我哋再傾！", "好嗎？ OK. Fine"}));
    EXPECT_EQ(TextPieces::split(text, 12),
              (std::vector<std::string>{"佢話：「聽日見。」", "我哋再傾！好嗎？ OK.", " Fine"}));
    // A full stop inside a number or a name is no sentence's end.
    EXPECT_EQ(TextPieces::split("價錢係3.5蚊同v1.2版", 8), (std::vector<std::string>{"價錢係3.5蚊同", "v1.2版"}));

    // The latest sentence end within the limit, not the first.
    EXPECT_EQ(TextPieces::split("一。二。三。四五六七八九", 7).front(), "一。二。三。");
    // Repeated marks stay with their sentence.
    EXPECT_EQ(TextPieces::split("係咪？！真係？？再講", 6).front(), "係咪？！");
    // But never past the limit, not even for a closing quote.
    EXPECT_EQ(TextPieces::split("佢話「好。」再見嗎", 5), (std::vector<std::string>{"佢話「好。", "」再見嗎"}));
}

TEST(TextPieces, PrefersParagraphsUnlessTheyLeaveAFarShorterPiece)
{
    const std::string text = "第一段第一句。第一段第二句。\n\n第二段。";
    EXPECT_EQ(TextPieces::split(text, 18), (std::vector<std::string>{"第一段第一句。第一段第二句。\n\n", "第二段。"}));
    // A break right at the start would waste the piece: the sentence end is taken.
    const std::string early = "標題\n這是很長的一句話。然後還有更多文字在這裡";
    const auto pieces = TextPieces::split(early, 14);
    expectWhole(pieces, early, 14);
    EXPECT_EQ(pieces.front(), "標題\n這是很長的一句話。");
    // A break a third of the way in is still too early; one half the way is not.
    EXPECT_EQ(TextPieces::split("甲乙丙丁\n一二三四五六七八九十。後面還有很多很多字字字字", 20).front(),
              "甲乙丙丁\n一二三四五六七八九十。");
    EXPECT_EQ(TextPieces::split("甲乙丙丁戊己庚\n一二三四五六七。後面還有很多很多字字字字", 20).front(),
              "甲乙丙丁戊己庚\n");
}

TEST(TextPieces, ASentenceLongerThanTheLimitIsCutAtTheLimitOnACodePoint)
{
    const std::string text = "一二三四五六七八九十甲乙丙";
    EXPECT_EQ(TextPieces::split(text, 5), (std::vector<std::string>{"一二三四五", "六七八九十", "甲乙丙"}));
    EXPECT_EQ(TextPieces::split("ab", 0), (std::vector<std::string>{"a", "b"}));

    // A thousand characters of speech-like text, in every size of piece.
    std::string thousand;
    while (codePoints(thousand) < 1000) {
        thousand += "今日天氣幾好，我哋一齊去海邊行吓。之後去茶樓飲茶食點心！\n";
    }
    for (const std::size_t limit : {1u, 7u, 40u, 120u, 400u, 999u, 2000u}) {
        const auto pieces = TextPieces::split(thousand, limit);
        expectWhole(pieces, thousand, limit);
        if (limit >= 40) {
            for (std::size_t i = 0; i + 1 < pieces.size(); ++i) {
                EXPECT_TRUE(pieces[i].ends_with("\n") || pieces[i].ends_with("。") || pieces[i].ends_with("！"))
                    << limit << ": " << pieces[i];
            }
        }
    }
}

} // namespace
} // namespace kivo

namespace kivo {
namespace {

TEST(ConversionPace, PiecesFollowTheMeasuredPaceWithinBounds)
{
    ConversionPace pace;
    EXPECT_EQ(pace.pieceLimit(30.0), ConversionPace::defaultPiece);
    // Start-up dominated, broken or absurd measurements teach nothing.
    pace.observe(ConversionPace::shortestMeasured - 1, 9.0);
    pace.observe(400, 0.0);
    pace.observe(400, -1.0);
    pace.observe(400, std::nan(""));
    EXPECT_FALSE(pace.secondsPerCharacter());

    pace.observe(400, 20.0); // 0.05 s a character: half of 30 s is 300 characters
    EXPECT_EQ(pace.pieceLimit(30.0), 300u);
    pace.observe(ConversionPace::shortestMeasured, 2.0); // faster: the pace moves halfway
    EXPECT_DOUBLE_EQ(*pace.secondsPerCharacter(), 0.0375);
    EXPECT_EQ(pace.pieceLimit(30.0), 400u);
    pace.observe(100, 10.0); // slower: taken at once
    EXPECT_DOUBLE_EQ(*pace.secondsPerCharacter(), 0.1);
    EXPECT_EQ(pace.pieceLimit(30.0), 150u);

    pace.observe(100, 1000.0);
    EXPECT_EQ(pace.pieceLimit(30.0), ConversionPace::smallestPiece);
    ConversionPace fast;
    fast.observe(4000, 0.5);
    EXPECT_EQ(fast.pieceLimit(30.0), ConversionPace::largestPiece);
}

} // namespace
} // namespace kivo
