#pragma once
// Fakes of the services for tests: they answer from queues that the test fills and record what
// they were asked. No fake ever waits on a person.

#include "platform/services.h"

#include <QCoreApplication>
#include <QFile>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <unistd.h>
#include <map>
#include <mutex>
#include <optional>
#include <vector>

namespace platform::fakes {

class FakeDialogs : public Dialogs {
public:
    struct Entry {
        QString kind; // "message", "question" or "input"
        QString text;
        QString title;
        QuestionButtons buttons = QuestionButtons::YesNo; // what a question offered
    };
    void message(const QString& text, const QString& title = QString()) override {
        log.push_back({"message", text, title});
    }
    bool question(const QString& text, const QString& title = QString()) override {
        log.push_back({"question", text, title, m_offered});
        if (answers.empty())
            return defaultAnswer;
        const bool answer = answers.front();
        answers.pop_front();
        return answer;
    }
    // Recorded with its buttons; answered (and seen by a subclass) as a Yes/No question.
    bool question(const QString& text, QuestionButtons buttons,
                  const QString& title = QString()) override {
        m_offered = buttons;
        const bool answer = question(text, title);
        m_offered = QuestionButtons::YesNo;
        return answer;
    }
    QString input(const QString& prompt, const QString& title = QString(),
                  const QString& defaultText = QString()) override {
        log.push_back({"input", prompt, title});
        if (inputs.empty())
            return defaultText;
        QString answer = inputs.front();
        inputs.pop_front();
        return answer;
    }
    // Texts of the message boxes shown so far.
    QStringList messages() const {
        QStringList out;
        for (const auto& e : log)
            if (e.kind == "message")
                out << e.text;
        return out;
    }
    QStringList questions() const {
        QStringList out;
        for (const auto& e : log)
            if (e.kind == "question")
                out << e.text;
        return out;
    }

    // The buttons the question of that text offered; nothing when it was not asked.
    std::optional<QuestionButtons> buttonsOf(const QString& text) const {
        for (const auto& e : log)
            if (e.kind == "question" && e.text == text)
                return e.buttons;
        return std::nullopt;
    }

    std::deque<bool> answers;   // next answers to questions
    bool defaultAnswer = false; // when the queue is empty
    std::deque<QString> inputs; // next answers to input boxes
    std::vector<Entry> log;

private:
    QuestionButtons m_offered = QuestionButtons::YesNo;
};

class FakeLauncher : public Launcher {
public:
    struct Start {
        QString program;
        QStringList arguments;
        QString workingFolder;
        std::int64_t pid;
        WindowStyle style = WindowStyle::Normal;
    };
    std::optional<std::int64_t> start(const QString& program, const QStringList& arguments,
                                      const QString& workingFolder = QString(),
                                      WindowStyle style = WindowStyle::Normal) override {
        const std::int64_t pid = nextPid++;
        started.push_back({program, arguments, workingFolder, pid, style});
        running[pid] = true;
        if (onStart)
            onStart(started.back());
        if (failStarts)
            return std::nullopt;
        return pid;
    }
    std::optional<int> run(const QString& program, const QStringList& arguments,
                           const QString& workingFolder = QString(), int = 30000) override {
        const std::int64_t pid = nextPid++;
        started.push_back({program, arguments, workingFolder, pid});
        if (onStart)
            onStart(started.back());
        if (failStarts)
            return std::nullopt;
        return runStatus;
    }
    // Like a real program, the started one holds the inherited descriptor until it is stopped.
    std::optional<std::int64_t> startHolding(const QString& program, const QStringList& arguments,
                                             const QString& workingFolder, WindowStyle style,
                                             int heldFd) override {
        const auto pid = start(program, arguments, workingFolder, style);
        if (pid && heldFd >= 0)
            held[*pid] = ::dup(heldFd);
        return pid;
    }
    ~FakeLauncher() override {
        for (const auto& [pid, fd] : held)
            ::close(fd);
    }
    bool isRunning(std::int64_t pid) override {
        releaseEnded();
        auto it = running.find(pid);
        return it != running.end() && it->second;
    }
    // A program the test marked ended lets go of what it held, as a real one does on exit.
    void releaseEnded() {
        for (auto it = held.begin(); it != held.end();) {
            if (running[it->first]) {
                ++it;
                continue;
            }
            ::close(it->second);
            it = held.erase(it);
        }
    }
    // The end a test gave a started program in `ends`, once it no longer runs.
    std::optional<ProgramEnd> programEnd(std::int64_t pid) override {
        const auto it = ends.find(pid);
        if (it == ends.end() || isRunning(pid))
            return std::nullopt;
        return it->second;
    }
    bool stop(std::int64_t pid) override {
        stopped.push_back(pid);
        if (const auto fd = held.find(pid); fd != held.end()) {
            ::close(fd->second);
            held.erase(fd);
        }
        auto it = running.find(pid);
        if (it == running.end())
            return false;
        it->second = false;
        return true;
    }
    std::vector<std::int64_t> runningStarts(const QString& program) override {
        releaseEnded();
        std::vector<std::int64_t> pids;
        for (const Start& s : started)
            if (s.program == program && isRunning(s.pid))
                pids.push_back(s.pid);
        return pids;
    }
    bool openPath(const QString& path, std::function<void()> failed = {}) override {
        opened << path;
        if (!openSucceeds && failed)
            failed();
        return openSucceeds;
    }
    bool joinNetwork(const QString& name) override {
        networks << name;
        return joinSucceeds;
    }

    bool openSucceeds = true; // false: the desktop's opener does not start
    std::vector<Start> started;
    std::vector<std::int64_t> stopped;
    std::map<std::int64_t, bool> running;
    std::map<std::int64_t, ProgramEnd> ends; // how a started program ended
    std::map<std::int64_t, int> held;        // descriptors the started programs hold
    QStringList opened;
    QStringList networks;
    std::function<void(const Start&)> onStart; // lets a test act like the started program
    bool failStarts = false;
    bool joinSucceeds = true;
    int runStatus = 0;
    std::int64_t nextPid = 1000;
};

// A clock the test moves by hand; a pause advances it and lets queued events run.
class FakeClock : public Clock {
public:
    QDateTime now() const override { return wall.addMSecs(elapsedMs); }
    std::int64_t monotonicMs() const override { return elapsedMs; }
    void pause(int ms) override {
        pauses.push_back(ms);
        elapsedMs += ms;
        if (processEventsInPause && QCoreApplication::instance())
            QCoreApplication::processEvents();
    }
    void advance(std::int64_t ms) { elapsedMs += ms; }

    QDateTime wall = QDateTime(QDate(2026, 1, 15), QTime(10, 30, 0));
    std::int64_t elapsedMs = 0;
    std::vector<int> pauses;
    bool processEventsInPause = false;
};

// Answers downloads from a table of URL to body; unknown URLs fail. Requests may come from
// another thread (a window's request runs beside it); the test fills the table before.
class FakeDownloader : public Downloader {
public:
    bool downloadFile(const QString& url, const QString& file) override {
        std::unique_lock<std::mutex> lock(m_mutex);
        requests << url;
        ++m_waiting;
        if (m_held)
            m_released.wait_for(lock, std::chrono::milliseconds(m_holdLimitMs),
                                [this] { return !m_held; });
        --m_waiting;
        auto it = bodies.find(url);
        if (it == bodies.end()) {
            if (!fallback)
                return false;
            return writeBody(file, *fallback);
        }
        return writeBody(file, it->second);
    }
    static bool writeBody(const QString& file, const QByteArray& body) {
        QFile out(file);
        if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return false;
        return out.write(body) == body.size();
    }

    // A device that accepts and does not answer: from now on each request waits until release()
    // or until limitMs passed, then answers from the table.
    void hold(int limitMs) {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_held = true;
        m_holdLimitMs = limitMs;
    }
    void release() {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_held = false;
        m_released.notify_all();
    }
    // Requests that came and have not been answered yet.
    int waiting() const {
        const std::lock_guard<std::mutex> lock(m_mutex);
        return m_waiting;
    }

    std::map<QString, QByteArray> bodies;
    std::optional<QByteArray> fallback; // body for every other URL, when set
    QStringList requests;

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_released;
    bool m_held = false;
    int m_holdLimitMs = 0;
    int m_waiting = 0;
};

// A full set of fakes, with typed access for the test.
struct FakeServices {
    std::shared_ptr<FakeDialogs> dialogs = std::make_shared<FakeDialogs>();
    std::shared_ptr<FakeLauncher> launcher = std::make_shared<FakeLauncher>();
    std::shared_ptr<FakeClock> clock = std::make_shared<FakeClock>();
    std::shared_ptr<FakeDownloader> downloader = std::make_shared<FakeDownloader>();

    Services services(const QString& programFolder) const {
        Services s;
        s.dialogs = dialogs;
        s.launcher = launcher;
        s.clock = clock;
        s.downloader = downloader;
        s.programFolder = programFolder;
        return s;
    }
};

} // namespace platform::fakes
