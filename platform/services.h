#pragma once
// The services that windows and workers use to reach the outside world. Production fills them
// with real implementations; tests replace them with fakes that answer from a queue and record
// what they were asked.

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace platform {

// The buttons a question offers. YesNoDefaultNo: Yes and No with No as the default, for a
// question whose Yes would disturb something under way (Enter answers No).
enum class QuestionButtons { YesNo, YesNoCancel, OkCancel, YesNoDefaultNo };

// Message boxes, Yes/No questions and input boxes.
class Dialogs {
public:
    virtual ~Dialogs() = default;
    // A message box with an OK button only.
    virtual void message(const QString& text, const QString& title = QString()) = 0;
    // A question with Yes and No; true for Yes.
    virtual bool question(const QString& text, const QString& title = QString()) = 0;
    // A question with the given buttons; true for Yes (or OK). Cancel answers as No does.
    virtual bool question(const QString& text, QuestionButtons buttons,
                          const QString& title = QString()) {
        (void)buttons;
        return question(text, title);
    }
    // An input box; the empty text when the operator cancels.
    virtual QString input(const QString& prompt, const QString& title = QString(),
                          const QString& defaultText = QString()) = 0;
};

// How a started program shows itself. A hidden or minimized program has no console: what it
// writes to its standard output is discarded (its results are in its files). The beginning of
// a hidden program's standard error is kept for Launcher::programEnd; a minimized program (a
// window of its own that may run for a whole run, the logger) has its standard error discarded
// as well, so that nothing it writes there can fail.
enum class WindowStyle { Hidden = 0, Normal = 1, Minimized = 2, Maximized = 3 };

// How a program that was started and not waited on has ended.
struct ProgramEnd {
    int status = 0;    // its exit status; 128 + the signal number when a signal ended it
    QString errorLine; // the first line it wrote to its standard error (empty when none)
};

// Starting and stopping other programs, opening files, joining a network.
class Launcher {
public:
    virtual ~Launcher() = default;
    // Starts a program with an argument list, not waited on. Returns its process id, or nothing
    // when it could not be started.
    virtual std::optional<std::int64_t> start(const QString& program, const QStringList& arguments,
                                              const QString& workingFolder = QString(),
                                              WindowStyle style = WindowStyle::Normal) = 0;
    // Starts a program and waits until it ends (at most timeoutMs); its exit status, or nothing
    // when it could not be started or did not end in time (it is then stopped).
    virtual std::optional<int> run(const QString& program, const QStringList& arguments,
                                   const QString& workingFolder = QString(),
                                   int timeoutMs = 30000) = 0;
    // True while a process that this launcher started is still running.
    virtual bool isRunning(std::int64_t pid) = 0;
    // How a hidden or minimized program that start() started has ended (a hidden program's
    // standard error is kept for this, not shown); nothing while it runs, or when it is not
    // known.
    virtual std::optional<ProgramEnd> programEnd(std::int64_t) { return std::nullopt; }
    // Stops a process this launcher started (SIGTERM, then SIGKILL after 500 ms).
    virtual bool stop(std::int64_t pid) = 0;
    // True while any process of the group that a started program leads still runs: the
    // program itself, or what it started and left behind. Ended processes that wait to be
    // collected do not count.
    virtual bool isGroupRunning(std::int64_t pid) { return isRunning(pid); }
    // Ends every process of the group that a started program leads, also when the program
    // itself has already ended (SIGTERM, then SIGKILL after 500 ms). True when the group has
    // ended; false when it lives on, or for a process this launcher did not start.
    virtual bool stopGroup(std::int64_t pid) { return stop(pid); }
    // The processes that start() started from `program` (its path as given) and that still
    // run, so that a program started by a window that has gone meanwhile is still known.
    virtual std::vector<std::int64_t> runningStarts(const QString& program) {
        (void)program;
        return {};
    }
    // Starts a long job (the batch) hidden, in its own process group, tied to this program: it
    // is killed when this program ends, whatever way it ends. It inherits the open descriptor
    // `heldFd` (a lock it holds for its whole life, and its children with it); -1 for none.
    virtual std::optional<std::int64_t> startJob(const QString& program,
                                                 const QStringList& arguments,
                                                 const QString& workingFolder, int heldFd) {
        (void)heldFd;
        return start(program, arguments, workingFolder, WindowStyle::Hidden);
    }
    // Starts a program as start() does; it inherits the open descriptor `heldFd` (a lock it
    // holds for its whole life, also after this program has ended); -1 for none.
    virtual std::optional<std::int64_t> startHolding(const QString& program,
                                                     const QStringList& arguments,
                                                     const QString& workingFolder,
                                                     WindowStyle style, int heldFd) {
        (void)heldFd;
        return start(program, arguments, workingFolder, style);
    }
    // Opens a file or folder in the desktop's opener without waiting for it; false when the
    // opener could not be started. `failed`, when given, is called on the application's thread
    // when the opener could not be started (before this returns) or, later, when it ended with a
    // status other than 0 (no handler for the file, a handler that failed).
    virtual bool openPath(const QString& path, std::function<void()> failed = {}) = 0;
    // Starts joining a Wi-Fi network by its name, without waiting for it; false when the join
    // could not be started.
    virtual bool joinNetwork(const QString& name) = 0;
};

// Wall time for names and stamps, monotonic time for elapsed time, and pauses.
class Clock {
public:
    virtual ~Clock() = default;
    virtual QDateTime now() const = 0;
    // Milliseconds of a monotonic clock; only differences mean anything.
    virtual std::int64_t monotonicMs() const = 0;
    // A pause that lets pending window events run.
    virtual void pause(int ms) = 0;
};

// Fetches a URL into a file; true only when the whole body arrived and was renamed into place.
class Downloader {
public:
    virtual ~Downloader() = default;
    virtual bool downloadFile(const QString& url, const QString& file) = 0;
};

// Everything a window needs from outside, handed to every window.
struct Services {
    std::shared_ptr<Dialogs> dialogs;
    std::shared_ptr<Launcher> launcher;
    std::shared_ptr<Clock> clock;
    std::shared_ptr<Downloader> downloader;
    // The program folder: where the executables and the settings files are.
    QString programFolder;
};

} // namespace platform
