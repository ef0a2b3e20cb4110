#include "app/controller/RunLock.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

namespace kivo {
namespace {

std::string temporaryLockPath()
{
    return (std::filesystem::temp_directory_path() / ("kivo-lock-test-" + std::to_string(::getpid()))).string();
}

TEST(RunLock, PathIsPerUserUnderTmp)
{
    EXPECT_EQ(RunLock::defaultPath(), "/tmp/kivo-afm-" + std::to_string(::getuid()) + ".lock");
}

TEST(RunLock, SecondHolderIsRefusedUntilReleaseAndTheFileStays)
{
    const std::string path = temporaryLockPath();
    std::filesystem::remove(path);
    auto first = RunLock::acquire(path);
    ASSERT_EQ(first.outcome, RunLock::Outcome::locked);
    struct stat info {};
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);

    // flock conflicts between open file descriptions, even inside one process.
    const auto second = RunLock::acquire(path);
    EXPECT_EQ(second.outcome, RunLock::Outcome::held);
    EXPECT_EQ(second.descriptor, -1);

    RunLock::release(first.descriptor);
    EXPECT_EQ(first.descriptor, -1);
    RunLock::release(first.descriptor); // a second release is harmless
    EXPECT_TRUE(std::filesystem::exists(path));

    auto third = RunLock::acquire(path);
    EXPECT_EQ(third.outcome, RunLock::Outcome::locked);
    RunLock::release(third.descriptor);
    std::filesystem::remove(path);
}

TEST(RunLock, RefusesALockFileThatIsNotPlainlyTheUsers)
{
    const std::string path = temporaryLockPath();
    std::filesystem::remove(path);

    // A strict umask does not leave a lock nobody can open again.
    const mode_t previous = ::umask(0277);
    auto created = RunLock::acquire(path);
    ::umask(previous);
    ASSERT_EQ(created.outcome, RunLock::Outcome::locked);
    RunLock::release(created.descriptor);

    ::chmod(path.c_str(), 0644);
    EXPECT_EQ(RunLock::acquire(path).outcome, RunLock::Outcome::unsafe);
    ::chmod(path.c_str(), 0600);
    EXPECT_EQ(RunLock::acquire(path).outcome, RunLock::Outcome::locked);
    RunLock::release(created.descriptor);

    if (::getuid() == 0) { // only root can hand a file to another user
        ASSERT_EQ(::chown(path.c_str(), 65534, 65534), 0);
        EXPECT_EQ(RunLock::acquire(path).outcome, RunLock::Outcome::unsafe);
    }
    std::filesystem::remove(path);

    // A link planted in the shared folder is never followed, not even to one of our files.
    const std::string target = path + ".target";
    auto real = RunLock::acquire(target);
    RunLock::release(real.descriptor);
    std::filesystem::create_symlink(target, path);
    EXPECT_EQ(RunLock::acquire(path).outcome, RunLock::Outcome::unsafe);
    std::filesystem::remove(path);
    std::filesystem::remove(target);

    std::filesystem::create_directory(path);
    EXPECT_EQ(RunLock::acquire(path).outcome, RunLock::Outcome::cannotOpen);
    std::filesystem::remove(path);
}

TEST(RunLock, UnopenablePathIsReportedAsSuch)
{
    EXPECT_EQ(RunLock::acquire("/nonexistent-folder-kivo/x.lock").outcome, RunLock::Outcome::cannotOpen);
}

} // namespace
} // namespace kivo
