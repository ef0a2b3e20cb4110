#include "app/conversion/LiteralMasking.h"
#include "app/conversion/OutputMode.h"

#include <gtest/gtest.h>

using namespace kivo;
using LiteralMasking::Span;

namespace {

const OutputMode cantonese = *OutputMode::fromModeName("cantonese");
const OutputMode written = *OutputMode::fromModeName("written");
const OutputMode simplified = *OutputMode::fromModeName("simplified");
const OutputMode english = *OutputMode::fromModeName("english");

std::string tidied(const std::string& answer, const std::string& source)
{
    return cantonese.restore(answer, source, {});
}

} // namespace

TEST(CantoneseRestore, FixesQuestionMarksAndTheFinalFullStop)
{
    EXPECT_EQ(tidied("你好嗎", "你好嗎"), "你好嗎。");
    EXPECT_EQ(tidied("你好嗎？", "你好嗎"), "你好嗎。");
    EXPECT_EQ(tidied("你好嗎?", "你好嗎"), "你好嗎。");
    EXPECT_EQ(tidied("你好嗎？", "你好嗎?"), "你好嗎？");
    EXPECT_EQ(tidied("好呀！", "好呀"), "好呀！");
    // Trimmed only when a full stop is added; otherwise the answer keeps its spacing.
    EXPECT_EQ(tidied("  好呀 \n", "好呀"), "好呀。");
    EXPECT_EQ(tidied("  好呀！ \n", "好呀"), "  好呀！ \n");
    EXPECT_EQ(tidied("用 iPhone 15", "用iPhone 15"), "用 iPhone 15。");
}

TEST(CantoneseRestore, RejectsAnswersThatChangeWords)
{
    EXPECT_EQ(tidied("唔該，你 幫 我。", "唔該你幫我"), "唔該，你 幫 我。");
    for (const auto& [answer, source] : std::vector<std::pair<std::string, std::string>>{
             {"謝謝你幫我", "唔該你幫我"}, {"唔該你幫我啦", "唔該你幫我"}, {"唔該幫我", "唔該你幫我"}}) {
        try {
            tidied(answer, source);
            ADD_FAILURE() << answer;
        } catch (const OutputMode::InputError& error) {
            EXPECT_EQ(error.reason(), OutputMode::InputError::Code::cleanupChangedWords);
            EXPECT_EQ(error.localizedDescription(), "粵語整理改動了原文字詞，結果已攔下。可重新處理，或改用書面轉換。");
        }
    }
}

TEST(Restore, PutsLiteralsBackInEveryMode)
{
    const std::vector<Span> spans{{"⟦KIVO7_0⟧", "iPhone 15 Pro"}, {"⟦KIVO7_1⟧", "「書面語」"}};
    EXPECT_EQ(written.restore("用⟦KIVO7_0⟧講⟦KIVO7_1⟧", "", spans), "用iPhone 15 Pro講「書面語」");
    // The transform runs before the literals come back, so protected text stays traditional.
    EXPECT_EQ(simplified.restore("書面語用⟦KIVO7_0⟧講⟦KIVO7_1⟧", "", spans), "书面语用iPhone 15 Pro讲「書面語」");
    EXPECT_EQ(english.restore("Use ⟦KIVO7_0⟧ ⟦KIVO7_1⟧", "", spans), "Use iPhone 15 Pro 「書面語」");
    EXPECT_EQ(cantonese.restore("用 ⟦KIVO7_0⟧ 講 ⟦KIVO7_1⟧", "用iPhone 15 Pro講「書面語」", spans),
              "用 iPhone 15 Pro 講 「書面語」");
    EXPECT_THROW(written.restore("用⟦KIVO7_1⟧講⟦KIVO7_0⟧", "", spans), LiteralMasking::ProtectionError);
    EXPECT_THROW(simplified.restore("用", "", spans), LiteralMasking::ProtectionError);
}

TEST(Review, EnglishNeedsReviewOnlyWithHan)
{
    EXPECT_TRUE(english.needsReview("Meet me in 香港", std::nullopt));
    EXPECT_FALSE(english.needsReview("Meet me in Hong Kong.", std::string("喺香港見")));
    EXPECT_FALSE(cantonese.needsReview("我哋聽日見", std::nullopt));
}

TEST(Review, WrittenModesFlagColloquialResidueDeferralAndDoubleNegation)
{
    for (const OutputMode mode : {written, simplified}) {
        EXPECT_TRUE(mode.needsReview("我哋聽日見", std::nullopt));
        EXPECT_TRUE(mode.needsReview("我们听日见", std::nullopt));
        EXPECT_FALSE(mode.needsReview("我們明天見。", std::nullopt));
        // A colloquial word that only stands inside a quotation taken from the source is fine.
        EXPECT_FALSE(mode.needsReview("他說「唔該」。", std::string("佢話「唔該」")));
        EXPECT_TRUE(mode.needsReview("他說「唔該」。", std::string("佢話唔該")));
        EXPECT_TRUE(mode.needsReview("好的。", std::string("唔係唔係，好")));
        EXPECT_TRUE(mode.needsReview("好的。", std::string("唔係， 不是")));
        EXPECT_TRUE(mode.needsReview("我做先，你等等", std::nullopt));
        EXPECT_TRUE(mode.needsReview("確認先", std::nullopt));
        EXPECT_FALSE(mode.needsReview("先生你好", std::nullopt));
        EXPECT_FALSE(mode.needsReview("做先生", std::nullopt));
    }
}

// A result or source that is not UTF-8 cannot be inspected, so it is never passed on unreviewed.
TEST(Review, UninspectableTextAlwaysNeedsReview)
{
    for (const OutputMode mode : {written, simplified, english}) {
        EXPECT_TRUE(mode.needsReview("ok \xFF", std::nullopt));
    }
    for (const OutputMode mode : {written, simplified}) {
        EXPECT_TRUE(mode.needsReview("我們明天見。", std::string("\xC3\x28")));
    }
}
