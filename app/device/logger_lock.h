#pragma once
// The logger's lock in the program folder. A logger inherits the lock when it starts and holds
// it for its whole life, so every Vermalux on that folder (one started after a crash as well)
// knows while a logger fetches frames: nothing is sent to the device meanwhile without asking,
// and no second logger starts. The lock is the file at its path: what is locked is compared with
// what the path names, and the logger takes the lock again when its file was deleted or replaced.

#include "formats/lock_file.h"
#include "platform/services.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>

namespace device {

using formats::kLoggerLockFileName;

// Asked before something is sent to the device while a logger fetches frames (No is the
// default).
inline constexpr char kLoggerFetchingQuestion[] =
    "The logger of a run is still fetching frames from the device: what is sent now changes the "
    "run being recorded. Send it anyway?";

// Said when a run cannot start because a logger still fetches frames.
inline constexpr char kLoggerRunningMessage[] =
    "The logger of an earlier run is still running: no new run is started.";

// Said when a command would change the results of an acquisition whose frames a logger still
// records.
inline constexpr char kStillRecordedMessage[] =
    "The logger of a run is still recording this acquisition: its frames are not all there yet. "
    "Reprocess it once its run has ended.";

QString loggerLockPath(const QString& programFolder);

// True while a logger holds the lock of the program folder.
bool loggerFetching(const QString& programFolder);

// True while a logger holds the lock of the program folder and the folder's run data (which
// the logger of the last run started reads) names `acquisitionFolder`: its frames are still
// being recorded.
bool stillRecorded(const QString& programFolder, const QString& acquisitionFolder);

// Takes the lock for a logger about to start, without waiting: the open descriptor (for the
// logger to inherit; the caller closes its own copy once the logger has started), or -1 and
// why not in *error. A link in the lock file's place is never followed, and a file deleted or
// replaced while it was being locked is locked again at its path.
int takeLoggerLock(const QString& programFolder, QString* error);

// The lock as a run holds it from its first step: taken before the run makes a folder, writes
// its run data or sends anything to the device, so that of two starts on one program folder
// the refused one changes nothing; handed on to the run's logger, and let go when this ends.
class HeldLoggerLock {
public:
    HeldLoggerLock() = default;
    ~HeldLoggerLock() { release(); }
    HeldLoggerLock(const HeldLoggerLock&) = delete;
    HeldLoggerLock& operator=(const HeldLoggerLock&) = delete;

    // Takes the lock without waiting; false and why not in *error.
    bool take(const QString& programFolder, QString* error);
    bool held() const { return m_fd >= 0; }
    int descriptor() const { return m_fd; }
    void release();

private:
    int m_fd = -1;
};

// Starts the logger (minimized) holding the run's lock, which it keeps for its whole life: its
// process id, or nothing and why not in *error (the lock is not held, the logger cannot be
// started).
std::optional<std::int64_t> startLoggerHoldingLock(const platform::Services& services,
                                                   const HeldLoggerLock& lock,
                                                   const QString& program,
                                                   const QStringList& arguments,
                                                   QString* error);

// True when nothing fetches, or when the operator answers Yes to `question` (asked with No as
// the default) while a logger fetches.
bool mayDisturbLogger(const platform::Services& services,
                      const QString& question = QString::fromLatin1(kLoggerFetchingQuestion));

} // namespace device
