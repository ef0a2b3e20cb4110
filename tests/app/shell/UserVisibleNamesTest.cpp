// Every text a person can see names what they have here: Linux keys, the desktop's settings,
// Kivo's own models. This reads the string literals of the sources and the user's pages.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

// Another system's names, its keys and its services, as they would appear in a sentence.
const std::regex& foreignName()
{
    static const std::regex pattern(
        "\\bApple\\b|\\bmacOS\\b|\\bOS X\\b|\\bMac\\b|\\bAFM\\b|⌘|⌃|⌥|⇧|\\b(Right|Left) Command\\b|Command key|"
        "Command[- ]?(V|C|Space)\\b|右 Command|Option key|System Settings|System Preferences|\\bFinder\\b|"
        "App Store|Keychain|\\bSiri\\b|\\bAX(Focused|Selected|Value|Role|Error|Parent)\\w*|\\bCocoa\\b|\\bXcode\\b|"
        "Gatekeeper|Foundation Models|Apple Intelligence|\\bDictation\\b",
        std::regex::ECMAScript | std::regex::optimize);
    return pattern;
}

std::string read(const fs::path& file)
{
    std::ifstream in(file, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// The string literals of a C++ source, comments left out.
std::vector<std::string> literals(const std::string& source)
{
    std::vector<std::string> found;
    std::size_t i = 0;
    while (i < source.size()) {
        if (source.compare(i, 2, "//") == 0) {
            i = source.find('\n', i);
        } else if (source.compare(i, 2, "/*") == 0) {
            i = source.find("*/", i);
            i = i == std::string::npos ? i : i + 2;
        } else if (source[i] == '\'') {
            const std::size_t end = source.find('\'', i + (source.compare(i, 2, "'\\") == 0 ? 3 : 2));
            i = end == std::string::npos ? end : end + 1;
        } else if (source[i] == '"') {
            std::string text;
            ++i;
            while (i < source.size() && source[i] != '"' && source[i] != '\n') {
                if (source[i] == '\\' && i + 1 < source.size()) {
                    text += source[i];
                    ++i;
                }
                text += source[i];
                ++i;
            }
            found.push_back(text);
            ++i;
        } else {
            ++i;
        }
        if (i == std::string::npos) {
            break;
        }
    }
    return found;
}

std::vector<std::string> offences(const fs::path& file)
{
    std::vector<std::string> found;
    const std::string text = read(file);
    const auto extension = file.extension();
    if (extension == ".cpp" || extension == ".h") {
        for (const auto& literal : literals(text)) {
            if (std::regex_search(literal, foreignName())) {
                found.push_back(file.string() + ": \"" + literal + "\"");
            }
        }
        return found;
    }
    std::istringstream lines(text);
    int number = 0;
    for (std::string line; std::getline(lines, line);) {
        ++number;
        if (std::regex_search(line, foreignName())) {
            found.push_back(file.string() + ":" + std::to_string(number) + ": " + line);
        }
    }
    return found;
}

TEST(UserVisibleNames, TheScanFindsForeignNamesOnlyInTexts)
{
    const auto found =
        literals("// Apple\nauto a = \"Right ⌘\"; /* macOS */ char c = '\"'; f(\"Ctrl+Alt+Space\", \"a\\\"b\");");
    ASSERT_EQ(found.size(), 3u);
    EXPECT_EQ(found[0], "Right ⌘");
    EXPECT_EQ(found[2], "a\\\"b");
    EXPECT_TRUE(std::regex_search(found[0], foreignName()));
    EXPECT_FALSE(std::regex_search(found[1], foreignName()));
    for (const char* foreign :
         {"Apple Speech", "右 Command（單按）", "Open the macOS Accessibility prompt", "AFM stopped after 30 seconds.",
          "Allow the current app in System Settings", "AXFocusedUIElement"}) {
        EXPECT_TRUE(std::regex_search(std::string(foreign), foreignName())) << foreign;
    }
    // Stored raw values and Linux names stay allowed.
    for (const char* ours : {"rightCommand", "commandShiftSpace", "controlOptionSpace", "Right Super (tap)",
                             "Shift+Super+Space", "Whisper with hints", "The language model", "--models COMMAND"}) {
        EXPECT_FALSE(std::regex_search(std::string(ours), foreignName())) << ours;
    }
}

TEST(UserVisibleNames, NoTextNamesAnotherSystemItsKeysOrItsServices)
{
    const fs::path root(KIVO_SOURCE_DIR);
    std::vector<fs::path> files{root / "README.md"};
    for (const char* folder : {"app", "platform", "runner", "relaunch", "probe", "bundle"}) {
        for (const auto& entry : fs::recursive_directory_iterator(root / folder)) {
            const auto extension = entry.path().extension();
            if (entry.is_regular_file() && (extension == ".cpp" || extension == ".h" || extension == ".desktop" ||
                                            extension == ".xml" || extension == ".json")) {
                files.push_back(entry.path());
            }
        }
    }
    // The translated texts live in the interface's catalogues.
    for (const auto& entry : fs::directory_iterator(root / "resources" / "translations")) {
        if (entry.path().extension() == ".ts") {
            files.push_back(entry.path());
        }
    }
    ASSERT_GT(files.size(), 100u);
    std::vector<std::string> found;
    for (const auto& file : files) {
        for (auto& offence : offences(file)) {
            found.push_back(std::move(offence));
        }
    }
    std::string list;
    for (const auto& offence : found) {
        list += offence + "\n";
    }
    EXPECT_TRUE(found.empty()) << list;
}

} // namespace
