#include "SpeechFixtures.h"

#include "platform/speech/DictationTranscriber.h"
#include "platform/speech/SpeechTranscriber.h"
#include "platform/speech/WhisperDecoder.h"
#include "platform/speech/WhisperRecognizer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <thread>

using namespace kivo;
using kivo::testing::SpeechFixtures;

namespace {

struct Session {
    WhisperRecognizer recognizer;
    std::shared_ptr<Transcriber> transcriber;
    std::shared_ptr<SpeechAnalyzer> analyzer;
    std::shared_ptr<Channel<AnalyzerInput>> input = std::make_shared<Channel<AnalyzerInput>>();

    static WhisperRecognizer::Configuration configuration(std::chrono::milliseconds finalizeBudget,
                                                          StreamingWindow::Options window)
    {
        WhisperRecognizer::Configuration c{SpeechFixtures::shared().model, 1, window};
        c.finalizeBudget = finalizeBudget;
        return c;
    }

    // Past any stall of a busy machine: tests of the time limit pass their own.
    explicit Session(bool dictation = false, std::vector<std::string> hints = {}, bool startNow = true,
                     std::chrono::milliseconds finalizeBudget = std::chrono::seconds(60),
                     StreamingWindow::Options window = {})
        : recognizer(configuration(finalizeBudget, window))
    {
        if (dictation) {
            transcriber = std::make_shared<DictationTranscriber>("zh-HK", true, true, true, true, true);
        } else {
            transcriber = std::make_shared<SpeechTranscriber>("zh-HK", true, true, true);
        }
        analyzer = recognizer.makeAnalyzer({transcriber});
        if (!hints.empty()) {
            AnalysisContext context;
            context.contextualStrings["general"] = hints;
            analyzer->setContext(context);
        }
        analyzer->prepareToAnalyze(*recognizer.bestAvailableAudioFormat({transcriber}));
        if (startNow) {
            analyzer->start(input);
        }
    }

    // The file through the converter in microphone-sized packets.
    void feed(const PcmBuffer& audio)
    {
        auto converter = recognizer.makeConverter(AudioFormat::recognizerFormat());
        const std::size_t channels = static_cast<std::size_t>(audio.format.channelCount);
        for (std::size_t at = 0; at < audio.frameCount(); at += 2048) {
            const std::size_t end = std::min(audio.frameCount(), at + 2048);
            PcmBuffer packet{audio.format,
                             {audio.samples.begin() + static_cast<std::ptrdiff_t>(at * channels),
                              audio.samples.begin() + static_cast<std::ptrdiff_t>(end * channels)}};
            for (auto& converted : converter->convert(packet, static_cast<double>(at) / audio.format.sampleRate)) {
                input->yield(std::move(converted));
            }
        }
        for (auto& converted : converter->flush()) {
            input->yield(std::move(converted));
        }
    }

    std::vector<TranscriptionResult> finalizeAndCollect()
    {
        input->finish();
        analyzer->finalizeThroughEndOfInput({});
        std::vector<TranscriptionResult> results;
        while (auto result = transcriber->results().next({})) {
            results.push_back(std::move(*result));
        }
        return results;
    }
};

void expectOrderedFiniteRanges(const std::vector<TranscriptionResult>& results)
{
    double lastFinalEnd = 0.0;
    for (const auto& result : results) {
        EXPECT_TRUE(std::isfinite(result.start) && std::isfinite(result.end));
        EXPECT_LT(result.start, result.end);
        EXPECT_TRUE(std::isfinite(result.finalizedThrough));
        if (result.isFinal) {
            EXPECT_GE(result.start, lastFinalEnd); // finals never overlap
            lastFinalEnd = result.end;
            EXPECT_DOUBLE_EQ(result.finalizedThrough, result.end);
        }
        for (const auto& run : result.runs) {
            ASSERT_TRUE(run.confidence.has_value());
            EXPECT_GE(*run.confidence, 0.0);
            EXPECT_LE(*run.confidence, 1.0);
        }
    }
}

} // namespace

TEST(WhisperRecognizer, CantoneseSpeechGivesOrderedResultsAndFinalizeEndsTheStream)
{
    Session session;
    const PcmBuffer speech = WavFile::read(SpeechFixtures::shared().speech);
    ASSERT_EQ(speech.format.sampleRate, 22050.0);
    session.feed(speech);
    const auto results = session.finalizeAndCollect();
    ASSERT_FALSE(results.empty());
    expectOrderedFiniteRanges(results);
    EXPECT_TRUE(results.back().isFinal);
    EXPECT_FALSE(results.back().text().empty());
    EXPECT_FALSE(results.back().fromProvisional); // decoded in time
    EXPECT_LE(results.back().end, static_cast<double>(speech.frameCount()) / speech.format.sampleRate + 0.1);
    EXPECT_TRUE(session.transcriber->results().isExhausted());
}

TEST(WhisperRecognizer, SilenceProducesNoText)
{
    Session session;
    session.feed(PcmBuffer{{48000.0, 1}, std::vector<float>(48000 * 3, 0.0f)});
    for (const auto& result : session.finalizeAndCollect()) {
        EXPECT_EQ(result.text(), "");
    }
}

TEST(WhisperRecognizer, CancelEndsTheStreamWhileInputIsStillOpen)
{
    Session session;
    session.feed(WavFile::read(SpeechFixtures::shared().speech));
    session.analyzer->cancelAndFinishNow(); // the input was never finished
    EXPECT_TRUE(session.transcriber->results().isFinished());
    session.analyzer->finalizeThroughEndOfInput({}); // returns: nothing is left to wait for
    session.analyzer->cancelAndFinishNow();          // a second cancel is harmless
}

TEST(WhisperRecognizer, WindowsKeepTheirCapWhenAudioArrivesFasterThanDecoding)
{
    const PcmBuffer once = WavFile::read(SpeechFixtures::shared().speech);
    PcmBuffer speech{once.format, {}};
    while (speech.frameCount() < static_cast<std::size_t>(30 * once.format.sampleRate)) {
        speech.samples.insert(speech.samples.end(), once.samples.begin(), once.samples.end());
    }
    // The recogniser's cap, and a shorter one its caller asks for.
    for (const double longest : {0.0, 6.0}) {
        // Half a minute of speech already queued when the analyzer starts, as after a stall.
        Session session(false, {}, false);
        AnalysisContext context;
        context.longestWindow = longest;
        session.analyzer->setContext(context);
        session.feed(speech);
        session.analyzer->start(session.input);
        const auto results = session.finalizeAndCollect();
        ASSERT_FALSE(results.empty());
        expectOrderedFiniteRanges(results);
        std::size_t provisionals = 0;
        for (const auto& result : results) {
            EXPECT_LE(result.end - result.start, (longest > 0.0 ? longest : 10.0) + 1e-9)
                << result.start << "-" << result.end;
            provisionals += result.isFinal ? 0 : 1;
        }
        // Behind by far more than a step: provisional passes are skipped, not queued.
        EXPECT_LE(provisionals, 2u);
        EXPECT_TRUE(results.back().isFinal);
        EXPECT_NEAR(results.back().end, static_cast<double>(speech.frameCount()) / speech.format.sampleRate, 0.1);
    }
}

TEST(WhisperRecognizer, WindowsCloseEarlierWhenDecodingIsSlow)
{
    // Twenty seconds of speech without a pause, queued at once: the espeak phrase with its
    // pauses cut down to short gaps, over and over.
    const PcmBuffer phrase = WavFile::read(SpeechFixtures::shared().speech);
    ASSERT_EQ(phrase.format.channelCount, 1);
    const auto frame = static_cast<std::size_t>(phrase.format.sampleRate / 50);
    PcmBuffer syllables{phrase.format, {}};
    while (syllables.frameCount() < static_cast<std::size_t>(20 * phrase.format.sampleRate)) {
        int quietFrames = 0;
        for (std::size_t at = 0; at + frame <= phrase.samples.size(); at += frame) {
            double energy = 0.0;
            for (std::size_t i = at; i < at + frame; ++i) {
                energy += static_cast<double>(phrase.samples[i]) * phrase.samples[i];
            }
            quietFrames = std::sqrt(energy / static_cast<double>(frame)) < 0.01 ? quietFrames + 1 : 0;
            if (quietFrames <= 3) {
                syllables.samples.insert(syllables.samples.end(),
                                         phrase.samples.begin() + static_cast<std::ptrdiff_t>(at),
                                         phrase.samples.begin() + static_cast<std::ptrdiff_t>(at + frame));
            }
        }
    }
    const auto finals = [&](StreamingWindow::Options window) {
        Session session(false, {}, false, std::chrono::seconds(60), window);
        session.feed(syllables);
        session.analyzer->start(session.input);
        // The input stays open while the queue is worked off, as during a recording.
        std::vector<std::pair<double, double>> ranges;
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while ((ranges.empty() || ranges.back().second < 15.0) && std::chrono::steady_clock::now() < until) {
            if (const auto result = session.transcriber->results().next({}, std::chrono::milliseconds(100));
                result && result->isFinal) {
                ranges.emplace_back(result->start, result->end);
            }
        }
        for (const auto& result : session.finalizeAndCollect()) {
            if (result.isFinal) {
                ranges.emplace_back(result.start, result.end);
            }
        }
        return ranges;
    };
    // Every pass here is slower than a zero target: after the first measured pass, windows
    // close at the first gap past the shortest cap.
    StreamingWindow::Options slow;
    slow.decodeTarget = 0.0;
    slow.shortestCap = 2.0;
    slow.dipSearch = 0.5;
    const auto early = finals(slow);
    ASSERT_GE(early.size(), 3u);
    for (std::size_t i = 1; i + 1 < early.size(); ++i) {
        EXPECT_GE(early[i].second - early[i].first, 2.0);
        EXPECT_LE(early[i].second - early[i].first, 2.5) << early[i].first;
    }
    // A target no pass can miss keeps whole windows.
    StreamingWindow::Options fast;
    fast.decodeTarget = 1e6;
    const auto whole = finals(fast);
    ASSERT_FALSE(whole.empty());
    EXPECT_NEAR(whole.front().second - whole.front().first, 10.0, 0.05);
}

TEST(WhisperRecognizer, ProvisionalPassesTooSlowToHelpAreSkipped)
{
    StreamingWindow::Options never;
    never.provisionalLimit = 0.0;
    Session session(false, {}, true, std::chrono::seconds(60), never);
    session.feed(WavFile::read(SpeechFixtures::shared().speech));
    const auto results = session.finalizeAndCollect();
    ASSERT_FALSE(results.empty());
    for (const auto& result : results) {
        EXPECT_TRUE(result.isFinal) << result.start << "-" << result.end;
    }
    EXPECT_FALSE(results.back().text().empty());
}

namespace {

// Results of a recording that shows provisional text before it stops.
std::vector<TranscriptionResult> recordPastProvisionalText(std::chrono::milliseconds finalizeBudget)
{
    // Provisional passes are never skipped here, however busy the machine: a skipped pass
    // would leave nothing shown to keep.
    StreamingWindow::Options always;
    always.provisionalLimit = 1e9;
    Session session(false, {}, true, finalizeBudget, always);
    session.feed(WavFile::read(SpeechFixtures::shared().speech));
    std::vector<TranscriptionResult> results;
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (std::chrono::steady_clock::now() < until) {
        auto result = session.transcriber->results().next({}, std::chrono::milliseconds(100));
        if (result) {
            results.push_back(*result);
            if (!result->isFinal && !result->text().empty()) {
                break;
            }
        }
    }
    EXPECT_FALSE(results.empty() || results.back().isFinal) << "no provisional text came before the end";
    for (auto& result : session.finalizeAndCollect()) {
        results.push_back(std::move(result));
    }
    expectOrderedFiniteRanges(results);
    return results;
}

} // namespace

TEST(WhisperRecognizer, AFinalDecodeSlowerThanTheBudgetKeepsTheProvisionalText)
{
    // No time at all after the input ends: every decode from then on is slower than the budget.
    const auto results = recordPastProvisionalText(std::chrono::milliseconds(0));
    ASSERT_TRUE(!results.empty() && results.back().isFinal);
    // The last window's final is what was last shown for it, not nothing.
    const auto lastShown = std::find_if(results.rbegin() + 1, results.rend(),
                                        [&](const auto& r) { return !r.isFinal && r.start == results.back().start; });
    ASSERT_NE(lastShown, results.rend());
    EXPECT_FALSE(results.back().text().empty());
    EXPECT_EQ(results.back().text(), lastShown->text());
    EXPECT_TRUE(results.back().fromProvisional);
    EXPECT_FALSE(lastShown->fromProvisional);

    // With time to spare the final is decoded, not copied.
    const auto decoded = recordPastProvisionalText(std::chrono::seconds(60));
    ASSERT_TRUE(!decoded.empty() && decoded.back().isFinal);
    EXPECT_FALSE(decoded.back().fromProvisional);
}

TEST(WhisperRecognizer, SpeechLeftUndecodedWhenTimeRunsOutIsReportedNotDropped)
{
    // The input has ended before anything was decoded, and there is no time left at all.
    Session session(false, {}, false, std::chrono::milliseconds(0));
    const PcmBuffer speech = WavFile::read(SpeechFixtures::shared().speech);
    session.feed(speech);
    session.input->finish();
    session.analyzer->start(session.input);
    session.analyzer->finalizeThroughEndOfInput({});
    std::vector<TranscriptionResult> finals;
    while (auto result = session.transcriber->results().next({})) {
        if (result->isFinal) {
            finals.push_back(std::move(*result));
        }
    }
    ASSERT_FALSE(finals.empty());
    for (const auto& final : finals) {
        EXPECT_TRUE(final.untranscribed) << final.start;
        EXPECT_EQ(final.text(), "");
    }
    EXPECT_LT(finals.front().start, 0.5);
    EXPECT_GT(finals.back().end, static_cast<double>(speech.frameCount()) / speech.format.sampleRate - 1.0);
}

TEST(WhisperRecognizer, ADecodeIsGivenUpAsSoonAsItsCallerAbandonsIt)
{
    WhisperDecoder decoder(WhisperModel::load(SpeechFixtures::shared().model), 1);
    const PcmBuffer once = WavFile::read(SpeechFixtures::shared().speech);
    auto converter = WhisperRecognizer(Session::configuration(std::chrono::seconds(6), {}))
                         .makeConverter(AudioFormat::recognizerFormat());
    std::vector<float> audio;
    auto parts = converter->convert(once, 0.0);
    for (auto& part : converter->flush()) {
        parts.push_back(std::move(part));
    }
    for (const auto& part : parts) {
        audio.insert(audio.end(), part.samples.begin(), part.samples.end());
    }
    WhisperDecoder::Request request;
    const auto whole = decoder.decode(audio, request, {});
    EXPECT_FALSE(whole.abandoned);
    EXPECT_FALSE(whole.runs.empty());

    // The input ends while the pass runs: it stops there, with nothing to wait for.
    int polls = 0;
    request.abandon = [&polls] { return ++polls > 3; };
    const auto given = decoder.decode(audio, request, {});
    EXPECT_TRUE(given.abandoned);
    EXPECT_TRUE(given.runs.empty());
    EXPECT_EQ(polls, 4); // and is not asked again

    // It is asked between the operations of a graph, not only between graphs: the encoder of a
    // large model is one graph that runs for seconds. Eight tokens make at most a dozen graphs.
    int asked = 0;
    request.tokensPerSecond = 0.0;
    request.abandon = [&asked] { return ++asked < 0; };
    EXPECT_FALSE(decoder.decode(audio, request, {}).abandoned);
    EXPECT_GT(asked, 100);
}

TEST(WhisperRecognizer, QuantizedGeneratedModelsLoadAndDecode)
{
    const PcmBuffer once = WavFile::read(SpeechFixtures::shared().speech);
    std::vector<float> audio(16000 * 2, 0.0f);
    for (std::size_t i = 0; i < audio.size(); ++i) {
        audio[i] = once.samples[i % once.samples.size()];
    }
    for (const auto type : {TinyWhisperModel::WeightType::q5_0, TinyWhisperModel::WeightType::q8_0}) {
        const auto path = SpeechFixtures::shared().folder / "quantized.bin";
        TinyWhisperModel::write(path, TinyWhisperModel::Dimensions{}, 1, type);
        WhisperDecoder decoder(WhisperModel::load(path), 1);
        EXPECT_NO_THROW(decoder.decode(audio, {}, {}));
        std::filesystem::remove(path);
    }
}

TEST(WhisperRecognizer, HintsAreFittedToThePromptInListOrder)
{
    std::vector<std::string> hints;
    for (int i = 0; i < 50; ++i) {
        hints.push_back("九龍灣宏照道第" + std::to_string(i) + "號企業廣場");
    }
    Session session(true, hints);
    const auto applied = session.analyzer->appliedContextualStrings();
    ASSERT_TRUE(applied.has_value());
    ASSERT_FALSE(applied->empty());
    EXPECT_LT(applied->size(), hints.size()); // whisper keeps 223 prompt tokens, not 50 hints
    EXPECT_TRUE(std::equal(applied->begin(), applied->end(), hints.begin()));
    session.feed(WavFile::read(SpeechFixtures::shared().speech));
    expectOrderedFiniteRanges(session.finalizeAndCollect());

    // Dictation with a few hints keeps them all and still transcribes.
    Session few(true, {"銀行", "朋友"});
    EXPECT_EQ(few.analyzer->appliedContextualStrings(), (std::vector<std::string>{"銀行", "朋友"}));
    few.feed(WavFile::read(SpeechFixtures::shared().speech));
    const auto results = few.finalizeAndCollect();
    ASSERT_FALSE(results.empty());
    expectOrderedFiniteRanges(results);
}

TEST(WhisperRecognizer, TheModelStaysLoadedBetweenRecordingsUntilIdle)
{
    WhisperRecognizer::Configuration configuration{SpeechFixtures::shared().model, 1, {}};
    configuration.keepModelLoaded = std::chrono::milliseconds(300);
    WhisperRecognizer recognizer(configuration);
    EXPECT_FALSE(recognizer.isModelLoaded());
    const auto record = [&] {
        auto transcriber = std::make_shared<SpeechTranscriber>("zh-HK", true, true, true);
        auto analyzer = recognizer.makeAnalyzer({transcriber});
        analyzer->prepareToAnalyze(AudioFormat::recognizerFormat());
        analyzer->cancelAndFinishNow();
    };
    record();
    EXPECT_TRUE(recognizer.isModelLoaded()); // the recording is over; the model is kept
    record();
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (recognizer.isModelLoaded() && std::chrono::steady_clock::now() < until) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    EXPECT_FALSE(recognizer.isModelLoaded());
    record(); // and loads again when needed
    EXPECT_TRUE(recognizer.isModelLoaded());
}

TEST(WhisperRecognizer, InstalledLocalesFollowTheModelFile)
{
    const auto data = SpeechFixtures::shared().folder / "data";
    std::filesystem::create_directories(data);
    setenv("XDG_DATA_HOME", data.c_str(), 1);
    WhisperRecognizer installed;
    EXPECT_TRUE(installed.installedLocales(Transcriber::Kind::general).empty());

    std::filesystem::create_directories(data / "kivo" / "models");
    std::filesystem::copy_file(SpeechFixtures::shared().model, data / "kivo" / "models" / "speech-model.bin",
                               std::filesystem::copy_options::overwrite_existing);
    EXPECT_EQ(installed.installedLocales(Transcriber::Kind::dictation), std::vector<std::string>{"zh-HK"});
    EXPECT_LE(installed.threads(), static_cast<int>(std::max(1u, std::thread::hardware_concurrency())));

    WhisperRecognizer missing(WhisperRecognizer::Configuration{data / "absent.bin", 0, {}});
    EXPECT_TRUE(missing.installedLocales(Transcriber::Kind::general).empty());
    EXPECT_TRUE(
        missing.bestAvailableAudioFormat({std::make_shared<SpeechTranscriber>("zh-HK", true, true, true)}).has_value());
}

TEST(WhisperRecognizer, PreparationRejectsOtherFormats)
{
    WhisperRecognizer recognizer(WhisperRecognizer::Configuration{SpeechFixtures::shared().model, 1, {}});
    auto analyzer = recognizer.makeAnalyzer({std::make_shared<SpeechTranscriber>("zh-HK", true, true, true)});
    EXPECT_THROW(analyzer->prepareToAnalyze(AudioFormat{44100.0, 1}), std::runtime_error);
    EXPECT_THROW(analyzer->start(std::make_shared<Channel<AnalyzerInput>>()), std::runtime_error);
}
