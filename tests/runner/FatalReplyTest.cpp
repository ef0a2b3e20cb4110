// The reply written when the model runtime stops on one of its own checks.
#include "runner/FatalReply.h"

#include <gtest/gtest.h>

namespace kivo {
namespace {

const char* assertion = "/build/llama/ggml-cpu/ops.cpp:3714: GGML_ASSERT(eps >= 0.0f) failed";

TEST(FatalReplyTest, AFailureWhileLoadingMakesTheModelUnavailable)
{
    RewriteReply reply;
    reply.startedAt = "2026-01-01T00:00:00Z";
    const RewriteReply finished =
        FatalReply::finished(reply, FatalReply::Phase::loading, assertion, std::chrono::system_clock::now());
    EXPECT_EQ(finished.status, RewriteReply::Status::error);
    EXPECT_EQ(finished.startedAt, reply.startedAt);
    const std::string expected =
        "unavailable(modelInvalid: the model runtime stopped: ops.cpp:3714: GGML_ASSERT(eps >= 0.0f) failed)";
    ASSERT_TRUE(finished.availability);
    EXPECT_EQ(finished.availability->description(), expected);
    ASSERT_TRUE(finished.failure);
    EXPECT_EQ(finished.failure->errorType, "rewrite_runner.Run.ProbeError");
    EXPECT_EQ(finished.failure->error, "ProbeError.unavailable(\"" + expected + "\")");
}

TEST(FatalReplyTest, AFailureWhileGeneratingKeepsWhatWasLearned)
{
    RewriteReply reply;
    reply.availability = Availability::available();
    reply.tokens = TokenBudget{};
    const RewriteReply finished =
        FatalReply::finished(reply, FatalReply::Phase::running, assertion, std::chrono::system_clock::now());
    EXPECT_EQ(finished.availability, Availability::available());
    EXPECT_TRUE(finished.tokens);
    EXPECT_FALSE(finished.text);
    ASSERT_TRUE(finished.failure);
    EXPECT_EQ(finished.failure->errorType, "kivo.LanguageModelError");
    EXPECT_EQ(finished.failure->error.rfind("LanguageModelError.decodingFailed(", 0), 0u) << finished.failure->error;
    EXPECT_NE(finished.jsonLine().find("ops.cpp:3714"), std::string::npos);
    // A message without a path is kept whole.
    EXPECT_NE(FatalReply::finished(reply, FatalReply::Phase::running, "out of memory", {})
                  .failure->error.find("out of memory"),
              std::string::npos);
}

} // namespace
} // namespace kivo
