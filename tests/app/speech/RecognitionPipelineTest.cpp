#include "tests/platform/speech/SpeechFixtures.h"

#include "app/speech/AudioBridge.h"
#include "app/speech/PrepareSpeech.h"
#include "app/speech/SpeechBounded.h"
#include "app/speech/TranscriptReducer.h"
#include "platform/speech/WhisperRecognizer.h"

#include <gtest/gtest.h>

using namespace kivo;
using kivo::testing::SpeechFixtures;

// Preparation, the bridge and the reducer over the real recogniser, as a recording uses them.
TEST(RecognitionPipeline, SpeechThroughTheBridgeEndsInAFinalTranscript)
{
    WhisperRecognizer::Configuration configuration{SpeechFixtures::shared().model, 1, {}};
    configuration.finalizeBudget = std::chrono::seconds(50); // a busy machine is slow, not wrong
    WhisperRecognizer recognizer(configuration);
    PreparedSpeech prepared = speechBounded(30.0, "preparation", {}, [&](std::stop_token stop) {
        return prepareSpeech({SpeechEngine::dictation, {"銀行"}}, recognizer, stop);
    });
    std::vector<std::string> failures;
    AudioBridge bridge(recognizer.makeConverter(prepared.format), prepared.streamContinuation,
                       [&](const std::string& text) { failures.push_back(text); });

    TranscriptReducer reducer;
    std::jthread reader([&] {
        while (auto result = prepared.results().next({})) {
            reducer.consume(result->text(), result->start, result->end, result->isFinal, result->finalizedThrough);
        }
    });

    const PcmBuffer speech = WavFile::read(SpeechFixtures::shared().speech);
    for (std::size_t at = 0; at < speech.samples.size(); at += 2048) {
        const std::size_t end = std::min(speech.samples.size(), at + 2048);
        bridge.submit(std::span<const float>(speech.samples).subspan(at, end - at), speech.format,
                      static_cast<double>(at) / speech.format.sampleRate);
    }
    speechBounded(60.0, "finalization", {}, [&](std::stop_token stop) {
        bridge.finish();
        prepared.analyzer->finalizeThroughEndOfInput(stop);
        reader.join();
        return true;
    });
    reducer.finishFinalizedInput();

    EXPECT_TRUE(failures.empty());
    EXPECT_FALSE(reducer.finalText().empty());
    EXPECT_EQ(reducer.displayText(), reducer.finalText());
    const auto segments = reducer.finalSegments();
    ASSERT_FALSE(segments.empty());
    for (std::size_t i = 1; i < segments.size(); ++i) {
        EXPECT_LE(segments[i - 1].endSeconds, segments[i].startSeconds);
    }
}

TEST(RecognitionPipeline, PreparationWithoutAModelReportsTheMissingAsset)
{
    WhisperRecognizer recognizer(WhisperRecognizer::Configuration{SpeechFixtures::shared().folder / "none.bin", 1, {}});
    try {
        prepareSpeech({SpeechEngine::speech, {}}, recognizer, {});
        FAIL();
    } catch (const RecorderFailure& failure) {
        EXPECT_EQ(failure.kind(), RecorderFailure::Case::localeNotInstalled);
    }
}
