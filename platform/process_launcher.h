#pragma once
// Starts other programs from an argument list (never through a shell), each in its own process
// group, and stops only the processes it started itself.

#include "platform/services.h"

#include <QObject>

#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <set>

namespace platform {

class ProcessLauncher : public Launcher {
public:
    ProcessLauncher() = default;
    ~ProcessLauncher() override;
    ProcessLauncher(const ProcessLauncher&) = delete;
    ProcessLauncher& operator=(const ProcessLauncher&) = delete;

    std::optional<std::int64_t> start(const QString& program, const QStringList& arguments,
                                      const QString& workingFolder = QString(),
                                      WindowStyle style = WindowStyle::Normal) override;
    // Waits for the program, letting window events run when an application exists. A program
    // ended by a signal gives 128 + the signal number.
    std::optional<std::int64_t> startHolding(const QString& program, const QStringList& arguments,
                                             const QString& workingFolder, WindowStyle style,
                                             int heldFd) override;
    std::optional<int> run(const QString& program, const QStringList& arguments,
                           const QString& workingFolder = QString(),
                           int timeoutMs = 30000) override;
    bool isRunning(std::int64_t pid) override;
    // The exit status and the first line of standard error of a hidden or minimized program,
    // for the last 64 programs that ended.
    std::optional<ProgramEnd> programEnd(std::int64_t pid) override;
    // SIGTERM to the process group, SIGKILL after 500 ms, then reaps it. False for a process
    // this launcher did not start; true for one of its own, also when it had already ended.
    bool stop(std::int64_t pid) override;
    // Looks for a live member of the group in /proc, so that orphans which nobody collects
    // (zombies) do not keep a group alive.
    bool isGroupRunning(std::int64_t pid) override;
    // Signals the group until no live member is left (at most about 2.5 s); true when none is.
    bool stopGroup(std::int64_t pid) override;
    std::vector<std::int64_t> runningStarts(const QString& program) override;
    // The child asks the kernel for SIGKILL when this program's thread that started it ends.
    std::optional<std::int64_t> startJob(const QString& program, const QStringList& arguments,
                                         const QString& workingFolder, int heldFd) override;
    // xdg-open; its exit status is looked at (on the application's thread) while the launcher
    // lives.
    bool openPath(const QString& path, std::function<void()> failed = {}) override;
    // `nmcli connection up id NAME`; true when it exits with 0.
    bool joinNetwork(const QString& name) override;

private:
    // `quiet`: standard output goes to /dev/null instead of this program's own, standard
    // error into a pipe whose reading end is put into *errorRead when it is given (the
    // program's writes fail instead of blocking once the pipe is full), else to /dev/null.
    // Only programs whose end is read (programEnd) get the pipe: it is read once they end.
    // `tied`: killed when this program ends; `heldFd`: a descriptor the program inherits.
    std::optional<std::int64_t> spawn(const QString& program, const QStringList& arguments,
                                      const QString& workingFolder, bool quiet,
                                      int* errorRead = nullptr, bool tied = false,
                                      int heldFd = -1);
    // Collects the exit of every started process that has ended, so none stays a zombie.
    void reapEnded();
    // Notes how a started process ended (its wait status) and closes its error pipe.
    void collected(std::int64_t pid, const int* waitStatus);

    std::mutex m_mutex;
    std::set<std::int64_t> m_started; // started and not yet reaped
    std::set<std::int64_t> m_known;   // every process started by start()
    // What start() started, by process id.
    std::map<std::int64_t, QString> m_programs;
    // Groups seen with no member left: their number may lead another group by now.
    std::set<std::int64_t> m_groupsEnded;
    std::map<std::int64_t, int> m_errorPipes; // reading ends of the quiet programs' stderr
    std::map<std::int64_t, ProgramEnd> m_ends;
    std::deque<std::int64_t> m_endOrder; // oldest first
    // Parent of the timers that wait for the ends of the openers, on the application's thread.
    std::unique_ptr<QObject> m_openerWatch;
};

// Makes SIGTERM and SIGHUP (the desktop closing, a `kill`) end the running application the
// way a normal close does: its event loop returns, so that what runs after it (the windows
// destroyed, their batches and programs stopped) runs as well. Call once the application exists.
void quitOnTerminationSignals();

} // namespace platform
