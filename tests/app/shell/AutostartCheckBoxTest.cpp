#include "app/shell/AutostartCheckBox.h"
#include "platform/autostart/AutostartEntry.h"
#include "tests/app/controller/ControllerTestSupport.h"

#include <gtest/gtest.h>

#include <QCoreApplication>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace kivo {
namespace {

TEST(AutostartCheckBoxTest, ShowsAndEditsTheEntryForThisProgram)
{
    test::ensureApplication();
    std::string pattern = (std::filesystem::temp_directory_path() / "kivo-autostart-box-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    const std::filesystem::path folder = pattern;
    setenv("XDG_CONFIG_HOME", folder.c_str(), 1);

    AutostartCheckBox off(nullptr);
    EXPECT_FALSE(off.isChecked());
    off.localize();
    EXPECT_EQ(off.text(), QStringLiteral("Start Kivo at login"));
    off.setChecked(true);
    ASSERT_TRUE(AutostartEntry::enabled());
    std::ifstream in(AutostartEntry::path());
    std::stringstream text;
    text << in.rdbuf();
    EXPECT_NE(text.str().find("Exec=\"" + QCoreApplication::applicationFilePath().toStdString() + "\""),
              std::string::npos)
        << text.str();

    AutostartCheckBox on(nullptr);
    EXPECT_TRUE(on.isChecked()) << "a new panel shows the entry that is there";
    on.setChecked(false);
    EXPECT_FALSE(std::filesystem::exists(AutostartEntry::path()));

    // The entry cannot be written: the box shows what is really there.
    std::filesystem::remove_all(folder / "autostart");
    std::ofstream(folder / "autostart") << "not a folder";
    on.setChecked(true);
    EXPECT_FALSE(on.isChecked());
    std::filesystem::remove_all(folder);
}

} // namespace
} // namespace kivo
