#include "app/conversion/LiteralMasking.h"
#include "platform/text/Regex.h"
#include "platform/text/Utf16.h"

#include <gtest/gtest.h>

#include <random>

using namespace kivo;
using LiteralMasking::ProtectionError;
using LiteralMasking::Span;

namespace {

// The case name of the error the action throws: it picks the message the user is shown.
std::string protectionFailure(const std::function<void()>& action)
{
    try {
        action();
    } catch (const ProtectionError& error) {
        EXPECT_EQ(error.typeName(), "Kivo.LiteralMasking.ProtectionError");
        return error.caseName();
    }
    ADD_FAILURE() << "no ProtectionError thrown";
    return "none";
}

} // namespace

TEST(LiteralMasking, JoinsSpaceSeparatedWordsAndStopsAtChinese)
{
    const auto phone = LiteralMasking::mask("請打 9123 4567 俾我");
    EXPECT_EQ(phone.text, "請打 ⟦KIVO7_0⟧ 俾我");
    EXPECT_EQ(phone.spans, (std::vector<Span>{{"⟦KIVO7_0⟧", "9123 4567"}}));

    const auto product = LiteralMasking::mask("iPhone 15 Pro同Mac");
    EXPECT_EQ(product.text, "⟦KIVO7_0⟧同⟦KIVO7_1⟧");
    EXPECT_EQ(product.spans, (std::vector<Span>{{"⟦KIVO7_0⟧", "iPhone 15 Pro"}, {"⟦KIVO7_1⟧", "Mac"}}));

    const auto url = LiteralMasking::mask("睇下 https://example.com/a/b?x=1&y=2#top，好唔好");
    ASSERT_EQ(url.spans.size(), 1u);
    EXPECT_EQ(url.spans[0].value, "https://example.com/a/b?x=1&y=2#top");

    const auto plain = LiteralMasking::mask("今日好攰。");
    EXPECT_EQ(plain.text, "今日好攰。");
    EXPECT_TRUE(plain.spans.empty());
    EXPECT_EQ(LiteralMasking::restore(plain.text, plain.spans), "今日好攰。");
}

TEST(LiteralMasking, QuotationsArePreferredOnlyWhenRequested)
{
    const auto quoted = LiteralMasking::mask("佢話「OK 啦」", true);
    EXPECT_EQ(quoted.text, "佢話⟦KIVO7_0⟧");
    EXPECT_EQ(quoted.spans, (std::vector<Span>{{"⟦KIVO7_0⟧", "「OK 啦」"}}));

    const auto unquoted = LiteralMasking::mask("佢話「OK 啦」");
    EXPECT_EQ(unquoted.spans, (std::vector<Span>{{"⟦KIVO7_0⟧", "OK"}}));

    // A straight quote does not span a line break; an unclosed bracket protects nothing.
    const auto open = LiteralMasking::mask("「未完 \"a\nb\" ok", true);
    EXPECT_EQ(open.text, "「未完 \"⟦KIVO7_0⟧\n⟦KIVO7_1⟧\" ⟦KIVO7_2⟧");
}

TEST(LiteralMasking, NumbersTokensBeyondNineAndRoundTrips)
{
    std::string source;
    for (int i = 0; i < 12; ++i) {
        source += "第x" + std::to_string(i) + "個。";
    }
    const auto masked = LiteralMasking::mask(source);
    ASSERT_EQ(masked.spans.size(), 12u);
    EXPECT_EQ(masked.spans[11].token, "⟦KIVO7_11⟧");
    EXPECT_EQ(LiteralMasking::restore(masked.text, masked.spans), source);
}

TEST(LiteralMasking, RefusesSourcesHoldingTheReservedPrefix)
{
    EXPECT_EQ(protectionFailure([] { LiteralMasking::mask("abc ⟦KIVO7_0⟧"); }), "reservedMarker");
    EXPECT_EQ(protectionFailure([] { LiteralMasking::mask("⟦KIVO7_", true); }), "reservedMarker");
}

TEST(LiteralRestoring, RequiresTheExactTokensInOrder)
{
    const std::vector<Span> spans{{"⟦KIVO7_0⟧", "Mac"}, {"⟦KIVO7_1⟧", "iPad"}};
    EXPECT_EQ(LiteralMasking::restore("⟦KIVO7_0⟧ 同 ⟦KIVO7_1⟧", spans), "Mac 同 iPad");

    const std::vector<std::string> broken{
        "⟦KIVO7_1⟧ 同 ⟦KIVO7_0⟧",           // reordered
        "⟦KIVO7_0⟧ 同 ⟦KIVO7_0⟧ ⟦KIVO7_1⟧", // repeated
        "⟦KIVO7_0⟧ 同",                     // dropped
        "⟦KIVO7_0⟧ 同 ⟦KIVO7_ 1⟧",          // altered inside the brackets
        "⟦KIVO7_0⟧ 同 ⟦KIVO7_1⟧ ⟦KIVO7_2",  // unclosed extra token
    };
    for (const auto& text : broken) {
        EXPECT_EQ(protectionFailure([&] { LiteralMasking::restore(text, spans); }), "literalMismatch") << text;
    }
}

// The fast quotation scan must find exactly what a plain search with the pattern finds.
TEST(LiteralMasking, QuotationScanMatchesPlainSearchOnRandomText)
{
    const std::vector<std::string> alphabet{"「", "」", "『", "』", "“", "”", "\"", "\n", "a",
                                            "Z",  "9",  " ",  "\t", "-", "/", "中", "。", "😀"};
    const Regex quotationsOnly{LiteralMasking::quotationPattern};
    const Regex withLiterals{std::string(LiteralMasking::quotationPattern) + "|" +
                             std::string(LiteralMasking::literalPattern)};
    std::mt19937 random(7);
    for (int round = 0; round < 3000; ++round) {
        std::string text;
        const int length = 1 + static_cast<int>(random() % 40);
        for (int i = 0; i < length; ++i) {
            text += alphabet[random() % alphabet.size()];
        }
        const std::u16string utf16 = Utf16::fromUtf8(text);
        ASSERT_EQ(LiteralMasking::findQuotations(utf16), quotationsOnly.findAll(utf16)) << text;

        const auto masked = LiteralMasking::mask(text, true);
        const auto expected = withLiterals.findAll(utf16);
        ASSERT_EQ(masked.spans.size(), expected.size()) << text;
        for (std::size_t i = 0; i < expected.size(); ++i) {
            ASSERT_EQ(masked.spans[i].value,
                      Utf16::toUtf8(std::u16string_view(utf16).substr(static_cast<std::size_t>(expected[i].location),
                                                                      static_cast<std::size_t>(expected[i].length))))
                << text;
        }
        ASSERT_EQ(LiteralMasking::restore(masked.text, masked.spans), text);
    }
}
