#include "app/conversion/InputSpeechLanguage.h"
#include "app/conversion/OutputMode.h"

#include <gtest/gtest.h>

using namespace kivo;

TEST(Languages, TheModeTableKeepsTheStoredNamesAndThePopUpOrder)
{
    EXPECT_EQ(InputSpeechLanguage(InputSpeechLanguage::cantonese).rawValue(), "zh-HK");
    EXPECT_FALSE(InputSpeechLanguage::fromRawValue("zh-TW").has_value());

    // Saved preferences name these ids and mode names: they must never change.
    const std::vector<std::pair<std::string, std::string>> expected{
        {"yue-Hant", "cantonese"}, {"zh-Hant", "written"}, {"zh-Hans", "simplified"}, {"en", "english"}};
    ASSERT_EQ(OutputMode::all().size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const OutputMode mode = OutputMode::all()[i];
        EXPECT_EQ(mode.id(), expected[i].first);
        EXPECT_EQ(mode.modeName(), expected[i].second);
        EXPECT_EQ(mode.index(), static_cast<int>(i));
        EXPECT_EQ(OutputMode::at(static_cast<int>(i)), mode);
        EXPECT_EQ(OutputMode::fromId(mode.id()), mode);
        EXPECT_EQ(OutputMode::fromModeName(mode.modeName()), mode);
    }
    EXPECT_EQ(OutputMode::standard().id(), "zh-Hant");
    EXPECT_EQ(OutputMode::at(-1), OutputMode::standard());
    EXPECT_EQ(OutputMode::at(4), OutputMode::standard());
    EXPECT_FALSE(OutputMode::fromId("written").has_value());
    EXPECT_FALSE(OutputMode::fromModeName("zh-Hant").has_value());
    EXPECT_EQ(OutputMode::fromId("en")->row().languageTitle, "English");
    EXPECT_EQ(OutputMode::fromId("zh-Hans")->title(), "簡體書面轉換");
}

TEST(Languages, RestoredFromStoredPreferences)
{
    const auto id = [](std::optional<std::string_view> stored, std::optional<std::string_view> legacy) {
        return std::string(OutputMode::restored(stored, legacy).id());
    };
    EXPECT_EQ(id("en", std::nullopt), "en");
    EXPECT_EQ(id("fr", "cantonese"), "zh-Hant");
    EXPECT_EQ(id(std::nullopt, "cantonese"), "yue-Hant");
    EXPECT_EQ(id(std::nullopt, "written"), "zh-Hant");
    EXPECT_EQ(id(std::nullopt, std::nullopt), "zh-Hant");
}

TEST(SelectedSource, CutsOnlyWholeCharacters)
{
    const std::string text = "你好😀e\u0301\r\nab";
    // UTF-16: 你0 好1 😀2-3 e4 ◌́5 CR6 LF7 a8 b9
    EXPECT_EQ(OutputMode::selectedSource(text, {3, 0}), text);
    EXPECT_EQ(OutputMode::selectedSource(text, {TextRange::notFound, 0}), text);
    EXPECT_EQ(OutputMode::selectedSource(text, {1, 3}), "好😀");
    EXPECT_EQ(OutputMode::selectedSource(text, {4, 4}), "e\u0301\r\n");
    EXPECT_EQ(OutputMode::selectedSource(text, {8, 2}), "ab");
    EXPECT_EQ(OutputMode::selectedSource(text, {0, 2}), "你好"); // a selection may start at the start

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
            EXPECT_EQ(OutputMode::selectedSource(text, range), text);
            continue;
        }
        try {
            OutputMode::selectedSource(text, range);
            ADD_FAILURE() << range.location << "," << range.length;
        } catch (const OutputMode::InputError& error) {
            EXPECT_EQ(error.reason(), OutputMode::InputError::Code::invalidSelection);
            EXPECT_EQ(error.localizedDescription(), "選取範圍已失效，請重新選取。");
        }
    }
}

// The case names travel in failure texts and diagnostics, so each code keeps its own.
TEST(SelectedSource, InputErrorsNameTheirCase)
{
    using Code = OutputMode::InputError::Code;
    EXPECT_EQ(OutputMode::InputError(Code::invalidSelection).caseName(), "invalidSelection");
    EXPECT_EQ(OutputMode::InputError(Code::emptyOrTooLong).caseName(), "emptyOrTooLong");
    EXPECT_EQ(OutputMode::InputError(Code::cleanupChangedWords).caseName(), "cleanupChangedWords");
}
