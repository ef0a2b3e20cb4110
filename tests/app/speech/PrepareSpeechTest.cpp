#include "ScriptedRecognizer.h"

#include "app/speech/CancellationError.h"
#include "app/speech/PrepareSpeech.h"
#include "app/speech/RecorderFailure.h"

#include <gtest/gtest.h>

using namespace kivo;
using kivo::testing::ScriptedRecognizer;

namespace {

SpeechSettings dictationWith(std::vector<std::string> hints)
{
    return {SpeechEngine::dictation, std::move(hints)};
}

template <class Error>
Error failureOf(const SpeechSettings& settings, ScriptedRecognizer& recognizer, std::stop_token stop = {})
{
    try {
        prepareSpeech(settings, recognizer, stop);
    } catch (const Error& error) {
        return error;
    }
    throw std::logic_error("preparation did not fail as expected");
}

} // namespace

TEST(PrepareSpeech, GeneralEngineStartsWithoutHints)
{
    ScriptedRecognizer recognizer;
    const auto prepared = prepareSpeech({SpeechEngine::speech, {"ignored"}}, recognizer, {});
    EXPECT_EQ(recognizer.calls,
              (std::vector<std::string>{"available", "locales.general", "format", "analyzer", "prepare", "start"}));
    ASSERT_TRUE(std::holds_alternative<std::shared_ptr<SpeechTranscriber>>(prepared.transcriber));
    EXPECT_EQ(prepared.format, AudioFormat::recognizerFormat());
    EXPECT_EQ(prepared.streamContinuation, recognizer.analyzer->input);
    EXPECT_FALSE(prepared.streamContinuation->isFinished());
    ASSERT_EQ(recognizer.modules.size(), 1u);
    EXPECT_EQ(recognizer.modules[0]->configuration().locale, "zh-HK");
    EXPECT_TRUE(recognizer.modules[0]->configuration().volatileResults);
    EXPECT_FALSE(recognizer.modules[0]->configuration().punctuation);
}

TEST(PrepareSpeech, DictationPassesHintsUnchangedAndSkipsAvailability)
{
    ScriptedRecognizer recognizer;
    recognizer.available = false;
    const auto prepared = prepareSpeech(dictationWith({" 灣仔 ", "Kivo"}), recognizer, {});
    EXPECT_EQ(recognizer.calls,
              (std::vector<std::string>{"locales.dictation", "format", "analyzer", "setContext", "prepare", "start"}));
    EXPECT_EQ(recognizer.analyzer->context.contextualStrings.at("general"),
              (std::vector<std::string>{" 灣仔 ", "Kivo"}));
    ASSERT_TRUE(std::holds_alternative<std::shared_ptr<DictationTranscriber>>(prepared.transcriber));
    const auto& configuration = recognizer.modules[0]->configuration();
    EXPECT_TRUE(configuration.punctuation && configuration.shortForm && configuration.transcriptionConfidence);

    ScriptedRecognizer noHints;
    prepareSpeech(dictationWith({}), noHints, {});
    EXPECT_EQ(std::count(noHints.calls.begin(), noHints.calls.end(), "setContext"), 0);
}

TEST(PrepareSpeech, ReportsUnavailableMissingLocaleAndNoFormat)
{
    ScriptedRecognizer unavailable;
    unavailable.available = false;
    EXPECT_EQ(failureOf<RecorderFailure>({}, unavailable).kind(), RecorderFailure::Case::unavailable);

    ScriptedRecognizer missing;
    missing.locales = {"zh-Hant-HK", "yue"};
    EXPECT_STREQ(failureOf<RecorderFailure>(dictationWith({}), missing).what(),
                 "The zh-HK dictation asset is not installed. Install it before trying again.");
    EXPECT_STREQ(failureOf<RecorderFailure>({}, missing).what(),
                 "The zh-HK speech asset is not installed. Install it before trying again.");

    ScriptedRecognizer underscore;
    underscore.locales = {"en_US", "ZH_hk"};
    EXPECT_NO_THROW(prepareSpeech({}, underscore, {}));

    ScriptedRecognizer noFormat;
    noFormat.format.reset();
    EXPECT_EQ(failureOf<RecorderFailure>({}, noFormat).kind(), RecorderFailure::Case::noAudioFormat);
    EXPECT_EQ(noFormat.analyzer, nullptr);
}

TEST(PrepareSpeech, CancellationBeforeTheAnalyzerNeedsNoCleanUp)
{
    for (const std::string at : {"locales.general", "format"}) {
        ScriptedRecognizer recognizer;
        std::stop_source source;
        recognizer.onStep = [&](const std::string& name) {
            if (name == at) {
                source.request_stop();
            }
        };
        failureOf<CancellationError>({}, recognizer, source.get_token());
        EXPECT_EQ(recognizer.analyzer, nullptr) << at;
    }
}

TEST(PrepareSpeech, CancellationAtEachLaterCheckpointCancelsTheAnalyzer)
{
    for (const std::string at : {"setContext", "prepare", "start"}) {
        ScriptedRecognizer recognizer;
        std::stop_source source;
        recognizer.onStep = [&](const std::string& name) {
            if (name == at) {
                source.request_stop();
            }
        };
        failureOf<CancellationError>(dictationWith({"hint"}), recognizer, source.get_token());
        ASSERT_NE(recognizer.analyzer, nullptr);
        EXPECT_TRUE(recognizer.analyzer->waitUntilCancelled()) << at;
        EXPECT_EQ(recognizer.calls.back(), at);
        if (at == "start") {
            EXPECT_TRUE(recognizer.analyzer->input->isFinished());
        }
    }
}

TEST(PrepareSpeech, EngineErrorsPassUnchangedAfterCleanUp)
{
    ScriptedRecognizer recognizer;
    recognizer.onStep = [](const std::string& name) {
        if (name == "start") {
            throw std::runtime_error("engine refused");
        }
    };
    EXPECT_STREQ(failureOf<std::runtime_error>({}, recognizer).what(), "engine refused");
    EXPECT_TRUE(recognizer.analyzer->waitUntilCancelled());
    EXPECT_TRUE(recognizer.analyzer->input->isFinished());
}
