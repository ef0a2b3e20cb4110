// Kivo ended from outside while a model run is going: by a signal, by SIGKILL, by losing its
// display. The runner must never outlive it, and the run lock is free afterwards.
#include "app/controller/RunLock.h"
#include "tests/app/controller/ControllerTestSupport.h"

#include <QProcess>

#include <gtest/gtest.h>

#include <signal.h>

#include <fstream>
#include <sstream>

namespace kivo {
namespace {

using namespace std::chrono_literals;

// A zombie left to a parent that does not reap counts as gone.
bool gone(pid_t pid)
{
    if (::kill(pid, 0) != 0) {
        return true;
    }
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    std::getline(stat, line);
    const auto close = line.rfind(')');
    return close != std::string::npos && close + 2 < line.size() && line[close + 2] == 'Z';
}

pid_t readPid(const std::filesystem::path& file)
{
    pid_t pid = 0;
    std::ifstream(file) >> pid;
    return pid;
}

class TerminationProcess : public ::testing::Test {
protected:
    void SetUp() override
    {
        test::ensureApplication();
        // The runner and a child of its own, both waiting far longer than any test.
        bundle.setRunnerScript("echo $$ > \"$0.pid\"\nsleep 120 &\necho $! > \"$0.child\"\nwait");
    }

    void TearDown() override
    {
        for (const pid_t pid : {runner, grandchild}) {
            if (pid > 0 && !gone(pid)) {
                ::kill(pid, SIGKILL);
            }
        }
        if (helper.state() != QProcess::NotRunning) {
            helper.kill();
            helper.waitForFinished();
        }
    }

    // Starts the helper and waits until its runner and the runner's child are there.
    void start(const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment())
    {
        helper.setProcessEnvironment(environment);
        helper.start(QStringLiteral(KIVO_TERMINATION_HELPER), {QString::fromStdString(bundle.resources().string()),
                                                               QString::fromStdString(bundle.lockPath().string())});
        ASSERT_TRUE(helper.waitForStarted());
        ASSERT_TRUE(test::waitUntil([this] { return helper.canReadLine() || helper.state() == QProcess::NotRunning; }));
        ASSERT_EQ(helper.readLine().trimmed().toStdString(), "running") << helper.readAllStandardError().toStdString();
        const auto script = bundle.resources() / "rewrite-runner";
        ASSERT_TRUE(test::waitUntil([&] {
            runner = readPid(script.string() + ".pid");
            grandchild = readPid(script.string() + ".child");
            return runner > 0 && grandchild > 0;
        }));
    }

    bool lockIsFree()
    {
        auto lock = RunLock::acquire(bundle.lockPath().string());
        const bool free = lock.outcome == RunLock::Outcome::locked;
        RunLock::release(lock.descriptor);
        return free;
    }

    test::TestBundle bundle;
    QProcess helper;
    pid_t runner = 0;
    pid_t grandchild = 0;
};

TEST_F(TerminationProcess, SessionSignalsTakeTheQuitPath)
{
    for (const int signal : {SIGTERM, SIGHUP, SIGINT}) {
        SCOPED_TRACE(signal);
        start();
        ASSERT_FALSE(lockIsFree());
        ::kill(static_cast<pid_t>(helper.processId()), signal);
        ASSERT_TRUE(helper.waitForFinished(10000));
        EXPECT_EQ(helper.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(helper.exitCode(), 0);
        EXPECT_EQ(helper.readAllStandardOutput().trimmed().toStdString(), "quit path");
        EXPECT_TRUE(test::waitUntil([this] { return gone(runner) && gone(grandchild); }, 20000ms));
        EXPECT_TRUE(lockIsFree());
        std::filesystem::remove(bundle.resources() / "rewrite-runner.pid");
        std::filesystem::remove(bundle.resources() / "rewrite-runner.child");
    }
}

TEST_F(TerminationProcess, RunnerDiesWithAHardKilledApp)
{
    start();
    ::kill(static_cast<pid_t>(helper.processId()), SIGKILL);
    ASSERT_TRUE(helper.waitForFinished(10000));
    EXPECT_TRUE(test::waitUntil([this] { return gone(runner); }, 20000ms)) << "the runner outlived Kivo";
}

TEST_F(TerminationProcess, LosingTheDisplayStopsTheRun)
{
    // A display of our own, so that it can be taken away.
    QProcess server;
    server.setProcessChannelMode(QProcess::SeparateChannels);
    server.start(QStringLiteral("Xvfb"),
                 {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-nolisten"), QStringLiteral("tcp"),
                  QStringLiteral("-screen"), QStringLiteral("0"), QStringLiteral("640x480x24")});
    if (!server.waitForStarted()) {
        GTEST_SKIP() << "needs Xvfb";
    }
    ASSERT_TRUE(test::waitUntil([&] { return server.canReadLine(); }));
    const QString display = QStringLiteral(":") + QString::fromLatin1(server.readLine().trimmed());
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DISPLAY"), display);
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    start(environment);

    server.kill();
    server.waitForFinished();
    ASSERT_TRUE(helper.waitForFinished(10000));
    // The whole process group went, not only the runner the kernel kills for us.
    EXPECT_TRUE(test::waitUntil([this] { return gone(runner) && gone(grandchild); }, 20000ms));
    EXPECT_TRUE(lockIsFree());
}

} // namespace
} // namespace kivo
