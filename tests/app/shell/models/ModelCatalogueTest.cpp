// The catalogue file, the command line and the missing-model advice.
#include "app/shell/models/ModelAdvice.h"
#include "app/shell/models/ModelError.h"
#include "app/shell/models/ModelText.h"
#include "app/shell/models/ModelsCommand.h"
#include "tests/app/shell/models/ModelsFixture.h"

#include <sstream>

namespace kivo {
namespace {

using test::ModelsFixture;

std::string catalogueProblem(const std::string& json)
{
    try {
        ModelCatalogue::parse(json);
    } catch (const ModelError& failure) {
        EXPECT_EQ(failure.kind(), ModelError::Case::catalogueInvalid);
        return failure.what();
    }
    return {};
}

TEST(ModelCatalogueTest, TheBuiltInCatalogueOffersModelsOfEachRoleOverHttpsWithTheirSources)
{
    const auto catalogue = ModelCatalogue::load({});
    ASSERT_EQ(catalogue.forRole(ModelRole::speech).size(), 6u);
    ASSERT_EQ(catalogue.forRole(ModelRole::language).size(), 3u);
    for (const auto& entry : catalogue.entries) {
        EXPECT_TRUE(entry.url.starts_with("https://")) << entry.name;
        EXPECT_GT(entry.bytes, 50000000u) << entry.name;
        EXPECT_TRUE(entry.source.starts_with("https://huggingface.co/")) << entry.name;
        EXPECT_FALSE(entry.shape.empty()) << entry.name;
        EXPECT_FALSE(entry.licence.empty()) << entry.name;
        EXPECT_FALSE(entry.pick.empty()) << entry.name;
        EXPECT_NE(entry.pickChinese, entry.pick) << entry.name;
    }
    // Only the 100-language whisper models know Cantonese, and the default comes first.
    EXPECT_TRUE(catalogue.forRole(ModelRole::speech).front()->cantonese);
    EXPECT_FALSE(catalogue.find("whisper-small")->cantonese);
    EXPECT_FALSE(catalogue.find("whisper-base")->cantonese);
    // Fine-tuned models decode as "zh" yet write Cantonese; the multilingual small and base do not.
    std::size_t fineTuned = 0;
    for (const auto* entry : catalogue.forRole(ModelRole::speech)) {
        if (entry->fineTunedCantonese) {
            ++fineTuned;
            EXPECT_FALSE(entry->cantonese) << entry->name;
            EXPECT_NE(ModelText::entryLine(*entry, false).find("Cantonese (fine-tuned)"), std::string::npos);
        }
    }
    EXPECT_EQ(fineTuned, 3u);
    EXPECT_NE(catalogue.find("whisper-small-cantonese")->errorRate.find("7.93"), std::string::npos);
    EXPECT_NE(ModelText::entryLine(*catalogue.find("whisper-base"), false).find("run as Mandarin"), std::string::npos);
    EXPECT_TRUE(catalogue.forRole(ModelRole::language).front()->url.ends_with("qwen2.5-1.5b-instruct-q4_k_m.gguf"));
}

TEST(ModelCatalogueTest, MalformedCataloguesAreRefusedWithTheReason)
{
    EXPECT_NE(catalogueProblem("[]").find("\"models\" list"), std::string::npos);
    EXPECT_NE(catalogueProblem(R"({"models":[{"name":"a","role":"speech"}]})").find("\"url\""), std::string::npos);
    EXPECT_NE(catalogueProblem(R"({"models":[{"name":"a","role":"video","url":"x"}]})").find("role"), std::string::npos);
    EXPECT_NE(catalogueProblem(R"({"models":[{"name":"a","role":"speech","url":"x","sha256":"ABC"}]})").find("SHA-256"),
              std::string::npos);
    EXPECT_NE(catalogueProblem(R"({"models":[{"name":"a","role":"speech","url":"x","fineTunedCantonese":"yes"}]})")
                  .find("fineTunedCantonese"),
              std::string::npos);
    EXPECT_NE(catalogueProblem(R"({"models":[{"name":"a","role":"speech","url":"x"},{"name":"a","role":"language","url":"y"}]})")
                  .find("twice"),
              std::string::npos);
}

TEST(ModelCatalogueTest, RelativeAddressesFollowTheCatalogue)
{
    const auto remote = ModelCatalogue::parse(R"({"models":[{"name":"a","role":"speech","url":"m/a.bin"}]})",
                                              "https://mirror.example/kivo/catalogue.json");
    EXPECT_EQ(remote.entries[0].url, "https://mirror.example/kivo/m/a.bin");
    const auto local = ModelCatalogue::parse(R"({"models":[{"name":"a","role":"speech","url":"a.bin"}]})",
                                             "/srv/models/catalogue.json");
    EXPECT_EQ(local.entries[0].url, "/srv/models/a.bin");
}

class ModelsCommandTest : public ModelsFixture {
protected:
    int run(const std::vector<std::string>& arguments)
    {
        out.str({});
        err.str({});
        return ModelsCommand::run(arguments, out, err);
    }
    std::ostringstream out;
    std::ostringstream err;
};

TEST_F(ModelsCommandTest, InstallsListsVerifiesAndRemovesFromALoopbackCatalogue)
{
    const std::string catalogue = writeCatalogue().string();
    const std::string remoteCatalogue = server.url("/catalogue.json");
    server.serve("/catalogue.json", test::readAll(catalogue));

    ASSERT_EQ(run({"--catalogue", remoteCatalogue, "list"}), 0) << err.str();
    EXPECT_NE(out.str().find("speech: Not installed: no file at " + (dataHome / "kivo/models/speech-model.bin").string()),
              std::string::npos)
        << out.str();
    EXPECT_NE(out.str().find("tiny-language  [language]"), std::string::npos) << out.str();

    EXPECT_EQ(run({"--catalogue", catalogue, "install", "tiny-speech"}), 0) << err.str();
    EXPECT_NE(out.str().find("Installed " + ModelStore::target(ModelRole::speech).string()), std::string::npos);
    EXPECT_EQ(run({"--catalogue", remoteCatalogue, "install", "tiny-language"}), 0) << err.str();
    EXPECT_NE(err.str().find("checking the file"), std::string::npos) << err.str();

    EXPECT_EQ(run({"verify"}), 0) << err.str();
    EXPECT_NE(out.str().find("speech: " + ModelStore::target(ModelRole::speech).string()), std::string::npos);
    EXPECT_NE(out.str().find("Cantonese (yue)"), std::string::npos) << out.str();

    EXPECT_EQ(run({"remove", "speech"}), 0);
    EXPECT_EQ(out.str(), "Removed " + ModelStore::target(ModelRole::speech).string() + ".\n");
    EXPECT_EQ(run({"verify", "speech"}), 1);
    EXPECT_NE(err.str().find("No speech model is installed"), std::string::npos);
}

TEST_F(ModelsCommandTest, FailuresAndMistakesHaveTheirOwnStatus)
{
    EXPECT_EQ(run({}), 2);
    EXPECT_EQ(run({"install"}), 2);
    EXPECT_EQ(run({"remove", "video"}), 2);
    EXPECT_EQ(run({"--catalogue", writeCatalogue().string(), "install", "nothing"}), 1);
    EXPECT_NE(err.str().find("\"nothing\" is not in the catalogue"), std::string::npos);

    const auto broken = std::filesystem::path(folder.path()) / "broken.bin";
    test::writeAll(broken, "ggml but not really");
    EXPECT_EQ(run({"import", broken.string(), "speech"}), 1);
    EXPECT_EQ(err.str(), "broken.bin is not a whisper model in the ggml format.\n");
    EXPECT_FALSE(installed(ModelRole::speech));
}

TEST_F(ModelsFixture, MissingModelAdviceNamesTheFolderActuallySearched)
{
    const std::string folder = (dataHome / "kivo" / "models").string();
    EXPECT_EQ(ModelAdvice::speechMissing(false),
              "The speech model is missing: no speech-model.bin in " + folder
                  + ". Click this line to open Models and download one.");
    EXPECT_NE(ModelAdvice::speechMissing(true).find(folder), std::string::npos);
    const std::string language = ModelAdvice::languageUnavailable("modelNotFound: no file", false);
    EXPECT_TRUE(language.ends_with("put a GGUF chat model at " + folder + "/language-model.gguf.")) << language;
    EXPECT_EQ(language.find(".."), std::string::npos);
    EXPECT_EQ(language.find("~/.local"), std::string::npos);

    // A file that is there but unusable is named, not called missing.
    test::writeAll(ModelStore::target(ModelRole::speech), "not whisper");
    EXPECT_EQ(ModelAdvice::speechMissing(false), "The speech model " + folder
                                                     + "/speech-model.bin is not a multilingual whisper model. Click "
                                                       "this line to open Models and replace it.");
    EXPECT_TRUE(ModelAdvice::isSpeechModelFailure("The speech model could not be loaded: /x/speech-model.bin"));
    EXPECT_FALSE(ModelAdvice::isSpeechModelFailure("Speech finalization timed out."));
}

} // namespace
} // namespace kivo
