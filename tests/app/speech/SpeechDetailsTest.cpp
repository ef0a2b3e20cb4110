#include "app/speech/SpeechDetails.h"
#include "tests/support/InterfaceLanguageScope.h"

#include <gtest/gtest.h>

namespace kivo {
namespace {

TEST(SpeechDetails, InfoLineNamesTheSelectionAndTheEngineOfTheLastRecording)
{
    EXPECT_EQ(SpeechDetails::infoLine(SpeechEngine::speech, std::nullopt),
              "Whisper speech model · zh-HK · On-device · Accuracy first");
    EXPECT_EQ(test::inLanguage(true, [&] { return SpeechDetails::infoLine(SpeechEngine::dictation, std::nullopt); }),
              "Whisper＋提示詞 · zh-HK · 本機 · 可用提示詞");
    SpeechDiagnostics last;
    last.engine = SpeechEngine::dictation;
    last.elapsedSeconds = 6.349;
    EXPECT_EQ(SpeechDetails::infoLine(SpeechEngine::speech, last),
              "Whisper speech model · zh-HK · On-device | Last Whisper with hints, recording + finish: 6.3 s");
    EXPECT_EQ(test::inLanguage(true, [&] { return SpeechDetails::infoLine(SpeechEngine::speech, last); }),
              "Whisper 語音模型 · zh-HK · 本機 ｜上次 Whisper＋提示詞 錄音＋收尾：6.3 s");
}

TEST(SpeechDetails, TextListsSegmentsWithOnlyTheEvidenceTheyHave)
{
    EXPECT_EQ(SpeechDetails::text(std::nullopt, "暫定"), "Incomplete provisional text (not final): \n暫定");
    SpeechDiagnostics d;
    d.description = "speech · zh-HK · 1.0s";
    d.finalText = "你好去銀行";
    d.finalSegments = {{"你好", 0.0, 1.25, {"李好", "你好呀"}, {0.5, 0.875}}, {"去銀行", 1.25, 2.0, {}, {}, true}};
    EXPECT_EQ(SpeechDetails::text(d, ""), "speech · zh-HK · 1.0s\n\nFinal transcript\n你好去銀行"
                                          "\n\n[1] 0.00\u20131.25 s\n你好"
                                          "\nSDK confidence (not accuracy): 0.50, 0.88"
                                          "\nSegment alternatives (never auto-applied): \n李好\n你好呀"
                                          "\n\n[2] 1.25\u20132.00 s\n去銀行"
                                          "\nProvisional text kept: finishing ran out of time");
    EXPECT_TRUE(test::inLanguage(true, [&] {
                    return SpeechDetails::text(d, "");
                }).ends_with("去銀行\n收尾時間不足，保留暫定文字"));

    // Speech that finishing had no time for is named, not left out quietly.
    d.untranscribed = {{2.0, 9.5}, {9.5, 12.25}};
    EXPECT_TRUE(SpeechDetails::text(d, "").ends_with(
        "ran out of time\n\nNot transcribed, finishing ran out of time: 2.00\u20139.50 s, "
        "9.50\u201312.25 s"));
    EXPECT_TRUE(test::inLanguage(true, [&] {
                    return SpeechDetails::text(d, "");
                }).ends_with("\n\n收尾時間不足，以下錄音未能辨識：2.00\u20139.50 s、9.50\u201312.25 s"));
    d.untranscribed.clear();

    // Which hints the recogniser had room for.
    d.finalSegments.clear();
    d.contextualStringsApplied = true;
    d.contextualStringsUsed = {"灣仔", "銅鑼灣"};
    d.contextualStringCount = 50;
    EXPECT_TRUE(SpeechDetails::text(d, "").ends_with("\n\nHints used (2 of 50): 灣仔, 銅鑼灣"));
    EXPECT_TRUE(test::inLanguage(true, [&] {
                    return SpeechDetails::text(d, "");
                }).ends_with("\n\n已用提示（2／50）：灣仔、銅鑼灣"));
}

} // namespace
} // namespace kivo
