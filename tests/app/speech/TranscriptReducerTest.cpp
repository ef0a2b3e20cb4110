#include "app/speech/TranscriptReducer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace kivo;

namespace {
constexpr double inf = std::numeric_limits<double>::infinity();
}

TEST(TranscriptReducer, OverlappingVolatileReplacesTheEarlierOne)
{
    TranscriptReducer reducer;
    reducer.consume("A", 0.0, 0.5, false);
    reducer.consume("B", 0.0, 0.8, false);
    EXPECT_EQ(reducer.displayText(), "B");
    EXPECT_EQ(reducer.finalText(), "");
}

TEST(TranscriptReducer, FirstSettledTextForAStretchWins)
{
    TranscriptReducer reducer;
    reducer.consume("final", 0.0, 0.8, true);
    reducer.consume("late volatile", 0.5, 1.2, false);
    EXPECT_EQ(reducer.displayText(), "final");

    reducer.consume("second final", 0.5, 1.5, true);
    EXPECT_EQ(reducer.finalText(), "final");
    ASSERT_EQ(reducer.finalSegments().size(), 1u);
}

TEST(TranscriptReducer, TouchingSegmentsBothStayAndJoinInTimeOrderWithoutSeparator)
{
    TranscriptReducer reducer;
    reducer.consume("後", 1.0, 2.0, true);
    reducer.consume("前", 0.0, 1.0, true);
    reducer.consume("再", 2.0, 3.0, false);
    EXPECT_EQ(reducer.finalText(), "前後");
    EXPECT_EQ(reducer.displayText(), "前後再");
    EXPECT_EQ(reducer.finalSegments(),
              (std::vector<TranscriptReducer::FinalSegment>{{"前", 0.0, 1.0}, {"後", 1.0, 2.0}}));
}

TEST(TranscriptReducer, InvalidRangesChangeNothingNotEvenPromotion)
{
    TranscriptReducer reducer;
    reducer.consume("v", 0.0, 1.0, false);
    reducer.consume("x", 2.0, 2.0, true, inf);
    reducer.consume("x", 0.0, inf, true, inf);
    reducer.consume("x", std::nan(""), 1.0, true, inf);
    reducer.consume("x", 3.0, 2.0, false, inf);
    EXPECT_EQ(reducer.displayText(), "v");
    EXPECT_EQ(reducer.finalText(), "");
}

TEST(TranscriptReducer, BlankResultClearsProvisionalTextUnderItsRange)
{
    TranscriptReducer reducer;
    reducer.consume("keep", 0.0, 1.0, false);
    reducer.consume("gone", 1.0, 2.0, false);
    reducer.consume(" \n", 1.0, 2.0, false);
    EXPECT_EQ(reducer.displayText(), "keep");
    reducer.consume("\u3000", 0.5, 0.6, true); // a blank final adds nothing either
    EXPECT_EQ(reducer.displayText(), "");
    EXPECT_TRUE(reducer.finalSegments().empty());
}

TEST(TranscriptReducer, FinalizationTimePromotesVolatilesEndingByIt)
{
    TranscriptReducer promoted;
    promoted.consume("甲", 0.0, 1.0, false);
    promoted.consume("乙", 1.0, 1.5, false, 1.0);
    EXPECT_EQ(promoted.finalText(), "甲");
    EXPECT_EQ(promoted.displayText(), "甲乙");

    TranscriptReducer early;
    early.consume("甲", 0.0, 1.0, false);
    early.consume("乙", 1.0, 1.5, false, 0.99);
    EXPECT_EQ(early.finalText(), "");

    TranscriptReducer notANumber;
    notANumber.consume("甲", 0.0, 1.0, false);
    notANumber.consume("乙", 1.0, 1.5, false, std::nan(""));
    EXPECT_EQ(notANumber.finalText(), "");
}

TEST(TranscriptReducer, FinishingSettlesEverythingThatDoesNotOverlapAFinal)
{
    TranscriptReducer reducer;
    reducer.consume("一", 0.0, 1.0, true);
    reducer.consume("二", 1.0, 2.0, false);
    reducer.consume("三", 2.0, 3.0, false);
    reducer.finishFinalizedInput();
    EXPECT_EQ(reducer.displayText(), reducer.finalText());
    EXPECT_EQ(reducer.finalText(), "一二三");
    EXPECT_EQ(reducer.finalSegments().size(), 3u);
}

TEST(TranscriptReducer, OnlyTheOuterEndsOfTheJoinedTextAreTrimmed)
{
    TranscriptReducer reducer;
    reducer.consume("  hello ", 0.0, 1.0, true);
    reducer.consume(" world  \n", 1.0, 2.0, true);
    EXPECT_EQ(reducer.finalText(), "hello  world");
    EXPECT_EQ(reducer.finalSegments().front().text, "  hello ");

    // Tabs and the other ASCII control spaces count as space at the ends too.
    TranscriptReducer tabs;
    tabs.consume("\thello\v", 0.0, 1.0, true);
    tabs.consume("world\t\r", 1.0, 2.0, true);
    EXPECT_EQ(tabs.finalText(), "hello\vworld");

    // Wide and ASCII spaces mixed at either end all go.
    TranscriptReducer mixed;
    mixed.consume("\u3000 \u00A0你好 \u3000 \u2028", 0.0, 1.0, true);
    EXPECT_EQ(mixed.finalText(), "你好");
}
