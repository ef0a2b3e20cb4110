// The status texts for failed conversions: known causes get a sentence a person can act on in
// either language; anything else keeps the wording it came with.
#include "app/controller/RunFailureMessage.h"
#include "app/conversion/LiteralMasking.h"
#include "tests/support/InterfaceLanguageScope.h"

#include <gtest/gtest.h>

#include <csignal>

namespace kivo {
namespace {

TEST(RunFailureMessageTest, KnownRunnerErrorsSayWhatToDoInBothLanguages)
{
    const auto tooLong =
        RunFailureMessage::forRunnerError("rewrite_runner.Run.ProbeError", "ProbeError.budgetExceeded");
    ASSERT_TRUE(tooLong);
    EXPECT_NE(tooLong->find("too long"), std::string::npos);
    EXPECT_NE(tooLong->find("select part"), std::string::npos);
    const auto chinese = test::inLanguage(true, [&] {
        return RunFailureMessage::forRunnerError("rewrite_runner.Run.ProbeError", "ProbeError.budgetExceeded");
    });
    ASSERT_TRUE(chinese);
    EXPECT_NE(chinese->find("文字太長"), std::string::npos);
    EXPECT_EQ(RunFailureMessage::forRunnerError("kivo.LanguageModelError",
                                                "LanguageModelError.exceededContextWindowSize(\"9000 prompt tokens\")"),
              tooLong);
    EXPECT_TRUE(test::inLanguage(true, [&] {
        return RunFailureMessage::forRunnerError("kivo.LanguageModelError",
                                                 "LanguageModelError.exceededMaximumResponseTokens(\"2048 tokens\")");
    }));
    EXPECT_TRUE(RunFailureMessage::forRunnerError("rewrite_runner.Run.ProbeError", "ProbeError.unsupportedLocale"));

    // Other errors, and the same case names under another type, keep the reply's own wording.
    EXPECT_FALSE(RunFailureMessage::forRunnerError("rewrite_runner.Run.ProbeError", "ProbeError.unavailable(\"x\")"));
    EXPECT_FALSE(RunFailureMessage::forRunnerError("rewrite_runner.DecodingError", "ProbeError.budgetExceeded"));
    EXPECT_FALSE(
        RunFailureMessage::forRunnerError("kivo.LanguageModelError", "LanguageModelError.decodingFailed(\"x\")"));
    EXPECT_FALSE(test::inLanguage(true, [&] { return RunFailureMessage::forRunnerError("", ""); }));
}

TEST(RunFailureMessageTest, ProtectionFailuresExplainWhyTheResultWasWithheld)
{
    using Code = LiteralMasking::ProtectionError::Code;
    const std::string mismatch =
        RunFailureMessage::forConversion(LiteralMasking::ProtectionError(Code::literalMismatch));
    EXPECT_NE(mismatch.find("protected name or number"), std::string::npos);
    EXPECT_NE(mismatch.find("withheld"), std::string::npos);
    EXPECT_NE(
        test::inLanguage(
            true,
            [&] { return RunFailureMessage::forConversion(LiteralMasking::ProtectionError(Code::literalMismatch)); })
            .find("受保護"),
        std::string::npos);
    const std::string marker = RunFailureMessage::forConversion(LiteralMasking::ProtectionError(Code::reservedMarker));
    EXPECT_NE(marker.find("\u27E6KIVO7_"), std::string::npos);
    EXPECT_NE(marker, mismatch);
    // A conversion error with a description of its own keeps it.
    const ConversionError described("Kivo.WritingMode.InputError", "emptySource", 0, "Nothing to convert.");
    EXPECT_EQ(RunFailureMessage::forConversion(described), "Nothing to convert.");
}

TEST(RunFailureMessageTest, UnreadableRepliesNameTheCauseWhenStandardErrorIsEmpty)
{
    EXPECT_EQ(RunFailureMessage::forUnreadableReply("runner said no\n", "", true, 3), "runner said no\n");
    const std::string crashed = RunFailureMessage::forUnreadableReply("", "", false, -1);
    const std::string exited = RunFailureMessage::forUnreadableReply("", "", true, 134);
    const std::string silent = RunFailureMessage::forUnreadableReply("", "", true, 0);
    const std::string garbled = RunFailureMessage::forUnreadableReply("", "[1,2]", true, 0);
    EXPECT_NE(crashed.find("stopped unexpectedly"), std::string::npos);
    EXPECT_NE(exited.find("status 134"), std::string::npos);
    EXPECT_NE(silent.find("no reply"), std::string::npos);
    EXPECT_NE(garbled.find("not a JSON object"), std::string::npos);
    EXPECT_NE(test::inLanguage(true, [&] { return RunFailureMessage::forUnreadableReply("", "", true, 134); })
                  .find("狀態 134"),
              std::string::npos);
    for (const std::string& message : {crashed, exited, silent, garbled}) {
        EXPECT_FALSE(message.empty());
    }

    // A runner ended by a signal: the message names it, in both languages.
    const std::string killed = RunFailureMessage::forUnreadableReply("", "", false, SIGKILL);
    EXPECT_NE(killed.find("signal SIGKILL"), std::string::npos) << killed;
    EXPECT_NE(killed.find("memory ran out"), std::string::npos) << killed;
    EXPECT_NE(test::inLanguage(true, [&] { return RunFailureMessage::forUnreadableReply("", "", false, SIGSEGV); })
                  .find("SIGSEGV"),
              std::string::npos);
    EXPECT_EQ(RunFailureMessage::forUnreadableReply("", "", false, 0), crashed);
    EXPECT_EQ(RunFailureMessage::forUnreadableReply("", "", false, 4096), crashed);
}

} // namespace
} // namespace kivo
