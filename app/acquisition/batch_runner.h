#pragma once
// Runs one findrun.sh at a time: writes it into the program folder, starts it hidden with
// /bin/sh in its own process group, and follows it through the progress file cmdout.dat.
// One batch runs in a program folder, whatever number of Vermalux share it: a runner first
// takes the lock file findrun.lock of the program folder (flock), and the batch inherits it,
// so that it is held while any process of the batch lives; a batch is killed when the Vermalux
// that started it ends, whatever way. A poll
// says how far the batch got, that it finished (frame 300 recorded), or that it ended early
// (its processes gone before frame 300, a program in it failed, no progress for too long, or
// its record of failed frames not a regular file of a few numbers), naming the frame reached;
// it never reports a running batch for ever. When a batch ends early or is stopped, the
// converted frames it was working on are removed with it; what a converter killed on the way
// left under a temporary name is removed when the batch ends and before the next one starts.
// The lock file is never a link: one in its place is refused, its target neither made nor
// opened.

#include "app/acquisition/batch_script.h"
#include "platform/services.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace acquisition {

// What the progress file holds: the frame number of its first line (nothing when that line is
// empty or has no digit), the line as read, and the failure of its second line (empty when
// the batch did not fail).
struct BatchProgressContent {
    std::optional<std::int32_t> frame;
    QString line;
    QString failure;
};
BatchProgressContent parseBatchProgress(const QByteArray& content);

struct BatchStatus {
    enum class State { Idle, Running, Finished, EndedEarly, Stopped };
    State state = State::Idle;
    std::int32_t frame = 0; // the last frame the batch finished; 300 when it is done
    QString line;           // the progress line as last read
    bool advanced = false;  // this poll read a new frame number
    QString message;        // EndedEarly and Stopped: what happened, naming the frame reached
    // Finished: the frames that could not be converted or analysed, ascending.
    std::vector<std::int32_t> notAnalysed;
};

// "Frame 100 could not be analysed", "Frames 100, 187 could not be analysed"; empty for none.
QString notAnalysedMessage(const std::vector<std::int32_t>& frames);
// The frame numbers of the failed-frames file's text, ascending, each once.
std::vector<std::int32_t> parseNotAnalysed(const QByteArray& content);

class BatchRunner {
public:
    // The record of failed frames holds a few numbers; one longer than this is not read.
    static constexpr std::size_t kFailedFramesMaxBytes = 1 << 16;
    // A batch that records no new frame for this long while it runs is stopped.
    static constexpr std::int64_t kDefaultStallLimitMs = 120000;

    explicit BatchRunner(platform::Services services);
    // A batch still running is stopped with its runner.
    ~BatchRunner();
    BatchRunner(const BatchRunner&) = delete;
    BatchRunner& operator=(const BatchRunner&) = delete;

    // Takes the program folder's batch lock, deletes the old progress file, writes findrun.sh
    // (whole), runs `beforeLaunch` (when given; a message from it stops here) and starts the
    // batch. Refused while the process group of the previous batch still runs, or while
    // another batch holds the lock. Empty on success, else a message. The lock stays with the
    // runner until release(), so that the caller can finish its work on the results first.
    QString start(const BatchScript& script,
                  const std::function<QString()>& beforeLaunch = nullptr);

    // Takes the program folder's batch lock now (kept until release()). Empty on success, else
    // why not.
    QString reserve();
    // Gives the lock back (a batch still running keeps holding its own copy).
    void release();
    bool reserved() const { return m_lockFd >= 0; }

    // Empty when a batch may start now; else why not (the previous one still runs, or another
    // Vermalux runs one in this program folder). A batch that has recorded its last frame is
    // given up to 2 s to exit.
    QString readyForNext();
    // readyForNext(), then reserve(): the program folder held for a change of results that
    // starts no batch yet. Empty on success, else why not.
    QString hold();

    // Reads the progress file and says where the batch stands. Once a batch has finished,
    // ended early or been stopped, every further poll gives the same answer.
    BatchStatus poll();

    // Ends the whole process group of a running batch and removes its converted frames. False
    // when some process of the group could not be ended.
    bool stop();

    // True while any process of the last batch runs.
    bool groupRunning() const;
    const BatchStatus& status() const { return m_status; }

    void setStallLimitMs(std::int64_t ms) { m_stallLimitMs = ms; }

    QString scriptPath() const;
    QString progressPath() const;
    QString lockPath() const;
    QString failedFramesPath() const;

private:
    // Removes what the writers of the batch's scratch files left under temporary names, and,
    // `withFiles`, the scratch files themselves.
    void removeScratch(bool withFiles = true) const;
    // The progress file's temporary names left by a batch that was cut short.
    void removeProgressTemporaries() const;
    void endEarly(const QString& message);

    platform::Services m_services;
    std::optional<std::int64_t> m_pid;
    BatchStatus m_status;
    QStringList m_scratch;
    std::int64_t m_lastAdvanceMs = 0;
    std::int64_t m_stallLimitMs = kDefaultStallLimitMs;
    int m_lockFd = -1;
};

} // namespace acquisition
