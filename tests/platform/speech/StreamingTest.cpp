#include "platform/speech/HallucinationFilter.h"
#include "platform/speech/SampleRateConverter.h"
#include "platform/speech/SpeechModelFile.h"
#include "platform/speech/StreamingWindow.h"

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

std::vector<float> quiet(double seconds) { return std::vector<float>(static_cast<std::size_t>(seconds * 16000), 0.001f); }

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

    // A click shorter than the minimum is not speech either.
    StreamingWindow click({});
    click.append(tone(0.1));
    click.append(quiet(1.5));
    EXPECT_FALSE(click.hasSpeech());
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
}

TEST(HallucinationFilter, CollapsesDecodingLoopsWithoutSplittingCharacters)
{
    EXPECT_EQ(HallucinationFilter::collapsedRepeats("好嘢好嘢好嘢好嘢"), "好嘢");
    EXPECT_EQ(HallucinationFilter::collapsedRepeats("我去銀行銀行"), "我去銀行銀行");
    EXPECT_EQ(HallucinationFilter::collapsedRepeats("abcabcabc!"), "abc!");
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
    const auto write = [&](std::int32_t magic, std::int32_t vocab) {
        std::ofstream out(path, std::ios::binary);
        const std::int32_t fields[12] = {magic, vocab, 1500, 64, 2, 1, 448, 64, 2, 1, 80, 1};
        out.write(reinterpret_cast<const char*>(fields), sizeof fields);
    };
    write(0x67676d6c, 51866);
    EXPECT_EQ(SpeechModelFile::readHeader(path)->language(), "yue");
    write(0x67676d6c, 51865);
    EXPECT_EQ(SpeechModelFile::readHeader(path)->language(), "zh");
    EXPECT_TRUE(SpeechModelFile::readHeader(path)->isMultilingual());
    write(0x67676d6c, 51864);
    EXPECT_FALSE(SpeechModelFile::readHeader(path)->isMultilingual());
    write(0x46554747, 51866); // a GGUF file is not this format
    EXPECT_FALSE(SpeechModelFile::readHeader(path).has_value());
    std::filesystem::remove(path);
}
