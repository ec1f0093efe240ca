#include "platform/process_launcher.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/prctl.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace platform {

namespace {

bool onApplicationThread() {
    auto* app = QCoreApplication::instance();
    return app && app->thread() == QThread::currentThread();
}

void letEventsRun() {
    if (onApplicationThread())
        QCoreApplication::processEvents();
}

// Waits up to ms for pid to end; true when it ended and was reaped (status in *status).
bool waitForExit(pid_t pid, int ms, int* status, bool processEvents) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    for (;;) {
        const pid_t r = ::waitpid(pid, status, WNOHANG);
        if (r == pid)
            return true;
        if (r < 0 && errno != EINTR)
            return true; // already reaped elsewhere; nothing left to wait for
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        if (processEvents)
            letEventsRun();
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

// True when a process of group `group` runs (zombies left uncollected do not count: an orphan
// is reparented to the init process, which may never collect it).
bool groupHasLiveMember(pid_t group) {
    if (::kill(-group, 0) != 0 && errno == ESRCH)
        return false;
    DIR* proc = ::opendir("/proc");
    if (!proc)
        return true; // no way to look closer: the signal test said the group is there
    bool live = false;
    while (const dirent* entry = ::readdir(proc)) {
        const char* name = entry->d_name;
        if (name[0] < '0' || name[0] > '9')
            continue;
        std::ifstream in(std::string("/proc/") + name + "/stat");
        std::string stat;
        if (!std::getline(in, stat))
            continue; // ended meanwhile
        // "pid (comm) state ppid pgrp ...": comm may hold blanks and parentheses.
        const auto close = stat.rfind(')');
        if (close == std::string::npos)
            continue;
        std::istringstream fields(stat.substr(close + 1));
        char state = 0;
        long parent = 0;
        long pgrp = 0;
        if (!(fields >> state >> parent >> pgrp))
            continue;
        if (pgrp == static_cast<long>(group) && state != 'Z' && state != 'X') {
            live = true;
            break;
        }
    }
    ::closedir(proc);
    return live;
}

} // namespace

std::optional<std::int64_t> ProcessLauncher::spawn(const QString& program,
                                                   const QStringList& arguments,
                                                   const QString& workingFolder, bool quiet,
                                                   int* errorRead, bool tied, int heldFd) {
    if (program.isEmpty())
        return std::nullopt;
    // Everything the child needs is prepared before fork: after it, only exec and plain system
    // calls run in the child.
    std::vector<std::string> words;
    words.push_back(program.toStdString());
    for (const QString& a : arguments)
        words.push_back(a.toStdString());
    std::vector<char*> argv;
    for (auto& w : words)
        argv.push_back(w.data());
    argv.push_back(nullptr);
    const std::string folder = workingFolder.toStdString();

    int report[2];
    if (::pipe2(report, O_CLOEXEC) != 0)
        return std::nullopt;
    int errors[2] = {-1, -1};
    if (quiet && errorRead && ::pipe2(errors, O_CLOEXEC) != 0)
        errors[0] = errors[1] = -1;
    const auto closeErrors = [&errors] {
        for (int& fd : errors)
            if (fd >= 0) {
                ::close(fd);
                fd = -1;
            }
    };
    const pid_t parent = ::getpid();

    const pid_t pid = ::fork();
    if (pid < 0) {
        ::close(report[0]);
        ::close(report[1]);
        closeErrors();
        return std::nullopt;
    }
    if (pid == 0) {
        ::setpgid(0, 0);
        if (tied) {
            ::prctl(PR_SET_PDEATHSIG, SIGKILL);
            if (::getppid() != parent) // this program ended before the request was made
                ::_exit(127);
        }
        // Default signal handling and an empty mask for the new program.
        sigset_t none;
        sigemptyset(&none);
        ::sigprocmask(SIG_SETMASK, &none, nullptr);
        ::signal(SIGPIPE, SIG_DFL);
        ::signal(SIGTERM, SIG_DFL);
        ::signal(SIGINT, SIG_DFL);
        const int devNull = ::open("/dev/null", O_RDONLY);
        if (devNull >= 0) {
            ::dup2(devNull, 0);
            ::close(devNull);
        }
        if (quiet) {
            const int sink = ::open("/dev/null", O_WRONLY);
            if (sink >= 0) {
                ::dup2(sink, 1);
                ::dup2(errors[1] >= 0 ? errors[1] : sink, 2);
                if (sink > 2)
                    ::close(sink);
            }
            // Nobody reads the pipe while the program runs: a full pipe fails its writes
            // rather than stopping the program.
            if (errors[1] >= 0)
                ::fcntl(2, F_SETFL, ::fcntl(2, F_GETFL) | O_NONBLOCK);
        }
        // The new program inherits only its standard streams (and the held descriptor).
        const unsigned keep = static_cast<unsigned>(report[1]);
        if (heldFd > 2 && static_cast<unsigned>(heldFd) != keep) {
            const unsigned held = static_cast<unsigned>(heldFd);
            const unsigned low = std::min(keep, held);
            const unsigned high = std::max(keep, held);
            if (low > 3)
                ::close_range(3, low - 1, 0);
            if (high > low + 1)
                ::close_range(low + 1, high - 1, 0);
            ::close_range(high + 1, ~0U, 0);
            ::fcntl(heldFd, F_SETFD, 0); // kept across exec
        } else {
            if (keep > 3)
                ::close_range(3, keep - 1, 0);
            ::close_range(keep + 1, ~0U, 0);
        }
        int error = 0;
        if (!folder.empty() && ::chdir(folder.c_str()) != 0)
            error = errno;
        if (error == 0) {
            ::execvp(argv[0], argv.data());
            error = errno;
        }
        ssize_t ignored = ::write(report[1], &error, sizeof error);
        (void)ignored;
        ::_exit(127);
    }
    ::setpgid(pid, pid); // also from here, so the group exists before anyone signals it
    ::close(report[1]);
    if (errors[1] >= 0) {
        ::close(errors[1]);
        errors[1] = -1;
    }
    int error = 0;
    ssize_t got;
    do {
        got = ::read(report[0], &error, sizeof error);
    } while (got < 0 && errno == EINTR);
    ::close(report[0]);
    if (got > 0) {
        int status = 0;
        ::waitpid(pid, &status, 0);
        closeErrors();
        return std::nullopt;
    }
    if (errors[0] >= 0) {
        ::fcntl(errors[0], F_SETFL, ::fcntl(errors[0], F_GETFL) | O_NONBLOCK);
        *errorRead = errors[0];
    }
    return static_cast<std::int64_t>(pid);
}

ProcessLauncher::~ProcessLauncher() {
    for (const auto& [pid, fd] : m_errorPipes)
        ::close(fd);
}

void ProcessLauncher::collected(std::int64_t pid, const int* waitStatus) {
    QString line;
    if (const auto pipe = m_errorPipes.find(pid); pipe != m_errorPipes.end()) {
        char text[4096];
        ssize_t got;
        do {
            got = ::read(pipe->second, text, sizeof text);
        } while (got < 0 && errno == EINTR);
        if (got > 0) {
            std::string first(text, static_cast<std::size_t>(got));
            first = first.substr(0, first.find('\n'));
            line = QString::fromLocal8Bit(first).trimmed();
        }
        ::close(pipe->second);
        m_errorPipes.erase(pipe);
    }
    if (!waitStatus)
        return; // collected elsewhere: how it ended is not known
    ProgramEnd end;
    end.errorLine = line;
    if (WIFEXITED(*waitStatus))
        end.status = WEXITSTATUS(*waitStatus);
    else if (WIFSIGNALED(*waitStatus))
        end.status = 128 + WTERMSIG(*waitStatus);
    else
        return;
    if (m_ends.insert_or_assign(pid, end).second)
        m_endOrder.push_back(pid);
    while (m_endOrder.size() > 64) {
        m_ends.erase(m_endOrder.front());
        m_endOrder.pop_front();
    }
}

std::optional<ProgramEnd> ProcessLauncher::programEnd(std::int64_t pid) {
    std::lock_guard lock(m_mutex);
    reapEnded();
    if (m_started.count(pid) > 0)
        return std::nullopt;
    const auto it = m_ends.find(pid);
    if (it == m_ends.end())
        return std::nullopt;
    return it->second;
}

void ProcessLauncher::reapEnded() {
    for (auto it = m_started.begin(); it != m_started.end();) {
        int status = 0;
        const pid_t r = ::waitpid(static_cast<pid_t>(*it), &status, WNOHANG);
        if (r == static_cast<pid_t>(*it) || (r < 0 && errno == ECHILD)) {
            collected(*it, r > 0 ? &status : nullptr);
            it = m_started.erase(it);
        } else {
            ++it;
        }
    }
}

std::optional<std::int64_t> ProcessLauncher::start(const QString& program,
                                                   const QStringList& arguments,
                                                   const QString& workingFolder,
                                                   WindowStyle style) {
    return startHolding(program, arguments, workingFolder, style, -1);
}

std::optional<std::int64_t> ProcessLauncher::startHolding(const QString& program,
                                                          const QStringList& arguments,
                                                          const QString& workingFolder,
                                                          WindowStyle style, int heldFd) {
    const bool quiet = style == WindowStyle::Hidden || style == WindowStyle::Minimized;
    // A minimized program (the logger) runs for a whole run and nobody reads its error output
    // meanwhile: a pipe would fill and fail its writes. It goes to /dev/null.
    const bool keepErrors = style == WindowStyle::Hidden;
    std::lock_guard lock(m_mutex);
    reapEnded();
    int errorRead = -1;
    auto pid = spawn(program, arguments, workingFolder, quiet, keepErrors ? &errorRead : nullptr,
                     false, heldFd);
    if (pid) {
        m_started.insert(*pid);
        m_known.insert(*pid);
        m_programs[*pid] = program;
        m_ends.erase(*pid); // a number used again
        if (errorRead >= 0)
            m_errorPipes[*pid] = errorRead;
    }
    return pid;
}

std::optional<int> ProcessLauncher::run(const QString& program, const QStringList& arguments,
                                        const QString& workingFolder, int timeoutMs) {
    std::optional<std::int64_t> pid;
    {
        std::lock_guard lock(m_mutex);
        reapEnded();
        pid = spawn(program, arguments, workingFolder, false);
    }
    if (!pid)
        return std::nullopt;
    int status = 0;
    if (!waitForExit(static_cast<pid_t>(*pid), timeoutMs, &status, true)) {
        ::kill(-static_cast<pid_t>(*pid), SIGTERM);
        if (!waitForExit(static_cast<pid_t>(*pid), 500, &status, false)) {
            ::kill(-static_cast<pid_t>(*pid), SIGKILL);
            ::waitpid(static_cast<pid_t>(*pid), &status, 0);
        }
        return std::nullopt;
    }
    if (WIFEXITED(status))
        return WEXITSTATUS(status);
    if (WIFSIGNALED(status))
        return 128 + WTERMSIG(status);
    return std::nullopt;
}

std::optional<std::int64_t> ProcessLauncher::startJob(const QString& program,
                                                      const QStringList& arguments,
                                                      const QString& workingFolder, int heldFd) {
    std::lock_guard lock(m_mutex);
    reapEnded();
    auto pid = spawn(program, arguments, workingFolder, true, nullptr, true, heldFd);
    if (pid) {
        m_started.insert(*pid);
        m_known.insert(*pid);
    }
    return pid;
}

bool ProcessLauncher::isRunning(std::int64_t pid) {
    std::lock_guard lock(m_mutex);
    reapEnded();
    return m_started.count(pid) > 0;
}

bool ProcessLauncher::stop(std::int64_t pid) {
    std::lock_guard lock(m_mutex);
    reapEnded();
    if (m_known.count(pid) == 0)
        return false;
    if (m_started.count(pid) == 0)
        return true; // it has ended by itself
    const auto p = static_cast<pid_t>(pid);
    int status = 0;
    // The whole group, so that what the program started ends with it; the process itself too,
    // in case it left its group.
    ::kill(-p, SIGTERM);
    ::kill(p, SIGTERM);
    if (!waitForExit(p, 500, &status, false)) {
        ::kill(-p, SIGKILL);
        ::kill(p, SIGKILL);
        while (::waitpid(p, &status, 0) < 0 && errno == EINTR) {
        }
    }
    collected(pid, &status);
    m_started.erase(pid);
    return true;
}

bool ProcessLauncher::isGroupRunning(std::int64_t pid) {
    std::lock_guard lock(m_mutex);
    reapEnded();
    if (m_started.count(pid) > 0)
        return true;
    if (m_known.count(pid) == 0 || m_groupsEnded.count(pid) > 0)
        return false;
    if (groupHasLiveMember(static_cast<pid_t>(pid)))
        return true;
    // The group is gone for good. Its number is free again and may lead someone else's group
    // soon: it is never looked at or signalled again.
    m_groupsEnded.insert(pid);
    return false;
}

bool ProcessLauncher::stopGroup(std::int64_t pid) {
    std::lock_guard lock(m_mutex);
    reapEnded();
    if (m_known.count(pid) == 0)
        return false;
    if (m_groupsEnded.count(pid) > 0)
        return true;
    const auto p = static_cast<pid_t>(pid);
    const bool leaderLive = m_started.count(pid) > 0;
    // Ended when the program itself has been collected and no member of its group runs.
    auto ended = [&] {
        if (m_started.count(pid) > 0) {
            int status = 0;
            const pid_t r = ::waitpid(p, &status, WNOHANG);
            if (r == p || (r < 0 && errno == ECHILD)) {
                collected(pid, r == p ? &status : nullptr);
                m_started.erase(pid);
            }
        }
        if (m_started.count(pid) > 0 || groupHasLiveMember(p))
            return false;
        m_groupsEnded.insert(pid); // its number may be taken again: never signal it later
        return true;
    };
    auto waitEnded = [&](int ms) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        while (!ended()) {
            if (std::chrono::steady_clock::now() >= deadline)
                return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return true;
    };
    if (ended())
        return true;
    ::kill(-p, SIGTERM);
    if (leaderLive)
        ::kill(p, SIGTERM);
    if (waitEnded(500))
        return true;
    ::kill(-p, SIGKILL);
    if (m_started.count(pid) > 0)
        ::kill(p, SIGKILL);
    if (m_started.count(pid) > 0) {
        int status = 0;
        while (::waitpid(p, &status, 0) < 0 && errno == EINTR) {
        }
        collected(pid, &status);
        m_started.erase(pid);
    }
    return waitEnded(2000);
}

std::vector<std::int64_t> ProcessLauncher::runningStarts(const QString& program) {
    std::lock_guard lock(m_mutex);
    reapEnded();
    std::vector<std::int64_t> pids;
    for (auto it = m_programs.begin(); it != m_programs.end();) {
        if (m_started.count(it->first) == 0) {
            it = m_programs.erase(it); // ended: its number may be taken again
            continue;
        }
        if (it->second == program)
            pids.push_back(it->first);
        ++it;
    }
    return pids;
}

bool ProcessLauncher::openPath(const QString& path, std::function<void()> failed) {
    const auto pid = start(QStringLiteral("xdg-open"), {path});
    if (!pid) {
        if (failed)
            failed();
        return false;
    }
    auto* app = QCoreApplication::instance();
    if (!failed || !app)
        return true;
    // The opener exits with a status other than 0 when no handler takes the file. It is not
    // waited on here (a handler may keep it running for as long as the file is open): a timer
    // looks for its end while the window goes on.
    if (!m_openerWatch) {
        m_openerWatch = std::make_unique<QObject>();
        m_openerWatch->moveToThread(app->thread());
    }
    auto* watch = new QTimer;
    watch->setInterval(50);
    watch->moveToThread(app->thread());
    watch->setParent(m_openerWatch.get());
    QObject::connect(
        watch, &QTimer::timeout, watch, [this, watch, opener = *pid, failed = std::move(failed)] {
            const std::optional<ProgramEnd> end = programEnd(opener);
            if (!end && isRunning(opener))
                return;
            watch->stop();
            watch->deleteLater();
            // An end no longer known (long ago, among many others) is taken as a success.
            if (end && end->status != 0) {
                const std::function<void()> say = failed; // the timer goes while it may wait
                say();
            }
        });
    QMetaObject::invokeMethod(watch, qOverload<>(&QTimer::start), Qt::QueuedConnection);
    return true;
}

bool ProcessLauncher::joinNetwork(const QString& name) {
    // Started, not waited on: joining can take many seconds, and the window must not freeze
    // meanwhile (the callers pause a second and go on).
    return start(QStringLiteral("nmcli"),
                 {QStringLiteral("connection"), QStringLiteral("up"), QStringLiteral("id"), name},
                 QString(), WindowStyle::Hidden)
        .has_value();
}

namespace {

int g_signalPipe[2] = {-1, -1};

void onTerminationSignal(int) {
    const int saved = errno;
    const char byte = 1;
    ssize_t ignored = ::write(g_signalPipe[1], &byte, 1);
    (void)ignored;
    errno = saved;
}

} // namespace

void quitOnTerminationSignals() {
    auto* app = QCoreApplication::instance();
    if (!app || g_signalPipe[0] >= 0)
        return;
    if (::pipe2(g_signalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    auto* notifier = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read, app);
    QObject::connect(notifier, &QSocketNotifier::activated, app, [] {
        char bytes[16];
        while (::read(g_signalPipe[0], bytes, sizeof bytes) > 0) {
        }
        QCoreApplication::quit();
    });
    struct sigaction action {};
    action.sa_handler = onTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGHUP, &action, nullptr);
}

} // namespace platform
