// The layer against tiny generated models, in this process.
#include "platform/languagemodel/SystemLanguageModel.h"
#include "platform/languagemodel/CpuSupport.h"
#include "platform/languagemodel/EvaluationSpeed.h"
#include "platform/languagemodel/LanguageModelError.h"
#include "platform/languagemodel/LanguageModelSession.h"
#include "platform/languagemodel/LlamaRuntime.h"
#include "tests/support/ChildProcess.h"
#include "tools/gguf/QwenShapedModel.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <stop_token>
#include <string>
#include <vector>

namespace kivo {
namespace {

using Reason = Availability::UnavailableReason;

std::filesystem::path modelFile(const std::string& dataHome)
{
    return std::filesystem::path(dataHome) / "kivo" / "models" / "language-model.gguf";
}

const GenerationSchema schema{"RewriteResult", {"text"}};

// A tiny model made with the generator's `options`, loaded in this process.
struct TinyModel : test::TinyModelHome {
    explicit TinyModel(const std::vector<std::string>& options)
        : TinyModelHome(options), model(SystemLanguageModel::makeFromFile(modelFile(path())))
    {
    }
    SystemLanguageModel* operator->() const { return model.get(); }
    std::unique_ptr<SystemLanguageModel> model;
};

// A model of a real size's width with only byte pieces for a vocabulary loads and evaluates:
// the recommendation's measurement rests on it.
TEST(EvaluationSpeedTest, TimesReadingAndWritingWithAGeneratedModelOfARealWidth)
{
    test::TemporaryFolder folder;
    QwenShapedModel model;
    model.shape = QwenShapedModel::shapeNamed("0.5b");
    model.shape.layers = 1;
    const auto file = std::filesystem::path(folder.path()) / "shaped.gguf";
    model.write(file.string());
    const auto speed = EvaluationSpeed::measure(file, 40, 4, {});
    EXPECT_GT(speed.readingSeconds, 0.0);
    EXPECT_GT(speed.writingSeconds, 0.0);

    std::stop_source stopped;
    stopped.request_stop();
    const auto none = EvaluationSpeed::measure(file, 40, 4, stopped.get_token());
    EXPECT_EQ(none.readingSeconds + none.writingSeconds, 0.0);
    EXPECT_THROW(EvaluationSpeed::measure(std::filesystem::path(folder.path()) / "missing.gguf", 40, 4, {}),
                 LanguageModelError);
}

TEST(SystemLanguageModelTest, FilesThatCannotServeAreUnavailableWithAReason)
{
    test::TemporaryFolder folder;
    auto model = SystemLanguageModel::makeFromFile(modelFile(folder.path()));
    EXPECT_EQ(model->availability().reason, Reason::modelNotFound);
    EXPECT_THROW(model->contextSize(), LanguageModelError);

    std::filesystem::create_directories(modelFile(folder.path())); // a folder where the file should be
    EXPECT_EQ(SystemLanguageModel::makeFromFile(modelFile(folder.path()))->availability().reason,
              Reason::modelUnreadable);

    const auto truncated = std::filesystem::path(folder.path()) / "truncated.gguf";
    test::makeTinyModel(folder.path() + "/whole", {});
    std::filesystem::copy_file(modelFile(folder.path() + "/whole"), truncated);
    std::filesystem::resize_file(truncated, 1000);
    model = SystemLanguageModel::makeFromFile(truncated);
    EXPECT_EQ(model->availability().reason, Reason::modelInvalid);
    EXPECT_FALSE(model->isAvailable());
}

TEST(SystemLanguageModelTest, CountsTokensAsTheChatTemplateRendersThem)
{
    const TinyModel model({"--context", "3000"});
    ASSERT_TRUE(model->isAvailable()) << model->availability().description();
    EXPECT_EQ(model->contextSize(), 3000);
    // One token per byte, so counts are byte lengths.
    EXPECT_EQ(model->tokenCount("粵語 ok"), 9);
    EXPECT_EQ(model->tokenCount(""), 0);
    // <|im_start|> "system\n" text <|im_end|> "\n"
    EXPECT_EQ(model->instructionsTokenCount("Be brief."), 1 + 7 + 9 + 1 + 1);
    EXPECT_EQ(model->schemaTokenCount(schema), static_cast<int>(schema.promptText().size()));
    // Control-token text inside the instructions is plain text, byte for byte.
    EXPECT_EQ(model->instructionsTokenCount("a<|im_end|>b"), model->instructionsTokenCount("a<|im_xnd|>b"));
    EXPECT_EQ(model->instructionsTokenCount("a<|im_end|>b"), 1 + 7 + 12 + 1 + 1);
    // The faster kernels are taken wherever the processor has them.
    EXPECT_EQ(LlamaRuntime::cpuModule(),
              CpuSupport::meetsAvx512Level() ? "libkivo-llama-cpu-avx512.so" : "libkivo-llama-cpu.so");
}

TEST(SystemLanguageModelTest, RespondsWithARecordOrFailsAtTheCap)
{
    const TinyModel letter({"--style", "letter"});
    const GeneratedContent content = letter->makeSession("Rewrite.")->respond("hello", schema, GenerationOptions{});
    EXPECT_EQ(content.jsonString, "{\"text\":\"a\"}");
    EXPECT_EQ(content.properties.at("text"), "a");

    const TinyModel runaway({"--style", "runaway"});
    GenerationOptions shortCap;
    shortCap.maximumResponseTokens = 40;
    try {
        runaway->makeSession("Rewrite.")->respond("hello", schema, shortCap);
        FAIL() << "the runaway model never closes its record";
    } catch (const LanguageModelError& error) {
        EXPECT_EQ(error.errorCase(), LanguageModelError::Case::exceededMaximumResponseTokens);
    }
    // A prompt longer than the context is refused before generating.
    EXPECT_THROW(runaway->makeSession("Rewrite.")->respond(std::string(9000, 'x'), schema, shortCap),
                 LanguageModelError);

    EXPECT_EQ(TinyModel({"--context", "100000"})->contextSize(), 8192);
}

// The recall model answers "b" once a "J" was anywhere before, so its answers show what the
// model was given to read.
TEST(SystemLanguageModelTest, TheSchemaIsPartOfWhatTheModelReadsUnlessLeftOut)
{
    const TinyModel model({"--style", "recall"});
    ASSERT_TRUE(model->isAvailable()) << model->availability().description();
    ASSERT_NE(schema.promptText().find('J'), std::string::npos);
    GenerationOptions withoutSchema;
    withoutSchema.includeSchemaInPrompt = false;
    const auto answer = [&](const std::string& instructions, const std::string& prompt,
                            const GenerationOptions& options) {
        return model->makeSession(instructions)->respond(prompt, schema, options).properties.at("text");
    };
    const std::string filler(1500, 'x');
    EXPECT_EQ(answer("Rewrite.", "hello", withoutSchema), "a");
    EXPECT_EQ(answer("Rewrite.", "hello", GenerationOptions{}), "b");
    EXPECT_EQ(answer("Rewrite.", "J" + filler, withoutSchema), "b");
    EXPECT_EQ(answer("Just rewrite.", filler, withoutSchema), "b");
    EXPECT_EQ(answer("Rewrite.", filler + "j", withoutSchema), "a");
}

// The tiny models' vocabulary: five special tokens, then one token per byte.
std::vector<std::int32_t> byteTokens(const std::string& text)
{
    std::vector<std::int32_t> tokens;
    for (const unsigned char byte : text) {
        tokens.push_back(5 + byte);
    }
    return tokens;
}

// Drafts only save evaluations: the answer and where the cap stops it are what greedy
// decoding gives alone, and a draft the model disagreed with leaves nothing in its context.
TEST(SystemLanguageModelTest, DraftedTokensStandOnlyWhereGreedyDecodingAgrees)
{
    GenerationOptions plain;
    plain.draftTokens = 0;

    // The schema in the prompt holds runs the answer repeats.
    const TinyModel letter({"--style", "letter"});
    const auto session = letter->makeSession("Rewrite.");
    const GeneratedContent alone = session->respond("hello", schema, plain);
    EXPECT_EQ(session->lastTimings().draftedTokens, 0);
    const std::vector<std::int32_t> answer = session->lastTimings().answerTokens;
    EXPECT_EQ(answer, byteTokens(alone.jsonString));
    EXPECT_EQ(session->respond("hello", schema, GenerationOptions{}).jsonString, alone.jsonString);
    EXPECT_GT(session->lastTimings().acceptedDraftTokens, 0);
    EXPECT_LT(session->lastTimings().acceptedDraftTokens, session->lastTimings().draftedTokens);
    EXPECT_EQ(session->lastTimings().answerTokens, answer);

    // A transcript of the letter the runaway model repeats: whole drafts agree, and the cap
    // still falls on the same token.
    const TinyModel runaway({"--style", "runaway"});
    const auto repeating = runaway->makeSession("Rewrite.");
    for (const int cap : {1, 2, 13, 40}) {
        GenerationOptions capped;
        capped.maximumResponseTokens = cap;
        capped.draftTokens = 16;
        EXPECT_THROW(repeating->respond(std::string(100, 'a'), schema, capped), LanguageModelError);
        const std::vector<std::int32_t> drafted = repeating->lastTimings().answerTokens;
        const int accepted = repeating->lastTimings().acceptedDraftTokens;
        capped.draftTokens = 0;
        EXPECT_THROW(repeating->respond(std::string(100, 'a'), schema, capped), LanguageModelError);
        EXPECT_EQ(drafted, repeating->lastTimings().answerTokens) << cap;
        EXPECT_EQ(static_cast<int>(drafted.size()), cap);
        if (cap == 40) {
            EXPECT_GT(accepted, 20);
        }
    }

    // Near the end of the context a draft is cut short: the answer still ends for want of
    // room, as it does token by token, never in a failed evaluation.
    const TinyModel small({"--style", "runaway", "--context", "160"});
    GenerationOptions full;
    full.includeSchemaInPrompt = false;
    full.draftTokens = 16;
    for (const int draftTokens : {16, 0}) {
        full.draftTokens = draftTokens;
        try {
            small->makeSession("Rewrite.")->respond(std::string(80, 'a'), schema, full);
            FAIL() << "the runaway model fills the context";
        } catch (const LanguageModelError& error) {
            EXPECT_EQ(error.errorCase(), LanguageModelError::Case::exceededContextWindowSize) << draftTokens;
        }
    }

    // The recall model answers "b" once it has read a "J". A draft that would put one after
    // {"t is refused there, and the answer shows it was taken back out.
    const TinyModel recall({"--style", "recall"});
    const auto recalling = recall->makeSession("Rewrite.");
    GenerationOptions misleading;
    misleading.includeSchemaInPrompt = false;
    misleading.draftSource = byteTokens("{\"tJJJJ");
    EXPECT_EQ(recalling->respond("hello", schema, misleading).properties.at("text"), "a");
    EXPECT_GT(recalling->lastTimings().draftedTokens, recalling->lastTimings().acceptedDraftTokens);
    EXPECT_GE(recalling->lastTimings().acceptedDraftTokens, 2);
    misleading.draftSource = byteTokens("{\"text\":\"a\"}");
    EXPECT_EQ(recalling->respond("hello J", schema, misleading).properties.at("text"), "b");
}

} // namespace
} // namespace kivo
