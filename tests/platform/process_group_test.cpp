#include "platform/process_launcher.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <fcntl.h>
#include <memory>
#include <sys/file.h>
#include <unistd.h>

using platform::ProcessLauncher;

namespace {

bool waitUntil(const std::function<bool()>& condition, int ms) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < end) {
        if (condition())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return condition();
}

// The pid a script wrote into a file, once it is there (the limit only guards against a hang).
long pidFrom(const QString& file) {
    long pid = 0;
    waitUntil(
        [&] {
            std::ifstream in(file.toStdString());
            return static_cast<bool>(in >> pid);
        },
        30000);
    return pid;
}

// Alive and not a zombie: a zombie runs nothing.
bool runs(long pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string stat;
    if (!std::getline(in, stat))
        return false;
    const auto close = stat.rfind(')');
    return close != std::string::npos && close + 2 < stat.size() && stat[close + 2] != 'Z';
}

} // namespace

TEST(ProcessGroup, AGroupLivesOnAfterItsLeaderAndStopGroupEndsIt) {
    QTemporaryDir dir;
    ProcessLauncher launcher;
    const QString file = dir.filePath("child");
    const auto pid = launcher.start("/bin/sh", {"-c", "sleep 30 & echo $! > '" + file + "'"},
                                    dir.path(), platform::WindowStyle::Hidden);
    ASSERT_TRUE(pid);
    const long child = pidFrom(file);
    ASSERT_GT(child, 0);
    ASSERT_TRUE(waitUntil([&] { return !launcher.isRunning(*pid); }, 30000));
    EXPECT_TRUE(launcher.isGroupRunning(*pid)); // the sleep is left behind in the group
    EXPECT_TRUE(runs(child));

    EXPECT_TRUE(launcher.stopGroup(*pid));
    EXPECT_FALSE(launcher.isGroupRunning(*pid));
    EXPECT_FALSE(runs(child));
}

TEST(ProcessGroup, AMemberThatIgnoresTerminationIsKilled) {
    QTemporaryDir dir;
    ProcessLauncher launcher;
    const QString file = dir.filePath("child");
    const auto pid =
        launcher.start("/bin/sh", {"-c", "trap '' TERM; sleep 30 & echo $! > '" + file + "'; wait"},
                       dir.path(), platform::WindowStyle::Hidden);
    ASSERT_TRUE(pid);
    const long child = pidFrom(file);
    ASSERT_GT(child, 0);
    EXPECT_TRUE(launcher.isRunning(*pid));
    const auto before = std::chrono::steady_clock::now();
    EXPECT_TRUE(launcher.stopGroup(*pid));
    EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(15)); // not 30 s
    EXPECT_FALSE(launcher.isRunning(*pid));
    EXPECT_FALSE(launcher.isGroupRunning(*pid));
    EXPECT_FALSE(runs(child));
}

TEST(ProcessGroup, EndedMembersThatNobodyCollectsDoNotKeepTheGroupAlive) {
    QTemporaryDir dir;
    ProcessLauncher launcher;
    // The child outlives the shell briefly and ends as an orphan; whether the init process
    // collects it or not, the group has nothing running afterwards.
    const auto pid =
        launcher.start("/bin/sh", {"-c", "sleep 0.2 &"}, dir.path(), platform::WindowStyle::Hidden);
    ASSERT_TRUE(pid);
    EXPECT_TRUE(waitUntil([&] { return !launcher.isGroupRunning(*pid); }, 30000));
    EXPECT_TRUE(launcher.stopGroup(*pid)); // nothing left to stop
}

TEST(ProcessGroup, OnlyGroupsOfItsOwnProgramsAreTouched) {
    ProcessLauncher launcher;
    const std::int64_t own = ::getpid();
    EXPECT_FALSE(launcher.isGroupRunning(own));
    EXPECT_FALSE(launcher.stopGroup(own));
    EXPECT_EQ(::kill(static_cast<pid_t>(own), 0), 0);
}

TEST(ProcessGroup, AJobDiesWithWhatStartedItAndHoldsItsLockWhileItLives) {
    QTemporaryDir dir;
    ProcessLauncher launcher;
    const QString lock = dir.filePath("job.lock");
    const QString file = dir.filePath("child");
    int fd = ::open(lock.toLocal8Bit().constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::flock(fd, LOCK_EX | LOCK_NB), 0);
    // Started from a thread that ends at once: the kernel ties the job to the starter's life.
    std::optional<std::int64_t> pid;
    long child = 0;
    std::thread starter([&] {
        pid = launcher.startJob("/bin/sh", {"-c", "sleep 30 & echo $! > '" + file + "'; wait"},
                                dir.path(), fd);
        // The job holds its lock alone once the starter lets go of its own copy. The starter
        // ends only once the shell has written what it started: ending sooner ends the shell.
        ::close(fd);
        child = pidFrom(file);
    });
    starter.join();
    ASSERT_TRUE(pid);
    ASSERT_GT(child, 0);
    // The shell is gone with its starter; what it started still holds the lock.
    EXPECT_TRUE(waitUntil([&] { return !launcher.isRunning(*pid); }, 30000));
    const int probe = ::open(lock.toLocal8Bit().constData(), O_RDWR | O_CLOEXEC);
    ASSERT_GE(probe, 0);
    EXPECT_NE(::flock(probe, LOCK_EX | LOCK_NB), 0);
    EXPECT_TRUE(launcher.stopGroup(*pid));
    EXPECT_FALSE(runs(child));
    EXPECT_EQ(::flock(probe, LOCK_EX | LOCK_NB), 0);
    ::close(probe);
}

TEST(ProcessGroup, TerminationAndHangUpEndTheApplicationAsACloseDoes) {
    static int argc = 1;
    static char name[] = "platform_tests";
    static char* argv[] = {name, nullptr};
    std::unique_ptr<QCoreApplication> owned;
    if (!QCoreApplication::instance())
        owned = std::make_unique<QCoreApplication>(argc, argv);
    platform::quitOnTerminationSignals();
    for (const int signal : {SIGTERM, SIGHUP}) {
        bool timedOut = false;
        QTimer::singleShot(20, [signal] { ::raise(signal); });
        QTimer hangGuard;
        hangGuard.setSingleShot(true);
        QObject::connect(&hangGuard, &QTimer::timeout, [&] {
            timedOut = true;
            QCoreApplication::quit();
        });
        hangGuard.start(60000);
        EXPECT_EQ(QCoreApplication::exec(), 0);
        EXPECT_FALSE(timedOut) << "signal " << signal;
    }
}
