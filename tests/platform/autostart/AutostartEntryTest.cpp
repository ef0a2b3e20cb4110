#include "platform/autostart/AutostartEntry.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>

namespace kivo {
namespace {

class AutostartEntryTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "kivo-autostart-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        folder = pattern;
        const char* old = std::getenv("XDG_CONFIG_HOME");
        saved = old ? std::optional<std::string>(old) : std::nullopt;
        setenv("XDG_CONFIG_HOME", folder.c_str(), 1);
        const char* home = std::getenv("HOME");
        savedHome = home ? home : "/";
    }
    void TearDown() override
    {
        if (saved) {
            setenv("XDG_CONFIG_HOME", saved->c_str(), 1);
        } else {
            unsetenv("XDG_CONFIG_HOME");
        }
        setenv("HOME", savedHome.c_str(), 1);
        std::filesystem::remove_all(folder);
    }
    static std::string read(const std::filesystem::path& file)
    {
        std::ifstream in(file);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

    std::filesystem::path folder;
    std::optional<std::string> saved;
    std::string savedHome;
};

TEST_F(AutostartEntryTest, WritesAndRemovesTheEntryInTheConfigFolder)
{
    EXPECT_EQ(AutostartEntry::path(), folder / "autostart" / "local.kivo.afm-trial.desktop");
    EXPECT_FALSE(AutostartEntry::enabled());
    ASSERT_TRUE(AutostartEntry::setEnabled(true, "/opt/kivo/bin/Kivo"));
    EXPECT_TRUE(AutostartEntry::enabled());
    const std::string text = read(AutostartEntry::path());
    EXPECT_EQ(text.rfind("[Desktop Entry]\n", 0), 0U);
    EXPECT_NE(text.find("\nExec=\"/opt/kivo/bin/Kivo\"\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\nType=Application\n"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(AutostartEntry::path().string() + ".new"));

    ASSERT_TRUE(AutostartEntry::setEnabled(false, "/opt/kivo/bin/Kivo"));
    EXPECT_FALSE(std::filesystem::exists(AutostartEntry::path()));
    EXPECT_TRUE(AutostartEntry::setEnabled(false, "/opt/kivo/bin/Kivo")) << "removing a missing entry is fine";
}

TEST_F(AutostartEntryTest, ReservedCharactersOfThePathAreQuoted)
{
    const std::string text = AutostartEntry::contents("/home/a b/\"x\"$`y\\%z/Kivo");
    // Quoting escapes " ` $ \ with a backslash, the string syntax then doubles every backslash,
    // and % is doubled so it is no field code.
    EXPECT_NE(text.find("\nExec=\"/home/a b/\\\\\"x\\\\\"\\\\$\\\\`y\\\\\\\\%%z/Kivo\"\n"), std::string::npos) << text;
}

TEST_F(AutostartEntryTest, AHiddenEntryCountsAsOffAndAnUnwritableFolderIsReported)
{
    std::filesystem::create_directories(AutostartEntry::path().parent_path());
    std::ofstream(AutostartEntry::path()) << "[Desktop Entry]\nHidden=true\n";
    EXPECT_FALSE(AutostartEntry::enabled());
    std::filesystem::remove(AutostartEntry::path());

    // The file cannot be written (its temporary name is taken by a folder): reported, and the
    // old entry stays.
    std::ofstream(AutostartEntry::path()) << "[Desktop Entry]\nExec=old\n";
    std::filesystem::create_directories(AutostartEntry::path().string() + ".new/x");
    EXPECT_FALSE(AutostartEntry::setEnabled(true, "/opt/kivo/bin/Kivo"));
    EXPECT_EQ(read(AutostartEntry::path()), "[Desktop Entry]\nExec=old\n");

    // "autostart" is a file: the entry cannot be written, and nothing claims it was.
    std::filesystem::remove_all(folder / "autostart");
    std::ofstream(folder / "autostart") << "not a folder";
    EXPECT_FALSE(AutostartEntry::setEnabled(true, "/opt/kivo/bin/Kivo"));
    EXPECT_FALSE(AutostartEntry::enabled());

    setenv("XDG_CONFIG_HOME", "relative/config", 1);
    setenv("HOME", folder.c_str(), 1);
    EXPECT_EQ(AutostartEntry::path(), folder / ".config" / "autostart" / "local.kivo.afm-trial.desktop")
        << "a relative XDG_CONFIG_HOME is ignored";
}

} // namespace
} // namespace kivo
