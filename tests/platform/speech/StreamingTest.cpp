#include "platform/speech/HallucinationFilter.h"
#include "platform/speech/PromptBudget.h"
#include "platform/speech/SampleRateConverter.h"
#include "platform/speech/SpeechModelFile.h"
#include "platform/speech/StreamingWindow.h"
#include "platform/speech/TranscriptPunctuation.h"
#include "tools/whisper/TinyWhisperModel.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>

using namespace kivo;
using Action = StreamingWindow::Action;

namespace {

std::vector<float> tone(double seconds, float amplitude = 0.3f)
{
    std::vector<float> out(static_cast<std::size_t>(seconds * 16000));
    for (std::size_t i = 0; i < out.size(); ++i) {
        out[i] = amplitude * static_cast<float>(std::sin(2 * M_PI * 220.0 * static_cast<double>(i) / 16000.0));
    }
    return out;
}

std::vector<float> quiet(double seconds)
{
    return std::vector<float>(static_cast<std::size_t>(seconds * 16000), 0.001f);
}

} // namespace

TEST(StreamingWindow, RerunsEveryStepWhileSpeechGoesOn)
{
    StreamingWindow window({});
    window.append(tone(0.5));
    EXPECT_EQ(window.next(false), Action::wait);
    window.append(tone(0.5));
    EXPECT_EQ(window.next(false), Action::provisional);
    window.markProvisional();
    window.append(tone(0.4));
    EXPECT_EQ(window.next(false), Action::wait);
    window.append(tone(0.6));
    EXPECT_EQ(window.next(false), Action::provisional);
}

TEST(StreamingWindow, ClosesAtAPauseAfterSpeechWhenFullAndAtTheEnd)
{
    StreamingWindow paused({});
    paused.append(tone(1.2));
    paused.append(quiet(0.7));
    EXPECT_EQ(paused.next(false), Action::close);
    EXPECT_TRUE(paused.hasSpeech());
    paused.close();
    EXPECT_DOUBLE_EQ(paused.start(), 1.9);
    EXPECT_TRUE(paused.isEmpty());

    StreamingWindow full({});
    for (int i = 0; i < 10; ++i) {
        full.append(tone(1.0));
        if (i < 9) {
            full.markProvisional();
        }
    }
    EXPECT_EQ(full.next(false), Action::close);

    // A burst counts once its last whole frame is in.
    StreamingWindow burst({});
    burst.append(tone(0.24));
    EXPECT_FALSE(burst.hasSpeech());
    burst.append(tone(0.02));
    EXPECT_TRUE(burst.hasSpeech());

    StreamingWindow ending({});
    ending.append(tone(0.3));
    EXPECT_EQ(ending.next(false), Action::wait);
    EXPECT_EQ(ending.next(true), Action::close);
}

TEST(StreamingWindow, SilenceIsNeverDecodedAndIsDroppedAfterAPause)
{
    StreamingWindow window({});
    window.append(quiet(0.5));
    EXPECT_EQ(window.next(false), Action::wait);
    window.append(quiet(0.5));
    EXPECT_FALSE(window.hasSpeech());
    EXPECT_EQ(window.next(false), Action::close);

    // Exactly a pause long is enough.
    StreamingWindow pause({});
    pause.append(quiet(0.58));
    EXPECT_EQ(pause.next(false), Action::wait);
    pause.append(quiet(0.02));
    EXPECT_EQ(pause.next(false), Action::close);

    // A click shorter than the minimum is not speech either.
    StreamingWindow click({});
    click.append(tone(0.1));
    click.append(quiet(1.5));
    EXPECT_FALSE(click.hasSpeech());
}

TEST(StreamingWindow, NeverGrowsPastItsCapHoweverMuchAudioArrives)
{
    StreamingWindow window({});
    const auto backlog = tone(25.0);
    const std::size_t taken = window.append(backlog);
    EXPECT_EQ(taken, 160000u);
    EXPECT_DOUBLE_EQ(window.length(), 10.0);
    EXPECT_EQ(window.room(), 0u);
    EXPECT_EQ(window.append(tone(1.0)), 0u);
    EXPECT_EQ(window.next(false), Action::close);
    window.close();
    EXPECT_EQ(window.append(std::span(backlog).subspan(taken)), 160000u);
    EXPECT_DOUBLE_EQ(window.start(), 10.0);
    EXPECT_DOUBLE_EQ(window.end(), 20.0);
}

namespace {

// Syllables without a pause: 0.2 s loud, 0.04 s soft, over and over.
std::vector<float> syllables(double seconds)
{
    std::vector<float> out;
    while (out.size() < static_cast<std::size_t>(seconds * 16000)) {
        const auto loud = tone(0.2);
        const auto soft = tone(0.04, 0.01f);
        out.insert(out.end(), loud.begin(), loud.end());
        out.insert(out.end(), soft.begin(), soft.end());
    }
    out.resize(static_cast<std::size_t>(seconds * 16000));
    return out;
}

float rms(std::span<const float> samples)
{
    double energy = 0.0;
    for (const float value : samples) {
        energy += static_cast<double>(value) * value;
    }
    return static_cast<float>(std::sqrt(energy / static_cast<double>(samples.size())));
}

} // namespace

TEST(StreamingWindow, TheCapShrinksWithTheDecodingSpeed)
{
    StreamingWindow window({});
    EXPECT_DOUBLE_EQ(window.cap(), 10.0);
    window.fitCap(0.4); // 2 s of decoding allowed: 5 s of audio
    EXPECT_DOUBLE_EQ(window.cap(), 5.0);
    window.fitCap(0.1);
    EXPECT_DOUBLE_EQ(window.cap(), 10.0);
    window.fitCap(3.0); // never shorter than the shortest cap
    EXPECT_DOUBLE_EQ(window.cap(), 4.0);
    window.fitCap(0.0);
    EXPECT_DOUBLE_EQ(window.cap(), 10.0);

    // No measurement yet, whatever the target.
    StreamingWindow::Options eager;
    eager.decodeTarget = 0.0;
    StreamingWindow unmeasured(eager);
    unmeasured.fitCap(0.0);
    EXPECT_DOUBLE_EQ(unmeasured.cap(), 10.0);
}

TEST(StreamingWindow, ASlowDecoderClosesWindowsAtTheFirstDipAfterTheShorterCap)
{
    const auto speech = syllables(12.0);
    StreamingWindow window({});
    window.fitCap(0.5); // cap 4 s
    const std::size_t taken = window.append(speech);
    EXPECT_EQ(window.next(false), Action::close);
    EXPECT_GE(window.length(), 4.0);
    EXPECT_LE(window.length(), 4.3); // the first gap after 4 s, not the hard cap
    EXPECT_LT(rms(window.samples().last(320)), 0.02f) << "cut inside a syllable";
    EXPECT_EQ(window.append(speech), 0u) << "a closing window takes nothing more";

    // The next window goes on from the cut and closes the same way.
    window.close();
    const std::size_t more = window.append(std::span(speech).subspan(taken));
    EXPECT_DOUBLE_EQ(window.start(), static_cast<double>(taken) / 16000.0);
    EXPECT_GT(more, 4u * 16000u);
    EXPECT_EQ(window.next(false), Action::close);

    // Audio that arrives bit by bit is cut at the same place.
    StreamingWindow live({});
    live.fitCap(0.5);
    std::size_t fed = 0;
    while (live.next(false) != Action::close && fed < speech.size()) {
        const std::size_t piece = std::min<std::size_t>(1600, speech.size() - fed);
        fed += live.append(std::span(speech).subspan(fed, piece));
        live.markProvisional();
    }
    EXPECT_EQ(fed, taken);

    // Without a dip the window ends a search length past the shorter cap.
    StreamingWindow steady({});
    steady.fitCap(0.5);
    EXPECT_EQ(steady.append(tone(12.0)), 5u * 16000u);
    EXPECT_EQ(steady.next(false), Action::close);

    // A stretch at a third of the usual level is a gap too (a softer syllable is not).
    std::vector<float> softer;
    while (softer.size() < 12u * 16000u) {
        const auto loud = tone(0.24);
        const auto medium = tone(0.16, 0.1f);
        softer.insert(softer.end(), loud.begin(), loud.end());
        softer.insert(softer.end(), medium.begin(), medium.end());
    }
    StreamingWindow soft({});
    soft.fitCap(0.5);
    EXPECT_LE(soft.append(softer), static_cast<std::size_t>(4.3 * 16000));
    EXPECT_EQ(soft.next(false), Action::close);

    // A fast decoder keeps the long windows: the gaps close nothing.
    StreamingWindow fast({});
    fast.fitCap(0.1);
    EXPECT_EQ(fast.append(speech), 10u * 16000u);
}

TEST(StreamingWindow, QuietMicrophonesAreMeasuredAgainstTheirOwnNoise)
{
    // Speech at about -46 dBFS over a room at about -72 dBFS.
    const auto room = [](double seconds) {
        return std::vector<float>(static_cast<std::size_t>(seconds * 16000), 0.00025f);
    };
    StreamingWindow window({});
    window.append(room(0.5));
    window.append(tone(1.0, 0.007f));
    EXPECT_TRUE(window.hasSpeech());
    EXPECT_EQ(window.next(false), Action::provisional);
    window.markProvisional();
    window.append(room(0.7));
    EXPECT_EQ(window.next(false), Action::close);

    // The same room alone, and a steady fan well above the floor, are not speech.
    StreamingWindow silent({});
    silent.append(room(2.0));
    EXPECT_FALSE(silent.hasSpeech());
    StreamingWindow fan({});
    fan.append(tone(2.0, 0.005f));
    fan.close();
    fan.append(tone(0.5, 0.005f));
    EXPECT_FALSE(fan.hasSpeech());
    fan.append(tone(0.5, 0.05f));
    EXPECT_TRUE(fan.hasSpeech());

    // The noise level follows the room: a fan switched on after ten quiet seconds is noise as
    // soon as it has run for the measured span.
    StreamingWindow switched({});
    for (int i = 0; i < 11; ++i) {
        switched.append(room(1.0));
        switched.close();
    }
    for (int i = 0; i < 11; ++i) {
        switched.append(tone(1.0, 0.005f));
        switched.close();
    }
    switched.append(tone(0.5, 0.005f));
    EXPECT_FALSE(switched.hasSpeech());
}

TEST(TranscriptPunctuation, KeepsLiteralsAndDropsOnlySentenceMarks)
{
    using TranscriptPunctuation::withoutSentencePunctuation;
    EXPECT_EQ(withoutSentencePunctuation("3:30 開會，打 10% 折。"), "3:30 開會打 10% 折");
    EXPECT_EQ(withoutSentencePunctuation("電郵 chan@kivo.hk, 網址 www.kivo.hk."), "電郵 chan@kivo.hk 網址 www.kivo.hk");
    EXPECT_EQ(withoutSentencePunctuation("1/2 杯, 1,000,000 蚊, 3.5 個"), "1/2 杯 1,000,000 蚊 3.5 個");
    EXPECT_EQ(withoutSentencePunctuation("Don't stop, well-known!"), "Don't stop well-known");
    EXPECT_EQ(withoutSentencePunctuation("「你好」、我哋去咗。"), "你好我哋去咗");
    EXPECT_EQ(withoutSentencePunctuation("#A-12 & C++"), "#A-12 & C++");
    // Tokens as the decoder gives them: a mark is judged by the whole text around it.
    EXPECT_EQ(withoutSentencePunctuation(
                  std::vector<std::string>{" 3", ":", "30", ".", " www", ".", "kivo", ".", "hk", "。"}),
              (std::vector<std::string>{" 3", ":", "30", "", " www", ".", "kivo", ".", "hk", ""}));
}

TEST(HallucinationFilter, RecognisesKnownInventionsOnly)
{
    EXPECT_TRUE(HallucinationFilter::isKnownPhrase("字幕由Amara.org社區提供"));
    EXPECT_TRUE(HallucinationFilter::isKnownPhrase(" 多謝收睇！"));
    EXPECT_TRUE(HallucinationFilter::isKnownPhrase("Thank you for watching."));
    EXPECT_FALSE(HallucinationFilter::isKnownPhrase("多謝收睇今日嘅節目"));
    EXPECT_FALSE(HallucinationFilter::isKnownPhrase("。"));
    EXPECT_TRUE(HallucinationFilter::isNoSpeech(0.9, -1.5));
    EXPECT_FALSE(HallucinationFilter::isNoSpeech(0.9, -0.3));
    EXPECT_FALSE(HallucinationFilter::isNoSpeech(0.5, -1.5));
}

TEST(HallucinationFilter, KnownPhrasesSaidClearlyAreKept)
{
    using HallucinationFilter::isInvention;
    for (const char* said : {"音樂", "字幕", "訂閱", "you", "Music.", "多謝收睇"}) {
        EXPECT_FALSE(isInvention(said, 0.05, -0.2)) << said;
        EXPECT_TRUE(isInvention(said, 0.4, -0.2)) << said;  // the decoder doubted speech
        EXPECT_TRUE(isInvention(said, 0.05, -0.9)) << said; // and was unsure of the words
    }
    EXPECT_FALSE(isInvention("多謝收睇今日嘅節目", 0.4, -0.9));
    EXPECT_TRUE(isInvention("多謝收睇今日嘅節目", 0.7, -1.2));
    EXPECT_FALSE(isInvention("", 0.3, -0.7));
    EXPECT_FALSE(isInvention("字幕", 0.3, -0.7)); // doubt starts past these values
}

TEST(HallucinationFilter, CollapsesOnlyRealDecodingLoops)
{
    using HallucinationFilter::collapsedRepeats;
    // Numbers and ordinary reduplication are speech.
    for (const char* said :
         {"1000000", "電話係 22222222", "係係係", "好好好", "哈哈哈哈", "哈哈哈哈哈哈哈哈哈哈哈哈哈哈哈哈哈哈",
          "好嘢好嘢好嘢好嘢", "我去銀行銀行", "abcabcabc!", "12:1212:1212:1212:1212:12"}) {
        EXPECT_EQ(collapsedRepeats(said), said);
    }
    // A phrase looping far past anything said is cut to one copy, with what surrounds it.
    EXPECT_EQ(collapsedRepeats("我想講：多謝你。多謝你。多謝你。多謝你。多謝你。完"), "我想講：多謝你。完");
    EXPECT_EQ(collapsedRepeats("ok thank you thank you thank you thank you thank you"), "ok thank you");
    EXPECT_EQ(collapsedRepeats("好嘢好嘢好嘢好嘢好嘢好嘢好嘢好嘢好嘢"), "好嘢");
    EXPECT_EQ(collapsedRepeats("ab12ab12ab12ab12ab12ab12"), "ab12ab12ab12ab12ab12ab12");
    // At the edge: four copies over exactly 16 characters are a loop, 14 are not; symbols
    // without a letter are never taken for one.
    EXPECT_EQ(collapsedRepeats("好嘢好嘢好嘢好嘢好嘢好嘢好嘢好嘢"), "好嘢");
    EXPECT_EQ(collapsedRepeats("好嘢好嘢好嘢好嘢好嘢好嘢好嘢"), "好嘢好嘢好嘢好嘢好嘢好嘢好嘢");
    EXPECT_EQ(collapsedRepeats("-=-=-=-=-=-=-=-=-=-="), "-=-=-=-=-=-=-=-=-=-=");
    // Four copies are a loop, three are not, however long.
    EXPECT_EQ(collapsedRepeats("多謝晒你多謝晒你多謝晒你多謝晒你"), "多謝晒你");
    EXPECT_EQ(collapsedRepeats("多謝晒你囉喎多謝晒你囉喎多謝晒你囉喎"), "多謝晒你囉喎多謝晒你囉喎多謝晒你囉喎");
}

TEST(PromptBudget, HintsFitInListOrderAndTheRestGoesToThePreviousText)
{
    const PromptBudget::Tokens comma{9};
    const std::vector<PromptBudget::Tokens> hints{{1, 2}, {3, 4, 5, 6, 7}, {1, 2}, {8}, {}};
    const auto plan = PromptBudget::fit(hints, comma, 6);
    EXPECT_EQ(plan.chosen, (std::vector<std::size_t>{0, 3}));
    EXPECT_EQ(plan.tokens, (PromptBudget::Tokens{1, 2, 9, 8, 9}));
    EXPECT_EQ(PromptBudget::fit(hints, comma, 100).chosen, (std::vector<std::size_t>{0, 1, 3}));
    EXPECT_EQ(PromptBudget::fit(hints, comma, 2).chosen, std::vector<std::size_t>{3});
    EXPECT_TRUE(PromptBudget::fit(hints, comma, 1).chosen.empty());

    EXPECT_EQ(PromptBudget::prompt({1, 2}, {5, 6, 7, 8}, 4), (PromptBudget::Tokens{1, 2, 7, 8}));
    EXPECT_EQ(PromptBudget::prompt({1, 2, 3}, {5}, 2), (PromptBudget::Tokens{1, 2}));
    EXPECT_EQ(PromptBudget::prompt({}, {5, 6}, 8), (PromptBudget::Tokens{5, 6}));
}

TEST(SampleRateConverter, ResamplesAndMixesDownAndFlushReturnsWhatItHeld)
{
    SampleRateConverter converter(AudioFormat::recognizerFormat());
    std::size_t produced = 0;
    double lastStart = -1;
    for (int packet = 0; packet < 10; ++packet) {
        PcmBuffer buffer{{48000.0, 2}, std::vector<float>(4800 * 2, 0.25f)};
        for (const auto& input : converter.convert(buffer, packet * 0.1)) {
            EXPECT_GT(input.startSeconds, lastStart);
            lastStart = input.startSeconds;
            produced += input.samples.size();
        }
    }
    for (const auto& input : converter.flush()) {
        produced += input.samples.size();
    }
    // One second in, one second out, give or take the filter edge (about a millisecond).
    EXPECT_NEAR(static_cast<double>(produced), 16000.0, 32.0);

    EXPECT_THROW(converter.convert(PcmBuffer{{44100.0, 2}, std::vector<float>(10, 0.0f)}, 1.0), std::runtime_error);
    EXPECT_THROW(converter.convert(PcmBuffer{{48000.0, 2}, std::vector<float>(3, 0.0f)}, 1.0), std::runtime_error);
}

TEST(SpeechModelFile, HeaderDecidesTheLanguage)
{
    const auto path = std::filesystem::temp_directory_path() / "kivo-speech-header-test.bin";
    const auto write = [&](std::int32_t vocab) {
        auto dimensions = TinyWhisperModel::Dimensions{};
        dimensions.nVocab = vocab;
        TinyWhisperModel::write(path, dimensions); // each vocabulary gives another size, so a fresh verdict
    };
    write(51866);
    EXPECT_EQ(SpeechModelFile::readHeader(path)->language(), "yue");
    write(51865);
    EXPECT_EQ(SpeechModelFile::readHeader(path)->language(), "zh");
    EXPECT_TRUE(SpeechModelFile::readHeader(path)->isMultilingual());
    write(51864);
    EXPECT_FALSE(SpeechModelFile::readHeader(path)->isMultilingual());
    std::ofstream(path, std::ios::binary | std::ios::trunc) << "GGUF"; // a GGUF file is not this format
    EXPECT_FALSE(SpeechModelFile::readHeader(path).has_value());
    std::filesystem::remove(path);
}
