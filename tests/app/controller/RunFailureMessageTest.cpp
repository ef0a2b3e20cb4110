// The status texts for failed conversions: known causes get a sentence a person can act on in
// either language; anything else keeps the wording it came with.
#include "app/controller/RunFailureMessage.h"
#include "app/conversion/LiteralMasking.h"

#include <gtest/gtest.h>

#include <csignal>

namespace kivo {
namespace {

TEST(RunFailureMessageTest, KnownRunnerErrorsSayWhatToDoInBothLanguages) {
    const auto tooLong = RunFailureMessage::forRunnerError("rewrite_runner.Run.ProbeError", "ProbeError.budgetExceeded", false);
    ASSERT_TRUE(tooLong);
    EXPECT_NE(tooLong->find("too long"), std::string::npos);
    EXPECT_NE(tooLong->find("select part"), std::string::npos);
    const auto chinese = RunFailureMessage::forRunnerError("rewrite_runner.Run.ProbeError", "ProbeError.budgetExceeded", true);
    ASSERT_TRUE(chinese);
    EXPECT_NE(chinese->find("文字太長"), std::string::npos);
    EXPECT_EQ(RunFailureMessage::forRunnerError("kivo.LanguageModelError",
                                                "LanguageModelError.exceededContextWindowSize(\"9000 prompt tokens\")", false),
              tooLong);
    EXPECT_TRUE(RunFailureMessage::forRunnerError("kivo.LanguageModelError",
                                                  "LanguageModelError.exceededMaximumResponseTokens(\"2048 tokens\")", true));
    EXPECT_TRUE(RunFailureMessage::forRunnerError("rewrite_runner.Run.ProbeError", "ProbeError.unsupportedLocale", false));

    // Other errors, and the same case names under another type, keep the reply's own wording.
    EXPECT_FALSE(RunFailureMessage::forRunnerError("rewrite_runner.Run.ProbeError", "ProbeError.unavailable(\"x\")", false));
    EXPECT_FALSE(RunFailureMessage::forRunnerError("rewrite_runner.DecodingError", "ProbeError.budgetExceeded", false));
    EXPECT_FALSE(RunFailureMessage::forRunnerError("kivo.LanguageModelError", "LanguageModelError.decodingFailed(\"x\")", false));
    EXPECT_FALSE(RunFailureMessage::forRunnerError("", "", true));
}

TEST(RunFailureMessageTest, ProtectionFailuresExplainWhyTheResultWasWithheld) {
    using Code = LiteralMasking::ProtectionError::Code;
    const std::string mismatch = RunFailureMessage::forConversion(LiteralMasking::ProtectionError(Code::literalMismatch), false);
    EXPECT_NE(mismatch.find("protected name or number"), std::string::npos);
    EXPECT_NE(mismatch.find("withheld"), std::string::npos);
    EXPECT_NE(RunFailureMessage::forConversion(LiteralMasking::ProtectionError(Code::literalMismatch), true).find("受保護"),
              std::string::npos);
    const std::string marker = RunFailureMessage::forConversion(LiteralMasking::ProtectionError(Code::reservedMarker), false);
    EXPECT_NE(marker.find("\u27E6KIVO7_"), std::string::npos);
    EXPECT_NE(marker, mismatch);
    // A conversion error with a description of its own keeps it.
    const ConversionError described("Kivo.WritingMode.InputError", "emptySource", 0, "Nothing to convert.");
    EXPECT_EQ(RunFailureMessage::forConversion(described, false), "Nothing to convert.");
}

TEST(RunFailureMessageTest, UnreadableRepliesNameTheCauseWhenStandardErrorIsEmpty) {
    EXPECT_EQ(RunFailureMessage::forUnreadableReply("runner said no\n", "", true, 3, false), "runner said no\n");
    const std::string crashed = RunFailureMessage::forUnreadableReply("", "", false, -1, false);
    const std::string exited = RunFailureMessage::forUnreadableReply("", "", true, 134, false);
    const std::string silent = RunFailureMessage::forUnreadableReply("", "", true, 0, false);
    const std::string garbled = RunFailureMessage::forUnreadableReply("", "[1,2]", true, 0, false);
    EXPECT_NE(crashed.find("stopped unexpectedly"), std::string::npos);
    EXPECT_NE(exited.find("status 134"), std::string::npos);
    EXPECT_NE(silent.find("no reply"), std::string::npos);
    EXPECT_NE(garbled.find("not a JSON object"), std::string::npos);
    EXPECT_NE(RunFailureMessage::forUnreadableReply("", "", true, 134, true).find("狀態 134"), std::string::npos);
    for (const std::string& message : {crashed, exited, silent, garbled}) {
        EXPECT_FALSE(message.empty());
    }

    // A runner ended by a signal: the message names it, in both languages.
    const std::string killed = RunFailureMessage::forUnreadableReply("", "", false, SIGKILL, false);
    EXPECT_NE(killed.find("signal SIGKILL"), std::string::npos) << killed;
    EXPECT_NE(killed.find("memory ran out"), std::string::npos) << killed;
    EXPECT_NE(RunFailureMessage::forUnreadableReply("", "", false, SIGSEGV, true).find("SIGSEGV"), std::string::npos);
    EXPECT_EQ(RunFailureMessage::forUnreadableReply("", "", false, 0, false), crashed);
    EXPECT_EQ(RunFailureMessage::forUnreadableReply("", "", false, 4096, false), crashed);
}

}  // namespace
}  // namespace kivo
