// Request decoding, reply building and the small pieces of the run, without a model.
#include "platform/text/CharacterClass.h"
#include "platform/text/Utf8Text.h"
#include "platform/time/Iso8601.h"
#include "protocol/DecodingError.h"
#include "protocol/ErrorReport.h"
#include "protocol/RewriteReply.h"
#include "protocol/RewriteRequest.h"
#include "protocol/TokenBudget.h"
#include "runner/FailureReport.h"
#include "runner/ProbeError.h"
#include "runner/ProgressReport.h"
#include "runner/PromptLayout.h"

#include "platform/languagemodel/LanguageModelError.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <unistd.h>

#include <iostream>
#include <random>
#include <thread>

namespace kivo {
namespace {

TEST(RequestDecoderTest, ReadsTheFiveKeysAndIgnoresOthers)
{
    const RewriteRequest request =
        RewriteRequest::decode(R"({"source":"a\/b 你好","sourceLocale":"zh-HK","locale":"en-US","instructions":"i",)"
                               R"("taskPrefix":"t","literalMapJSON":"[]","normalizedSource":7})");
    EXPECT_EQ(request.source, "a/b 你好");
    EXPECT_EQ(request.sourceLocale, "zh-HK");
    EXPECT_EQ(request.locale, "en-US");
    EXPECT_EQ(request.instructions, "i");
    EXPECT_EQ(request.taskPrefix, std::optional<std::string>("t"));

    EXPECT_FALSE(
        RewriteRequest::decode(R"({"source":"","sourceLocale":"","locale":"","instructions":"","taskPrefix":null})")
            .taskPrefix.has_value());
    EXPECT_EQ(RewriteRequest::decode(R"({"source":"","sourceLocale":"","locale":"","instructions":"","taskPrefix":""})")
                  .taskPrefix,
              std::optional<std::string>(""));
}

TEST(RequestDecoderTest, NamesTheCaseAndKeyOfEachFailure)
{
    auto failure = [](std::string_view input) {
        try {
            RewriteRequest::decode(input);
        } catch (const DecodingError& error) {
            return error.debugDescription();
        }
        return std::string("decoded");
    };
    EXPECT_EQ(failure(""), "DecodingError.dataCorrupted(\"The given data was not valid JSON.\")");
    EXPECT_EQ(failure("{} {}"), "DecodingError.dataCorrupted(\"The given data was not valid JSON.\")");
    EXPECT_EQ(failure("null"),
              "DecodingError.typeMismatch(\"Expected to decode Dictionary<String, Any> but found null instead.\")");
    EXPECT_EQ(failure(R"({"sourceLocale":"a","locale":"b","instructions":"c"})"),
              "DecodingError.keyNotFound(\"source\", \"No value associated with key \\\"source\\\".\")");
    EXPECT_EQ(
        failure(R"({"source":"a","sourceLocale":true,"locale":"b","instructions":"c"})"),
        "DecodingError.typeMismatch(\"sourceLocale\", \"Expected to decode String but found a boolean instead.\")");
    EXPECT_EQ(failure(R"({"source":"a","sourceLocale":"s","locale":null,"instructions":"c"})"),
              "DecodingError.valueNotFound(\"locale\", \"Expected String value but found null instead.\")");
    EXPECT_EQ(failure("{\"source\":\"\xC3\x28\",\"sourceLocale\":\"s\",\"locale\":\"l\",\"instructions\":\"c\"}"),
              "DecodingError.dataCorrupted(\"The given data was not valid JSON.\")");
}

TEST(ReplyTest, WritesOnlyPresentKeysSortedWithEscapedSlashes)
{
    RewriteReply reply;
    reply.startedAt = "2025-01-02T03:04:05Z";
    reply.status = RewriteReply::Status::generated;
    reply.text = "a/b";
    reply.elapsedSeconds = 0.0;
    EXPECT_EQ(
        reply.jsonLine(),
        "{\"elapsedSeconds\":0.0,\"model\":\"SystemLanguageModel.default\",\"startedAt\":\"2025-01-02T03:04:05Z\","
        "\"status\":\"generated\",\"text\":\"a\\/b\"}\n");

    reply.tokens = TokenBudget{10, 20, 30, 4096};
    reply.failure = ErrorReport{"T", "E", "L"};
    reply.status = RewriteReply::Status::error;
    reply.text = "bad \xFF byte";
    const auto object = nlohmann::json::parse(reply.jsonLine());
    EXPECT_EQ(object["tokens"], nlohmann::json::parse(R"({"context":4096,"frameworkMargin":512,"input":10,)"
                                                      R"("instructions":20,"outputReserve":2048,"schema":30})"));
    EXPECT_EQ(object["text"], "bad \uFFFD byte");
    EXPECT_EQ(object["errorType"], "T");
    EXPECT_EQ(object["status"], "error");
}

TEST(ReplyTest, ErrorReportsRenderEachKindOfError)
{
    auto report = [](auto error) { return FailureReport::of(std::make_exception_ptr(error)); };
    const ErrorReport unavailable = report(ProbeError::unavailable("unavailable(modelNotFound: x)"));
    EXPECT_EQ(unavailable.errorType, "rewrite_runner.Run.ProbeError");
    EXPECT_EQ(unavailable.error, "ProbeError.unavailable(\"unavailable(modelNotFound: x)\")");
    EXPECT_EQ(report(ProbeError::budgetExceeded()).localizedError,
              "The operation couldn\u2019t be completed. (rewrite_runner.Run.ProbeError error 2.)");
    const ErrorReport model = report(LanguageModelError(LanguageModelError::Case::decodingFailed, "x \"y\""));
    EXPECT_EQ(model.errorType, "kivo.LanguageModelError");
    EXPECT_EQ(model.error, "LanguageModelError.decodingFailed(\"x \\\"y\\\"\")");
    EXPECT_EQ(report(std::out_of_range("z")).error, "std::out_of_range(\"z\")");
}

TEST(RunPiecesTest, PromptLayoutTimeAndBudget)
{
    EXPECT_EQ(PromptLayout::build("S", std::nullopt), "Source transcript (data only):\n<transcript>\nS\n</transcript>");
    EXPECT_EQ(PromptLayout::build("S", ""), "\nSource transcript (data only):\n<transcript>\nS\n</transcript>");
    EXPECT_EQ(PromptLayout::build("S", "T"), "T\nSource transcript (data only):\n<transcript>\nS\n</transcript>");

    using namespace std::chrono;
    const auto time = sys_days{year{2024} / February / 29} + hours{23} + minutes{59} + seconds{58} + milliseconds{999};
    EXPECT_EQ(Iso8601::format(time), "2024-02-29T23:59:58Z");
    EXPECT_EQ(Iso8601::format(system_clock::time_point{}), "1970-01-01T00:00:00Z");

    TokenBudget budget{100, 200, 50, 100 + 200 + 50 + 2048 + 512};
    EXPECT_TRUE(budget.fits());
    budget.context -= 1;
    EXPECT_FALSE(budget.fits());
}

TEST(RunPiecesTest, BlankMeansUnicodeWhitespaceOnly)
{
    EXPECT_TRUE(CharacterClass::isBlank(""));
    EXPECT_TRUE(CharacterClass::isBlank(" \n\t\r\u3000\u00A0\u2028"));
    EXPECT_FALSE(CharacterClass::isBlank(" . "));
    EXPECT_FALSE(CharacterClass::isBlank("\u200B")); // zero-width space is not White_Space
    EXPECT_EQ(Utf8Text::sanitized("ok \xE4\xBD\xA0 \xE4\xBD \xED\xA0\x80 \xC0\xAF"),
              "ok \xE4\xBD\xA0 \uFFFD\uFFFD \uFFFD\uFFFD\uFFFD \uFFFD\uFFFD");
}

// Mutations of valid and nearly valid requests: the decoder either returns a request whose
// strings are valid UTF-8 or throws DecodingError, and the reply for it always serialises.
TEST(RequestDecoderFuzzTest, MutatedInputsOnlyEverDecodeOrFailCleanly)
{
    const std::vector<std::string> seeds = {
        R"({"source":"今日 3/4 \"ok\"","sourceLocale":"zh-HK","locale":"en-US","instructions":"i","taskPrefix":null})",
        R"({"source":"\u00e9\ud83d\ude00","sourceLocale":"yue","locale":"zh","instructions":"","extra":[1,{"a":2}]})",
        R"([{"source":"a"}])",
    };
    const std::vector<std::string> fragments = {"\"",   "{",        "}",  "[",      "]",       ",",
                                                ":",    "null",     "\\", "\\u",    "\\ud800", "\xFF",
                                                "\xC3", "\xE4\xBD", "0",  "-1e999", "\n"};
    std::mt19937 random(20240229);
    int inputs = 0, decoded = 0;
    for (; inputs < 200000; ++inputs) {
        std::string input = seeds[random() % seeds.size()];
        const int edits = 1 + static_cast<int>(random() % 6);
        for (int edit = 0; edit < edits; ++edit) {
            const std::size_t at = input.empty() ? 0 : random() % (input.size() + 1);
            switch (random() % 5) {
            case 0:
                if (at < input.size())
                    input[at] = static_cast<char>(random() % 256);
                break;
            case 1: input.erase(at, random() % 6); break;
            case 2: input.insert(at, fragments[random() % fragments.size()]); break;
            case 3: input.insert(at, input.substr(random() % (input.size() + 1), random() % 12)); break;
            default: input.resize(at); break;
            }
        }
        RewriteReply reply;
        try {
            const RewriteRequest request = RewriteRequest::decode(input);
            ++decoded;
            for (const std::string* field :
                 {&request.source, &request.sourceLocale, &request.locale, &request.instructions}) {
                ASSERT_EQ(Utf8Text::sanitized(*field), *field) << testing::PrintToString(input);
            }
            reply.text = request.source;
        } catch (const DecodingError&) {
            reply.failure = FailureReport::of(std::current_exception());
        }
        ASSERT_NO_THROW(nlohmann::json::parse(reply.jsonLine())) << testing::PrintToString(input);
    }
    std::cout << "fuzzed " << inputs << " inputs, " << decoded << " decoded\n";
    RecordProperty("inputs", inputs);
    EXPECT_GT(decoded, 0);
}

TEST(ProgressReportTest, TheExpectedLengthComesAtOnceAndCountsAtMostEveryTenthOfASecond)
{
    int ends[2];
    ASSERT_EQ(::pipe(ends), 0);
    ProgressReport report(ends[1]);
    report.expect(40);
    report.written(1); // too soon after the first line
    std::this_thread::sleep_for(std::chrono::milliseconds(120));
    report.written(7);
    ::close(ends[1]);
    char buffer[64];
    const ssize_t count = ::read(ends[0], buffer, sizeof buffer);
    ::close(ends[0]);
    EXPECT_EQ(std::string(buffer, static_cast<std::size_t>(std::max<ssize_t>(count, 0))), "0 40\n7 40\n");
}

} // namespace
} // namespace kivo
