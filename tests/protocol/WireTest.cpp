// The bytes the app writes to the runner against the record taken before the request became a
// type of its own, and the runner's reply read back as it was written.
#include "app/conversion/OutputMode.h"
#include "protocol/DecodingError.h"
#include "protocol/RewriteReply.h"
#include "protocol/RewriteRequest.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <fstream>
#include <string>
#include <vector>

namespace kivo {
namespace {

const std::vector<std::string> sources = {
    "今日天氣好好。",
    "  你好嗎\n",
    "佢話「OK 啦」，明日上午用Zoom開會",
    "睇 https://a.hk/x 同 v1.2.3，用 `make all` 打俾 Anne",
    "我哋聽日寫低 \"a/b\" 先",
};

std::vector<std::string> recordedLines()
{
    std::ifstream file(KIVO_SOURCE_DIR "/tests/protocol/wire/requests.jsonl");
    std::vector<std::string> lines;
    for (std::string line; std::getline(file, line);) {
        lines.push_back(line);
    }
    return lines;
}

// The record still carries the three keys the runner never read; every other byte must match.
TEST(RequestWire, EveryModeWritesTheRecordedBytesLessTheUnreadKeys)
{
    const std::vector<std::string> recorded = recordedLines();
    ASSERT_EQ(recorded.size(), OutputMode::all().size() * sources.size());
    std::size_t line = 0;
    for (const OutputMode mode : OutputMode::all()) {
        for (const std::string& source : sources) {
            SCOPED_TRACE(std::string(mode.modeName()) + ": " + source);
            nlohmann::json expected = nlohmann::json::parse(recorded[line++]);
            for (const char* unread : {"literalMapJSON", "normalizedSource", "phraseChangesJSON"}) {
                expected.erase(unread);
            }
            const RewriteRequest request = mode.request(source, KIVO_RESOURCES_DIR).request;
            EXPECT_EQ(request.json(), expected.dump());
            EXPECT_EQ(RewriteRequest::decode(request.json()), request);
        }
    }
}

TEST(RequestWire, OlderRequestsWithTheUnreadKeysStillDecode)
{
    for (const std::string& line : recordedLines()) {
        const RewriteRequest request = RewriteRequest::decode(line);
        EXPECT_FALSE(request.source.empty());
        EXPECT_TRUE(request.taskPrefix.has_value());
    }
    RewriteRequest bare{"a/\"b\"", "zh-HK", "en-US", "i", std::nullopt};
    EXPECT_EQ(bare.json(), R"({"instructions":"i","locale":"en-US","source":"a/\"b\"","sourceLocale":"zh-HK"})");
    EXPECT_EQ(RewriteRequest::decode(bare.json()), bare);
}

RewriteReply fullReply()
{
    RewriteReply reply;
    reply.startedAt = "2026-01-02T03:04:05.678Z";
    reply.availability = Availability::available();
    reply.tokens = TokenBudget{12, 340, 56, 8192};
    reply.text = "今日 a/b";
    reply.rawStructuredOutput = R"({"text":"今日 a/b"})";
    reply.outputTokens = 9;
    reply.status = RewriteReply::Status::generated;
    reply.elapsedSeconds = 1.25;
    return reply;
}

TEST(ReplyWire, LinesKeepTheirBytesAndReadBackAsWritten)
{
    const RewriteReply generated = fullReply();
    EXPECT_EQ(
        generated.jsonLine(),
        R"({"availability":"available","elapsedSeconds":1.25,"model":"SystemLanguageModel.default",)"
        R"("outputTokens":9,"rawStructuredOutput":"{\"text\":\"今日 a\/b\"}","startedAt":"2026-01-02T03:04:05.678Z",)"
        R"("status":"generated","text":"今日 a\/b","tokens":{"context":8192,"frameworkMargin":512,)"
        R"("input":12,"instructions":340,"outputReserve":2048,"schema":56}})"
        "\n");
    EXPECT_EQ(RewriteReply::read(generated.jsonLine()), generated);

    RewriteReply failed;
    failed.startedAt = "2026-01-02T03:04:05.678Z";
    failed.availability = Availability::unavailable(Availability::UnavailableReason::modelInvalid,
                                                    "the model runtime stopped: ops.cpp:3: x");
    failed.failure = ErrorReport{"rewrite_runner.Run.ProbeError", "ProbeError.unavailable(\"…\")", "不可用"};
    failed.elapsedSeconds = 0.5;
    EXPECT_EQ(RewriteReply::read(failed.jsonLine()), failed);
    EXPECT_EQ(RewriteReply::read(failed.jsonLine())->availability->explanation(),
              "modelInvalid: the model runtime stopped: ops.cpp:3: x");

    RewriteReply prepared;
    prepared.status = RewriteReply::Status::prepared;
    prepared.prefixTokens = 321;
    prepared.reason = "kept";
    prepared.elapsedSeconds = 0.0;
    EXPECT_EQ(RewriteReply::read(prepared.jsonLine()), prepared);
    for (const auto status : {RewriteReply::Status::generated, RewriteReply::Status::empty, RewriteReply::Status::error,
                              RewriteReply::Status::prepared, RewriteReply::Status::unprepared}) {
        EXPECT_EQ(RewriteReply::statusFromRawValue(RewriteReply::rawValue(status)), status);
    }
}

// What the app does with replies it did not expect: a broken runner must not look like success.
TEST(ReplyWire, ReadingIsLenientAboutFieldsButNotAboutTheLine)
{
    for (const char* broken : {"", "[]", "\"generated\"", "{\"status\":\"generated\"", "null"}) {
        EXPECT_FALSE(RewriteReply::read(broken).has_value()) << broken;
    }
    const auto odd = RewriteReply::read(
        R"j({"status":"finished","text":7,"availability":"unavailable(gone: x)","elapsedSeconds":"1","error":"E"})j");
    ASSERT_TRUE(odd.has_value());
    EXPECT_EQ(odd->status, RewriteReply::Status::error);
    EXPECT_FALSE(odd->text.has_value());
    EXPECT_FALSE(odd->availability.has_value());
    EXPECT_FALSE(odd->elapsedSeconds.has_value());
    ASSERT_TRUE(odd->failure.has_value());
    EXPECT_EQ(odd->failure->error, "E");
    EXPECT_EQ(odd->failure->localizedError, "");
    EXPECT_FALSE(RewriteReply::read(R"({"status":"generated"})")->failure.has_value());
    const auto mistyped = RewriteReply::read(R"({"tokens":7,"outputTokens":"9","prefixTokens":1.5})");
    ASSERT_TRUE(mistyped.has_value());
    EXPECT_FALSE(mistyped->tokens.has_value());
    EXPECT_FALSE(mistyped->outputTokens.has_value());
    EXPECT_FALSE(mistyped->prefixTokens.has_value());
    EXPECT_EQ(RewriteReply::read(R"({"status":"empty","tokens":{"input":3}})")->tokens, (TokenBudget{3, 0, 0, 0}));

    // Text the model left ill-formed is repaired before it is written, never dropped.
    RewriteReply repaired;
    repaired.text = "ok\xE4\xBD";
    EXPECT_EQ(RewriteReply::read(repaired.jsonLine())->text, "ok\uFFFD\uFFFD");
}

} // namespace
} // namespace kivo
