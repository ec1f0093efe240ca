#pragma once
// Starts other programs from an argument list (never through a shell), each in its own process
// group, and stops only the processes it started itself.

#include "platform/services.h"

#include <mutex>
#include <set>

namespace platform {

class ProcessLauncher : public Launcher {
public:
    ProcessLauncher() = default;
    ~ProcessLauncher() override = default;
    ProcessLauncher(const ProcessLauncher&) = delete;
    ProcessLauncher& operator=(const ProcessLauncher&) = delete;

    std::optional<std::int64_t> start(const QString& program, const QStringList& arguments,
                                      const QString& workingFolder = QString(),
                                      WindowStyle style = WindowStyle::Normal) override;
    // Waits for the program, letting window events run when an application exists. A program
    // ended by a signal gives 128 + the signal number.
    std::optional<int> run(const QString& program, const QStringList& arguments,
                           const QString& workingFolder = QString(),
                           int timeoutMs = 30000) override;
    bool isRunning(std::int64_t pid) override;
    // SIGTERM to the process group, SIGKILL after 500 ms, then reaps it. False for a process
    // this launcher did not start; true for one of its own, also when it had already ended.
    bool stop(std::int64_t pid) override;
    // Looks for a live member of the group in /proc, so that orphans which nobody collects
    // (zombies) do not keep a group alive.
    bool isGroupRunning(std::int64_t pid) override;
    // Signals the group until no live member is left (at most about 2.5 s); true when none is.
    bool stopGroup(std::int64_t pid) override;
    // The child asks the kernel for SIGKILL when this program's thread that started it ends.
    std::optional<std::int64_t> startJob(const QString& program, const QStringList& arguments,
                                         const QString& workingFolder, int heldFd) override;
    bool openPath(const QString& path) override;
    // `nmcli connection up id NAME`; true when it exits with 0.
    bool joinNetwork(const QString& name) override;

private:
    // `quiet`: standard output and error go to /dev/null instead of this program's own.
    // `tied`: killed when this program ends; `heldFd`: a descriptor the program inherits.
    std::optional<std::int64_t> spawn(const QString& program, const QStringList& arguments,
                                      const QString& workingFolder, bool quiet, bool tied = false,
                                      int heldFd = -1);
    // Collects the exit of every started process that has ended, so none stays a zombie.
    void reapEnded();

    std::mutex m_mutex;
    std::set<std::int64_t> m_started; // started and not yet reaped
    std::set<std::int64_t> m_known;   // every process started by start()
    // Groups seen with no member left: their number may lead another group by now.
    std::set<std::int64_t> m_groupsEnded;
};

// Makes SIGTERM and SIGHUP (the desktop closing, a `kill`) end the running application the
// way a normal close does: its event loop returns, so that what runs after it (the windows
// destroyed, their batches and programs stopped) runs as well. Call once the application exists.
void quitOnTerminationSignals();

} // namespace platform
