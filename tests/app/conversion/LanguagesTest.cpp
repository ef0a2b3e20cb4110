#include "app/conversion/InputSpeechLanguage.h"
#include "app/conversion/TargetTextLanguage.h"
#include "app/conversion/WritingMode.h"

#include <gtest/gtest.h>

using namespace kivo;

TEST(Languages, RawValuesRoundTripAndMapToModes)
{
    EXPECT_EQ(InputSpeechLanguage(InputSpeechLanguage::cantonese).rawValue(), "zh-HK");
    EXPECT_FALSE(InputSpeechLanguage::fromRawValue("zh-TW").has_value());

    const std::vector<std::pair<std::string, WritingMode::Value>> expected{
        {"yue-Hant", WritingMode::cantonese}, {"zh-Hant", WritingMode::written},
        {"zh-Hans", WritingMode::simplified}, {"en", WritingMode::english}};
    ASSERT_EQ(TargetTextLanguage::allCases.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const TargetTextLanguage language = TargetTextLanguage::allCases[i];
        EXPECT_EQ(language.rawValue(), expected[i].first);
        EXPECT_EQ(language.mode(), expected[i].second);
        EXPECT_EQ(TargetTextLanguage::fromRawValue(language.rawValue()), language);
        const WritingMode mode = language.mode();
        EXPECT_EQ(WritingMode::fromRawValue(mode.rawValue()), mode);
    }
    EXPECT_EQ(TargetTextLanguage(TargetTextLanguage::english).title(), "英文");
    EXPECT_EQ(WritingMode(WritingMode::simplified).title(), "簡體書面轉換");
}

TEST(Languages, RestoredFromStoredPreferences)
{
    using T = TargetTextLanguage;
    EXPECT_EQ(T::restored("en", std::nullopt), T::english);
    EXPECT_EQ(T::restored("fr", "cantonese"), T::traditional);
    EXPECT_EQ(T::restored(std::nullopt, "cantonese"), T::cantonese);
    EXPECT_EQ(T::restored(std::nullopt, "written"), T::traditional);
    EXPECT_EQ(T::restored(std::nullopt, std::nullopt), T::traditional);
}

TEST(SelectedSource, CutsOnlyWholeCharacters)
{
    const std::string text = "你好😀e\u0301\r\nab";
    // UTF-16: 你0 好1 😀2-3 e4 ◌́5 CR6 LF7 a8 b9
    EXPECT_EQ(WritingMode::selectedSource(text, {3, 0}), text);
    EXPECT_EQ(WritingMode::selectedSource(text, {TextRange::notFound, 0}), text);
    EXPECT_EQ(WritingMode::selectedSource(text, {1, 3}), "好😀");
    EXPECT_EQ(WritingMode::selectedSource(text, {4, 4}), "e\u0301\r\n");
    EXPECT_EQ(WritingMode::selectedSource(text, {8, 2}), "ab");
    EXPECT_EQ(WritingMode::selectedSource(text, {0, 2}), "你好"); // a selection may start at the start

    const std::vector<TextRange> invalid{
        {1, 2},                   // ends inside the emoji
        {3, 2},                   // starts inside the emoji
        {4, 1},                   // splits e from its accent
        {6, 1},                   // splits CR LF
        {-1, 2},                  // negative location
        {0, -1 - 0},              // negative length counts as nothing selected, checked below
        {TextRange::notFound, 1}, // not found
        {9, 2},                   // runs past the end
        {11, 1},                  // starts past the end
    };
    for (const TextRange& range : invalid) {
        if (range.length <= 0) {
            EXPECT_EQ(WritingMode::selectedSource(text, range), text);
            continue;
        }
        try {
            WritingMode::selectedSource(text, range);
            ADD_FAILURE() << range.location << "," << range.length;
        } catch (const WritingMode::InputError& error) {
            EXPECT_EQ(error.reason(), WritingMode::InputError::Code::invalidSelection);
            EXPECT_EQ(error.localizedDescription(), "選取範圍已失效，請重新選取。");
        }
    }
}

// The case names travel in failure texts and diagnostics, so each code keeps its own.
TEST(SelectedSource, InputErrorsNameTheirCase)
{
    using Code = WritingMode::InputError::Code;
    EXPECT_EQ(WritingMode::InputError(Code::invalidSelection).caseName(), "invalidSelection");
    EXPECT_EQ(WritingMode::InputError(Code::emptyOrTooLong).caseName(), "emptyOrTooLong");
    EXPECT_EQ(WritingMode::InputError(Code::cleanupChangedWords).caseName(), "cleanupChangedWords");
}
