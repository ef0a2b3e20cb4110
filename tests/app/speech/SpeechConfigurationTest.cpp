#include "app/speech/SpeechConfiguration.h"
#include "app/speech/RecorderFailure.h"
#include "app/speech/SpeechEngine.h"
#include "platform/speech/SpeechModelFile.h"
#include "tests/support/InterfaceLanguageScope.h"

#include <gtest/gtest.h>

using namespace kivo;
using Error = SpeechConfiguration::ConfigurationError;

namespace {

std::string repeated(const std::string& unit, int count)
{
    std::string out;
    for (int i = 0; i < count; ++i) {
        out += unit;
    }
    return out;
}

std::optional<std::string> failure(const std::vector<std::string>& hints)
{
    try {
        SpeechConfiguration::validate(hints);
    } catch (const Error& error) {
        return error.what();
    }
    return std::nullopt;
}

} // namespace

TEST(SpeechEngine, RawValuesTitlesAndOrder)
{
    EXPECT_EQ(SpeechEngine::allCases[0], SpeechEngine::speech);
    EXPECT_EQ(SpeechEngine(SpeechEngine::speech).rawValue(), "speech");
    EXPECT_EQ(SpeechEngine(SpeechEngine::dictation).title(), "Whisper with hints");
    EXPECT_EQ(test::inLanguage(true, [] { return SpeechEngine(SpeechEngine::speech).title(); }), "Whisper 語音模型");
    EXPECT_EQ(SpeechEngine(SpeechEngine::dictation).detail(), " · Supports hints");
    EXPECT_EQ(SpeechEngine::fromRawValue("dictation"), SpeechEngine::dictation);
    EXPECT_FALSE(SpeechEngine::fromRawValue("Speech").has_value());
}

TEST(SpeechEngine, TitlesNameTheInstalledModelByItsShape)
{
    auto shape = [](std::int32_t width, std::int32_t encoderLayers, std::int32_t decoderLayers, std::int32_t mels) {
        SpeechModelFile::Header header;
        header.nAudioState = width;
        header.nAudioLayer = encoderLayers;
        header.nTextLayer = decoderLayers;
        header.nMels = mels;
        return SpeechModelFile::sizeName(header);
    };
    EXPECT_EQ(shape(384, 4, 4, 80), "tiny");
    EXPECT_EQ(shape(384, 6, 6, 80), "");
    EXPECT_EQ(shape(512, 6, 6, 80), "base");
    EXPECT_EQ(shape(1024, 24, 24, 80), "medium");
    EXPECT_EQ(shape(1024, 12, 12, 80), "");
    EXPECT_EQ(shape(768, 12, 12, 80), "small");
    EXPECT_EQ(shape(1280, 32, 32, 80), "large");
    EXPECT_EQ(shape(1280, 32, 32, 128), "large-v3");
    EXPECT_EQ(shape(1280, 32, 4, 128), "large-v3-turbo");
    EXPECT_EQ(shape(768, 6, 6, 80), ""); // a shape nobody published
    EXPECT_EQ(SpeechEngine(SpeechEngine::speech).title("small"), "Whisper small");
    EXPECT_EQ(test::inLanguage(true, [] { return SpeechEngine(SpeechEngine::dictation).title("base"); }),
              "Whisper base＋提示詞");
    EXPECT_EQ(SpeechEngine(SpeechEngine::dictation).title("large-v3-turbo"), "Whisper turbo + hints");
    EXPECT_EQ(SpeechEngine(SpeechEngine::speech).title(""), "Whisper speech model");
}

TEST(RecorderFailure, MessagesAreExact)
{
    EXPECT_STREQ(RecorderFailure::timeout("preparation").what(), "Speech preparation timed out.");
    EXPECT_STREQ(RecorderFailure::capture("bad rate").what(), "Audio capture failed: bad rate");
    EXPECT_STREQ(RecorderFailure::unavailable().what(),
                 "This computer's processor lacks the instructions the Whisper speech model needs. Choose Whisper with "
                 "hints, which needs fewer.");
    EXPECT_STREQ(RecorderFailure::noAudioFormat().what(),
                 "No installed audio format is compatible with the selected transcriber.");
    EXPECT_STREQ(RecorderFailure::microphoneDenied().what(), "Microphone access was denied.");
    EXPECT_EQ(RecorderFailure::localeNotInstalled("dictation").payload(), "dictation");
}

TEST(SpeechConfiguration, CountRuleComesFirst)
{
    EXPECT_EQ(failure(std::vector<std::string>(50, "好")), std::nullopt);
    std::vector<std::string> tooMany(51, "好");
    tooMany[0] = "";
    tooMany[1] = repeated("長", 90);
    EXPECT_EQ(failure(tooMany), "Use at most 50 contextual phrases.");
    EXPECT_EQ(failure({}), std::nullopt);
}

TEST(SpeechConfiguration, LengthCountsUserPerceivedCharacters)
{
    const std::string family = "\U0001F468\u200D\U0001F469\u200D\U0001F467"; // one character, five scalars
    EXPECT_EQ(failure({repeated("字", 80)}), std::nullopt);
    EXPECT_EQ(failure({repeated(family, 80)}), std::nullopt);
    EXPECT_EQ(failure({"ok", repeated("字", 81)}), "Contextual phrase 2 exceeds 80 characters.");
    // Length is measured untrimmed: 79 characters plus two spaces is too long.
    EXPECT_EQ(failure({" " + repeated("字", 79) + " "}), "Contextual phrase 1 exceeds 80 characters.");
}

TEST(SpeechConfiguration, BlankPhraseReportsItsPosition)
{
    try {
        SpeechConfiguration::validate({"a", "b", " \u3000\n ", repeated("x", 100)});
        FAIL();
    } catch (const Error& error) {
        EXPECT_EQ(error.kind(), Error::Case::emptyContextualString);
        EXPECT_EQ(error.position(), 3);
        EXPECT_STREQ(error.what(), "Contextual phrase 3 is empty.");
    }
}

TEST(SpeechConfiguration, DistinctAlternativesKeepOnlyNewText)
{
    EXPECT_EQ(SpeechConfiguration::distinctAlternatives("你好", {" 你好", "", "早晨", "早晨 "}),
              (std::vector<std::string>{"早晨"}));
    EXPECT_EQ(SpeechConfiguration::distinctAlternatives(" 你好\n", {"你好嗎 ", "  ", "你好", "再見"}),
              (std::vector<std::string>{"你好嗎 ", "再見"}));
}

TEST(SpeechConfiguration, TranscriberFactoriesDifferOnlyWhereTheyShould)
{
    const auto general = SpeechConfiguration::makeTranscriber()->configuration();
    const auto dictation = SpeechConfiguration::makeDictationTranscriber()->configuration();
    EXPECT_EQ(general.locale, "zh-HK");
    EXPECT_EQ(dictation.locale, "zh-HK");
    EXPECT_TRUE(general.volatileResults && general.alternativeTranscriptions && general.transcriptionConfidence);
    EXPECT_FALSE(general.punctuation || general.shortForm);
    EXPECT_TRUE(dictation.volatileResults && dictation.alternativeTranscriptions && dictation.punctuation &&
                dictation.shortForm);
}
