// The layer's pure rules: locales, model location, availability text, schema.
#include "platform/languagemodel/Availability.h"
#include "platform/languagemodel/GenerationSchema.h"
#include "platform/languagemodel/LocaleSupport.h"
#include "platform/languagemodel/ModelLocation.h"

#include <gtest/gtest.h>

namespace kivo {
namespace {

TEST(LocaleSupportTest, GoesByTheLanguageSubtag) {
    for (const char* supported : {"zh-HK", "zh-TW", "zh-CN", "en-US", "zh", "en", "yue", "yue-Hant-HK", "zh_Hant_TW",
                                  "ZH-hk", "en-GB", "zh-Hans"}) {
        EXPECT_TRUE(LocaleSupport::supports(supported)) << supported;
    }
    for (const char* unsupported : {"", "fr-FR", "ja", "zho", "e", "-zh", "zh-", "zh--HK", "zh HK", "z1", "en-US-",
                                    "zh-toolongsubtag", "\xE4\xB8\xAD"}) {
        EXPECT_FALSE(LocaleSupport::supports(unsupported)) << unsupported;
    }
}

TEST(ModelLocationTest, UserDataFolderFirstThenSystem) {
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

TEST(AvailabilityTest, DescriptionNamesTheReasonAndDetail) {
    EXPECT_EQ(Availability::available().description(), "available");
    EXPECT_EQ(Availability::unavailable(Availability::UnavailableReason::modelNotFound, "no file at /a").description(),
              "unavailable(modelNotFound: no file at /a)");
    EXPECT_EQ(Availability::unavailable(Availability::UnavailableReason::cpuUnsupported, "").description(),
              "unavailable(cpuUnsupported)");
    EXPECT_FALSE(Availability::unavailable(Availability::UnavailableReason::modelInvalid, "x").isAvailable());
}

TEST(GenerationSchemaTest, StringRecordSchema) {
    const GenerationSchema schema{"RewriteResult", {"text"}};
    EXPECT_EQ(schema.jsonSchemaText(),
              R"({"type":"object","title":"RewriteResult","properties":{"text":{"type":"string"}},)"
              R"("required":["text"],"additionalProperties":false})");
    EXPECT_NE(schema.promptText().find(schema.jsonSchemaText()), std::string::npos);
}

}  // namespace
}  // namespace kivo
