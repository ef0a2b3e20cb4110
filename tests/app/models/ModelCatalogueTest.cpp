// The catalogue file, the command line and the missing-model advice.
#include "app/models/ModelAdvice.h"
#include "app/models/ModelError.h"
#include "app/models/ModelText.h"
#include "app/models/ModelsCommand.h"
#include "tests/app/models/ModelsFixture.h"
#include "tests/support/InterfaceLanguageScope.h"

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
            EXPECT_NE(ModelText::entryLine(*entry).find("Cantonese (fine-tuned)"), std::string::npos);
        }
    }
    EXPECT_EQ(fineTuned, 3u);
    EXPECT_NE(catalogue.find("whisper-small-cantonese")->errorRate.find("7.93"), std::string::npos);
    EXPECT_NE(ModelText::entryLine(*catalogue.find("whisper-base")).find("run as Mandarin"), std::string::npos);
    EXPECT_TRUE(catalogue.forRole(ModelRole::language).front()->url.ends_with("qwen2.5-1.5b-instruct-q4_k_m.gguf"));
}

TEST(ModelCatalogueTest, MalformedCataloguesAreRefusedWithTheReason)
{
    const std::pair<const char*, const char*> cases[] = {
        {"[]", "\"models\" list"},
        {R"({"models":[{"name":"a","role":"speech"}]})", "\"url\""},
        {R"({"models":[{"name":"a","role":"video","url":"x"}]})", "role"},
        {R"({"models":[{"name":"a","role":"speech","url":"x","sha256":"ABC"}]})", "SHA-256"},
        {R"({"models":[{"name":"a","role":"speech","url":"x","fineTunedCantonese":"yes"}]})", "fineTunedCantonese"},
        {R"({"models":[{"name":"a","role":"speech","url":"x"},{"name":"a","role":"language","url":"y"}]})", "twice"},
    };
    for (const auto& [json, reason] : cases) {
        EXPECT_NE(catalogueProblem(json).find(reason), std::string::npos) << json;
    }
}

TEST(ModelCatalogueTest, RelativeAddressesFollowTheCatalogue)
{
    const auto remote = ModelCatalogue::parse(R"({"models":[{"name":"a","role":"speech","url":"m/a.bin"}]})",
                                              "https://mirror.example/kivo/catalogue.json");
    EXPECT_EQ(remote.entries[0].url, "https://mirror.example/kivo/m/a.bin");
    // A catalogue file's entries are files beside it, as URLs the downloader takes.
    const auto local = ModelCatalogue::parse(
        R"({"models":[{"name":"a","role":"speech","url":"a.bin"},{"name":"b","role":"language","url":"../x y.gguf"}]})",
        "/srv/models/catalogue.json");
    EXPECT_EQ(local.entries[0].url, "file:///srv/models/a.bin");
    EXPECT_EQ(local.entries[1].url, "file:///srv/x%20y.gguf");
    EXPECT_EQ(ModelCatalogue::parse(R"({"models":[{"name":"a","role":"speech","url":"file:///m/a.bin"}]})",
                                    "/srv/models/catalogue.json")
                  .entries[0]
                  .url,
              "file:///m/a.bin");
    // Only a catalogue on this machine may name its files.
    for (const char* base : {"https://mirror.example/kivo/catalogue.json", ""}) {
        try {
            ModelCatalogue::parse(R"({"models":[{"name":"a","role":"speech","url":"file:///etc/passwd"}]})", base);
            ADD_FAILURE() << base;
        } catch (const ModelError& failure) {
            EXPECT_NE(std::string(failure.what()).find("local file"), std::string::npos) << failure.what();
        }
    }
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
    EXPECT_NE(
        out.str().find("speech: Not installed: no file at " + (dataHome / "kivo/models/speech-model.bin").string()),
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

TEST_F(ModelsFixture, MissingModelAdviceSaysWhatToDoAndKeepsTheParticularsForTheTooltip)
{
    const std::string folder = (dataHome / "kivo" / "models").string();
    const auto speech = ModelAdvice::speechMissing();
    EXPECT_EQ(speech.status, "No speech model is installed. Download one.");
    EXPECT_EQ(speech.details, "No speech-model.bin in " + folder + ".");
    EXPECT_EQ(test::inLanguage(true, [&] { return ModelAdvice::speechMissing(); }).status,
              "未安裝語音模型。請下載一個。");
    EXPECT_NE(test::inLanguage(true, [&] { return ModelAdvice::speechMissing(); }).details.find(folder),
              std::string::npos);

    // Each of the runtime's reasons is a sentence; the code and the file stay in the details.
    const std::vector<std::pair<std::string, std::string>> reasons{
        {"modelNotFound: no file at /x", "No language model is installed. Download one."},
        {"modelInvalid: cannot read /x as a GGUF file",
         "The language model file is not a usable GGUF chat model. Download it again or choose another."},
        {"modelUnreadable: /x: Permission denied",
         "The language model file cannot be read. Check its permissions, or download it again."},
        {"cpuUnsupported: this processor lacks AVX2",
         "This computer's processor cannot run the language model; speech recognition still works."},
        {"runtimeUnavailable: no backend", "The language model could not start. Reinstall Kivo."}};
    for (const auto& [detail, sentence] : reasons) {
        const auto advice = ModelAdvice::languageUnavailable(detail);
        EXPECT_EQ(advice.status, sentence);
        EXPECT_EQ(advice.details, detail + "\nKivo reads " + folder + "/language-model.gguf.");
        const auto chinese = test::inLanguage(true, [&] { return ModelAdvice::languageUnavailable(detail); });
        EXPECT_EQ(chinese.status.find(detail.substr(0, detail.find(':'))), std::string::npos) << chinese.status;
        EXPECT_TRUE(chinese.details.starts_with(detail));
    }
    EXPECT_NE(test::inLanguage(true, [&] { return ModelAdvice::languageUnavailable("modelInvalid: x"); }).status,
              test::inLanguage(true, [&] { return ModelAdvice::languageUnavailable("modelNotFound: x"); }).status);
    EXPECT_EQ(ModelAdvice::openModelsAction(), "Click here to open Models ›");

    // At start: both missing, then one, then none.
    EXPECT_EQ(ModelAdvice::missingAtStart()->status, "The speech and language models are not installed yet.");
    EXPECT_EQ(ModelAdvice::missingAtStart()->details,
              "Kivo reads " + folder + "/speech-model.bin.\nKivo reads " + folder + "/language-model.gguf.");
    test::writeAll(ModelStore::target(ModelRole::language), "gguf");
    EXPECT_EQ(ModelAdvice::missingAtStart()->status,
              "The speech model is not installed yet, so recording cannot be recognised.");
    EXPECT_EQ(ModelAdvice::missingAtStart()->details, "Kivo reads " + folder + "/speech-model.bin.");

    // A file that is there but unusable is named, not called missing.
    test::writeAll(ModelStore::target(ModelRole::speech), "not whisper");
    EXPECT_FALSE(test::inLanguage(true, [&] { return ModelAdvice::missingAtStart(); }));
    EXPECT_EQ(ModelAdvice::speechMissing().status,
              "The installed speech model is not a multilingual whisper model, so it cannot recognise Cantonese. "
              "Replace it.");
    EXPECT_EQ(ModelAdvice::speechMissing().details, folder + "/speech-model.bin");
    std::filesystem::remove(ModelStore::target(ModelRole::language));
    EXPECT_EQ(test::inLanguage(true, [&] { return ModelAdvice::missingAtStart(); })->status,
              "尚未安裝語言模型，無法轉換文字。");
    EXPECT_EQ(ModelAdvice::speechBroken("The speech model could not be loaded: /x").details,
              "The speech model could not be loaded: /x");
    EXPECT_TRUE(ModelAdvice::isSpeechModelFailure("The speech model could not be loaded: /x/speech-model.bin"));
    EXPECT_FALSE(ModelAdvice::isSpeechModelFailure("Speech finalization timed out."));
}

} // namespace
} // namespace kivo
