#include "tests/app/controller/ControllerTestSupport.h"

#include "platform/accessibility/GuiEventLoop.h"
#include "tools/targetapp/EventLoopWait.h"

#include <QApplication>

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <stdexcept>

namespace kivo::test {

namespace {

// The application is closed after the last test, while the display is still there; letting
// static destruction do it crashes in the platform plugin.
class ApplicationEnvironment : public ::testing::Environment {
public:
    void TearDown() override
    {
        application.reset();
        if (!settingsHome.empty()) {
            std::error_code ignored;
            std::filesystem::remove_all(settingsHome, ignored);
        }
    }
    std::unique_ptr<QApplication> application;
    std::filesystem::path settingsHome;
};

} // namespace

void ensureApplication()
{
    static int argc = 1;
    static char name[] = "kivo-tests";
    static char* argv[] = {name, nullptr};
    static ApplicationEnvironment* environment = nullptr;
    if (!environment) {
        // gtest owns registered environments.
        environment = static_cast<ApplicationEnvironment*>(
            ::testing::AddGlobalTestEnvironment(std::make_unique<ApplicationEnvironment>().release()));
    }
    if (!QApplication::instance()) {
        // Every test process gets empty preferences (and never touches the user's).
        std::string folder = (std::filesystem::temp_directory_path() / "kivo-test-home.XXXXXX").string();
        if (::mkdtemp(folder.data()) != nullptr) {
            environment->settingsHome = folder;
            ::setenv("XDG_CONFIG_HOME", folder.c_str(), 1);
            // Nor the user's models: a test that needs one puts it there.
            ::setenv("XDG_DATA_HOME", (folder + "/data").c_str(), 1);
        }
        environment->application = kivo::GuiEventLoop::create<QApplication>(argc, argv);
    }
}

bool waitUntil(const std::function<bool()>& condition, std::chrono::milliseconds limit)
{
    return spinUntil(condition, limit);
}

void spin(std::chrono::milliseconds duration)
{
    waitUntil([] { return false; }, duration);
}

TestBundle::TestBundle()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "kivo-bundle-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) {
        throw std::runtime_error("mkdtemp failed");
    }
    root_ = pattern;
    std::filesystem::create_directories(resources());
    for (const auto& entry : std::filesystem::directory_iterator(KIVO_RESOURCES_DIR)) {
        const auto extension = entry.path().extension();
        if (extension == ".txt" || extension == ".json") {
            std::filesystem::copy_file(entry.path(), resources() / entry.path().filename());
        }
    }
}

TestBundle::~TestBundle()
{
    std::error_code ignored;
    std::filesystem::remove_all(root_, ignored);
}

void TestBundle::setRunnerScript(const std::string& body)
{
    const auto path = resources() / "rewrite-runner";
    std::filesystem::remove(path);
    std::ofstream(path) << "#!/bin/sh\n" << body << "\n";
    std::filesystem::permissions(path, std::filesystem::perms::owner_all);
}

void TestBundle::linkRunner(const std::filesystem::path& program)
{
    const auto path = resources() / "rewrite-runner";
    std::filesystem::remove(path);
    std::filesystem::create_symlink(program, path);
}

} // namespace kivo::test
