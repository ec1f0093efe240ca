#include "platform/process_launcher.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>
#include <thread>
#include <vector>

using platform::ProcessLauncher;

namespace {

bool alive(long pid) {
    return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
}

bool waitUntil(const std::function<bool()>& condition, int ms) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < end) {
        if (condition())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return condition();
}

TEST(ProcessLauncher, RunGivesTheExitStatusAndUsesTheWorkingFolder) {
    QTemporaryDir dir;
    ProcessLauncher launcher;
    EXPECT_EQ(launcher.run("/bin/sh", {"-c", "pwd > where.txt; exit 3"}, dir.path()), 3);
    QFile where(dir.path() + "/where.txt");
    ASSERT_TRUE(where.open(QIODevice::ReadOnly));
    EXPECT_EQ(QString::fromUtf8(where.readAll()).trimmed(), dir.path());
}

TEST(ProcessLauncher, ArgumentsAreNeverReadByAShell) {
    QTemporaryDir dir;
    ProcessLauncher launcher;
    const QString odd = "a b; touch " + dir.path() + "/injected";
    EXPECT_EQ(launcher.run("/bin/echo", {odd}), 0);
    EXPECT_FALSE(QFile::exists(dir.path() + "/injected"));
}

TEST(ProcessLauncher, StartedProgramInheritsOnlyItsStandardStreams) {
    QTemporaryDir dir;
    const int fd = ::open((dir.path() + "/open.txt").toLocal8Bit().constData(), O_WRONLY | O_CREAT,
                          0644); // no close-on-exec
    ASSERT_GT(fd, 2);
    ProcessLauncher launcher;
    const QString probe = QString("[ -e /proc/self/fd/%1 ] && exit 9; exit 0").arg(fd);
    EXPECT_EQ(launcher.run("/bin/sh", {"-c", probe}), 0);
    ::close(fd);
}

TEST(ProcessLauncher, MissingProgramIsNotStarted) {
    ProcessLauncher launcher;
    EXPECT_FALSE(launcher.start("/no/such/program", {}).has_value());
    EXPECT_FALSE(launcher.run("/no/such/program", {}).has_value());
    EXPECT_FALSE(launcher.start("/bin/true", {}, "/no/such/folder").has_value());
}

TEST(ProcessLauncher, RunThatOutlastsItsTimeOutIsStopped) {
    ProcessLauncher launcher;
    const auto t0 = std::chrono::steady_clock::now();
    EXPECT_FALSE(launcher.run("/bin/sleep", {"30"}, QString(), 200).has_value());
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(15)); // not the 30 s
}

TEST(ProcessLauncher, StartedProcessRunsDetachedUntilStopped) {
    ProcessLauncher launcher;
    const auto pid = launcher.start("/bin/sleep", {"30"});
    ASSERT_TRUE(pid.has_value());
    EXPECT_TRUE(launcher.isRunning(*pid));
    EXPECT_EQ(::getpgid(static_cast<pid_t>(*pid)), static_cast<pid_t>(*pid));
    const auto t0 = std::chrono::steady_clock::now();
    EXPECT_TRUE(launcher.stop(*pid));
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(15)); // not the 30 s
    EXPECT_FALSE(launcher.isRunning(*pid));
    EXPECT_FALSE(alive(*pid)); // reaped, not a zombie
}

TEST(ProcessLauncher, StopEscalatesToKillForAProgramThatIgnoresTerm) {
    QTemporaryDir dir;
    ProcessLauncher launcher;
    // The shell says when it ignores TERM.
    const auto pid = launcher.start(
        "/bin/sh", {"-c", "trap '' TERM; : > ready; sleep 30 & wait; sleep 30"}, dir.path());
    ASSERT_TRUE(pid.has_value());
    ASSERT_TRUE(waitUntil([&] { return QFile::exists(dir.filePath("ready")); }, 30000));
    const auto t0 = std::chrono::steady_clock::now();
    EXPECT_TRUE(launcher.stop(*pid));
    const auto took = std::chrono::steady_clock::now() - t0;
    EXPECT_GE(took, std::chrono::milliseconds(450));
    EXPECT_LT(took, std::chrono::seconds(15)); // not the 30 s
    EXPECT_FALSE(alive(*pid));
}

TEST(ProcessLauncher, StopEndsTheWholeProcessGroup) {
    QTemporaryDir dir;
    ProcessLauncher launcher;
    const QString pidFile = dir.path() + "/child.pid";
    const auto pid =
        launcher.start("/bin/sh", {"-c", "sleep 30 & echo $! > '" + pidFile + "'; wait"});
    ASSERT_TRUE(pid.has_value());
    ASSERT_TRUE(waitUntil([&] { return QFile(pidFile).size() > 0; }, 30000));
    QFile f(pidFile);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const long child = f.readAll().trimmed().toLong();
    ASSERT_GT(child, 0);
    EXPECT_TRUE(launcher.stop(*pid));
    // The grandchild is not ours to reap; it is gone once init collected it.
    EXPECT_TRUE(waitUntil([&] { return !alive(child); }, 30000));
}

TEST(ProcessLauncher, OnlyItsOwnProcessesAreStopped) {
    ProcessLauncher launcher;
    EXPECT_FALSE(launcher.stop(::getpid()));
    EXPECT_FALSE(launcher.stop(1));
    EXPECT_FALSE(launcher.isRunning(::getpid()));
}

// What a program started with `style` writes to its standard output and error, as it reaches
// this process's own standard streams (both sent to one file for the time of the run).
QByteArray consoleOutputOf(platform::WindowStyle style) {
    QTemporaryDir dir;
    const QString console = dir.path() + "/console.txt";
    const QString done = dir.path() + "/done";
    std::fflush(stdout);
    std::fflush(stderr);
    const int savedOut = ::dup(1);
    const int savedErr = ::dup(2);
    const int file = ::open(console.toLocal8Bit().constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ::dup2(file, 1);
    ::dup2(file, 2);
    ::close(file);
    bool ended = false;
    {
        ProcessLauncher launcher;
        const auto pid = launcher.start(
            "/bin/sh", {"-c", "echo frame done; echo warning >&2; : > '" + done + "'"}, QString(),
            style);
        ended = pid && waitUntil([&] { return !launcher.isRunning(*pid); }, 30000);
    }
    ::dup2(savedOut, 1);
    ::dup2(savedErr, 2);
    ::close(savedOut);
    ::close(savedErr);
    if (!ended || !QFile::exists(done))
        return "<did not run>";
    QFile in(console);
    in.open(QIODevice::ReadOnly);
    return in.readAll();
}

TEST(ProcessLauncher, HiddenAndMinimizedProgramsWriteNothingToTheConsole) {
    EXPECT_EQ(consoleOutputOf(platform::WindowStyle::Hidden), QByteArray());
    EXPECT_EQ(consoleOutputOf(platform::WindowStyle::Minimized), QByteArray());
    // A shown program keeps the console it inherits.
    EXPECT_EQ(consoleOutputOf(platform::WindowStyle::Normal), QByteArray("frame done\nwarning\n"));
    EXPECT_EQ(consoleOutputOf(platform::WindowStyle::Maximized),
              QByteArray("frame done\nwarning\n"));
}

TEST(ProcessLauncher, RunningStartsOfAProgramAreKnownUntilTheyEnd) {
    ProcessLauncher launcher;
    const auto first = launcher.start("/bin/sleep", {"30"});
    const auto second = launcher.start("/bin/sleep", {"30"});
    const auto other = launcher.start("/bin/true", {});
    ASSERT_TRUE(first && second && other);
    EXPECT_EQ(launcher.runningStarts("/bin/sleep"), (std::vector<std::int64_t>{*first, *second}));
    EXPECT_TRUE(launcher.stop(*first));
    EXPECT_EQ(launcher.runningStarts("/bin/sleep"), std::vector<std::int64_t>{*second});
    EXPECT_TRUE(launcher.stop(*second));
    EXPECT_TRUE(launcher.runningStarts("/bin/sleep").empty());
    EXPECT_TRUE(waitUntil([&] { return launcher.runningStarts("/bin/true").empty(); }, 30000));
}

TEST(ProcessLauncher, ProgramThatEndedByItselfIsNotRunning) {
    ProcessLauncher launcher;
    const auto pid = launcher.start("/bin/true", {});
    ASSERT_TRUE(pid.has_value());
    EXPECT_TRUE(waitUntil([&] { return !launcher.isRunning(*pid); }, 30000));
    EXPECT_FALSE(alive(*pid));
    EXPECT_TRUE(launcher.stop(*pid)); // ours, already ended
}

} // namespace

namespace {

TEST(ProcessLauncher, AHiddenProgramsEndGivesItsStatusAndFirstErrorLine) {
    ProcessLauncher launcher;
    const auto pid = launcher.start(
        "/bin/sh", {"-c", "echo progress; echo 'Bad option value -bsabc' >&2; echo more >&2; exit 1"},
        QString(), platform::WindowStyle::Hidden);
    ASSERT_TRUE(pid.has_value());
    EXPECT_TRUE(waitUntil([&] { return !launcher.isRunning(*pid); }, 30000));
    const auto end = launcher.programEnd(*pid);
    ASSERT_TRUE(end.has_value());
    EXPECT_EQ(end->status, 1);
    EXPECT_EQ(end->errorLine, "Bad option value -bsabc");
    // A program that writes more than a pipe holds is not held up by it.
    const auto chatty = launcher.start("/bin/sh", {"-c", "head -c 300000 /dev/zero >&2; exit 0"},
                                       QString(), platform::WindowStyle::Hidden);
    ASSERT_TRUE(chatty.has_value());
    EXPECT_TRUE(waitUntil([&] { return !launcher.isRunning(*chatty); }, 30000));
    ASSERT_TRUE(launcher.programEnd(*chatty).has_value());
    // A minimized program (the logger, for a whole run) has nobody reading its error output
    // while it runs: none of its writes there fails.
    const auto logger = launcher.start(
        "/bin/sh", {"-c", "head -c 300000 /dev/zero >&2 && exit 0; exit 3"}, QString(),
        platform::WindowStyle::Minimized);
    ASSERT_TRUE(logger.has_value());
    EXPECT_TRUE(waitUntil([&] { return !launcher.isRunning(*logger); }, 30000));
    const auto loggerEnd = launcher.programEnd(*logger);
    ASSERT_TRUE(loggerEnd.has_value());
    EXPECT_EQ(loggerEnd->status, 0);
}

TEST(ProcessLauncher, AHeldLockStaysWithTheProgramAfterItsStarterHasGone) {
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QByteArray path = QFile::encodeName(folder.filePath("held.lock"));
    const auto lockedElsewhere = [&path] {
        const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
        const bool locked = ::flock(fd, LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK;
        ::close(fd);
        return locked;
    };
    const int lock = ::open(path.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    ASSERT_GE(lock, 0);
    ASSERT_EQ(::flock(lock, LOCK_EX | LOCK_NB), 0);
    std::optional<std::int64_t> pid;
    {
        ProcessLauncher starter;
        pid = starter.startHolding("/bin/sleep", {"30"}, QString(),
                                   platform::WindowStyle::Minimized, lock);
        ASSERT_TRUE(pid.has_value());
    }
    // Its starter has let go of its own copy and is gone (as a Vermalux that crashed).
    ::close(lock);
    EXPECT_TRUE(alive(*pid));
    EXPECT_TRUE(lockedElsewhere());
    // The program's end frees the lock.
    ::kill(static_cast<pid_t>(*pid), SIGKILL);
    EXPECT_TRUE(waitUntil([&] { return !lockedElsewhere(); }, 30000));
    ::waitpid(static_cast<pid_t>(*pid), nullptr, 0);
}

} // namespace
