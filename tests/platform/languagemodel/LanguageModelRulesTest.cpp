// The layer's pure rules: locales, model location, availability text, schema.
#include "platform/languagemodel/DraftPolicy.h"
#include "platform/languagemodel/GenerationSchema.h"
#include "platform/languagemodel/LocaleSupport.h"
#include "platform/languagemodel/ModelLocation.h"
#include "platform/languagemodel/PromptLookup.h"
#include "platform/modelavailability/Availability.h"

#include <gtest/gtest.h>

namespace kivo {
namespace {

TEST(LocaleSupportTest, GoesByTheLanguageSubtag)
{
    for (const char* supported : {"zh-HK", "zh-TW", "zh-CN", "en-US", "zh", "en", "yue", "yue-Hant-HK", "zh_Hant_TW",
                                  "ZH-hk", "en-GB", "zh-Hans"}) {
        EXPECT_TRUE(LocaleSupport::supports(supported)) << supported;
    }
    for (const char* unsupported : {"", "fr-FR", "ja", "zho", "e", "-zh", "zh-", "zh--HK", "zh HK", "z1", "en-US-",
                                    "zh-toolongsubtag", "\xE4\xB8\xAD"}) {
        EXPECT_FALSE(LocaleSupport::supports(unsupported)) << unsupported;
    }
}

TEST(PromptLookupTest, DraftsWhatFollowedTheLongestTailOfTheAnswerMovingForward)
{
    using Tokens = std::vector<PromptLookup::Token>;
    //                  0  1  2  3  4  5  6  7  8  9
    PromptLookup lookup({1, 2, 3, 9, 2, 3, 4, 5, 6, 7});
    // No tail of the answer in the source, or nothing after it there: no draft.
    EXPECT_EQ(lookup.draft({}, 4), Tokens{});
    EXPECT_EQ(lookup.draft({7, 8}, 4), Tokens{});
    EXPECT_EQ(lookup.draft({5, 6, 7}, 4), Tokens{});
    EXPECT_EQ(lookup.draft({1}, 0), Tokens{});
    // The longest tail decides: "9 2 3" occurs once, "2 3" twice.
    EXPECT_EQ(lookup.draft({9, 2, 3}, 2), (Tokens{4, 5}));
    EXPECT_EQ(lookup.draft({7, 7, 2, 3}, 3), (Tokens{9, 2, 3}));
    // Shorter tails are tried when the longer ones are not there; a draft stops at the end.
    EXPECT_EQ(lookup.draft({8, 8, 6}, 5), (Tokens{7}));
    EXPECT_EQ(lookup.draft({1, 2, 3, 4}, 8), (Tokens{5, 6, 7}));
    // A tail found only at the very end has nothing to offer; a shorter one is tried instead.
    EXPECT_EQ(PromptLookup({4, 5, 9, 4, 5}).draft({9, 4, 5}, 2), (Tokens{9, 4}));

    // Once part of a draft was accepted, later matches at or after it are preferred to earlier ones.
    PromptLookup copying({1, 2, 3, 9, 2, 3, 4, 5, 6, 7});
    EXPECT_EQ(copying.draft({3}, 2), (Tokens{9, 2})); // first "3", at 2
    copying.accepted(2);                              // read up to 5
    EXPECT_EQ(copying.draft({3}, 2), (Tokens{4, 5})); // the "3" at 5
    copying.accepted(0);                              // cursor at 6, where that draft began
    EXPECT_EQ(copying.draft({2, 3}, 1), (Tokens{4})); // "2 3" at 4 ends at 6: still forward
    copying.accepted(1);                              // cursor 7
    EXPECT_EQ(copying.draft({2, 3}, 1), (Tokens{9})); // none forward: the first
    EXPECT_EQ(copying.draft({5}, 1), (Tokens{6}));
}

// Drafts are checked only at lengths where agreeing tokens save evaluations, and failing
// drafts back off so that they cost little.
TEST(DraftPolicyTest, DraftsThatPayGrowAndDraftsThatFailPauseLongerEachTime)
{
    DraftPolicy policy(8);
    EXPECT_EQ(policy.shortest(), 3u);
    EXPECT_EQ(policy.length(2), 0u); // no room for a draft worth checking
    EXPECT_EQ(policy.length(3), 3u);
    EXPECT_EQ(policy.length(100), 3u);
    policy.record(3, 3);
    EXPECT_EQ(policy.length(100), 7u);
    EXPECT_EQ(policy.length(5), 5u); // room limits it
    policy.record(7, 7);
    EXPECT_EQ(policy.length(100), 8u); // never past the longest asked for
    policy.record(8, 6);               // paid: no pause, no growth
    EXPECT_EQ(policy.length(100), 8u);

    // Failures: back to the shortest after a pause of 8, then 16, up to 64 tokens.
    const auto pauseAfterFailure = [&policy](std::size_t drafted, std::size_t agreed) {
        policy.record(drafted, agreed);
        std::size_t paused = 0;
        while (policy.length(100) == 0) {
            ++paused;
        }
        return paused;
    };
    EXPECT_EQ(pauseAfterFailure(8, 5), 8u); // 5 of 8 does not pay
    EXPECT_EQ(policy.length(100), 3u);
    EXPECT_EQ(pauseAfterFailure(3, 1), 16u);
    EXPECT_EQ(pauseAfterFailure(3, 0), 32u);
    EXPECT_EQ(pauseAfterFailure(3, 0), 64u);
    EXPECT_EQ(pauseAfterFailure(3, 0), 64u);
    policy.record(3, 2); // one that pays resets the back-off, but only a whole one grows
    EXPECT_EQ(policy.length(100), 3u);
    EXPECT_EQ(pauseAfterFailure(3, 0), 8u);

    // A small longest draft is its own shortest; 0 never drafts.
    DraftPolicy two(2);
    EXPECT_EQ(two.length(100), 2u);
    two.record(2, 2);
    EXPECT_EQ(two.length(100), 2u);
    DraftPolicy none(0);
    EXPECT_EQ(none.length(100), 0u);
}

TEST(ModelLocationTest, UserDataFolderFirstThenSystem)
{
    using Paths = std::vector<std::filesystem::path>;
    const std::filesystem::path system = "/usr/share/kivo/models/language-model.gguf";
    EXPECT_EQ(ModelLocation::candidates("/x/data", "/home/u"),
              (Paths{"/x/data/kivo/models/language-model.gguf", system}));
    EXPECT_EQ(ModelLocation::candidates(nullptr, "/home/u"),
              (Paths{"/home/u/.local/share/kivo/models/language-model.gguf", system}));
    // A relative or empty XDG_DATA_HOME is ignored, as the XDG rules say.
    EXPECT_EQ(ModelLocation::candidates("relative", "/home/u"),
              (Paths{"/home/u/.local/share/kivo/models/language-model.gguf", system}));
    EXPECT_EQ(ModelLocation::candidates("", nullptr), (Paths{system}));
    EXPECT_EQ(ModelLocation::resolve({"/nonexistent/a", "/"}), std::optional<std::filesystem::path>("/"));
    EXPECT_FALSE(ModelLocation::resolve({"/nonexistent/a"}).has_value());
}

TEST(AvailabilityTest, DescriptionNamesTheReasonAndDetail)
{
    EXPECT_EQ(Availability::available().description(), "available");
    EXPECT_EQ(Availability::unavailable(Availability::UnavailableReason::modelNotFound, "no file at /a").description(),
              "unavailable(modelNotFound: no file at /a)");
    EXPECT_EQ(Availability::unavailable(Availability::UnavailableReason::cpuUnsupported, "").description(),
              "unavailable(cpuUnsupported)");
    EXPECT_FALSE(Availability::unavailable(Availability::UnavailableReason::modelInvalid, "x").isAvailable());
}

// The app reads the reason and detail back from the runner's reply.
TEST(AvailabilityTest, DescriptionReadsBackAsTheSameReasonAndDetail)
{
    using Reason = Availability::UnavailableReason;
    for (const auto reason : {Reason::cpuUnsupported, Reason::runtimeUnavailable, Reason::modelNotFound,
                              Reason::modelUnreadable, Reason::modelInvalid}) {
        for (const std::string detail : {"", "no file at /a: (b)", "x"}) {
            const auto read = Availability::fromDescription(Availability::unavailable(reason, detail).description());
            ASSERT_TRUE(read.has_value());
            EXPECT_EQ(read->reason, reason);
            EXPECT_EQ(read->detail, detail);
        }
    }
    EXPECT_TRUE(Availability::fromDescription("available")->isAvailable());
    EXPECT_EQ(Availability::unavailable(Reason::modelInvalid, "bad").explanation(), "modelInvalid: bad");
    EXPECT_EQ(Availability::available().explanation(), "");
    for (const char* text : {"", "availablex", "unavailable(", "unavailable()", "unavailable(modelGone: x)",
                             "unavailable(modelInvalid: x", "unavailable(modelInvalid x)"}) {
        EXPECT_FALSE(Availability::fromDescription(text).has_value()) << text;
    }
}

TEST(GenerationSchemaTest, StringRecordSchema)
{
    const GenerationSchema schema{"RewriteResult", {"text"}};
    EXPECT_EQ(schema.jsonSchemaText(),
              R"({"type":"object","title":"RewriteResult","properties":{"text":{"type":"string"}},)"
              R"("required":["text"],"additionalProperties":false})");
    EXPECT_NE(schema.promptText().find(schema.jsonSchemaText()), std::string::npos);
}

} // namespace
} // namespace kivo
