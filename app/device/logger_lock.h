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

QString loggerLockPath(const QString& programFolder);

// True while a logger holds the lock of the program folder.
bool loggerFetching(const QString& programFolder);

// Takes the lock for a logger about to start, without waiting: the open descriptor (for the
// logger to inherit; the caller closes its own copy once the logger has started), or -1 and
// why not in *error. A link in the lock file's place is never followed, and a file deleted or
// replaced while it was being locked is locked again at its path.
int takeLoggerLock(const QString& programFolder, QString* error);

// Starts the logger (minimized) holding the lock, which it keeps for its whole life: its
// process id, or nothing and why not in *error (another logger holds the lock, the lock cannot
// be taken, the logger cannot be started).
std::optional<std::int64_t> startLoggerHoldingLock(const platform::Services& services,
                                                   const QString& program,
                                                   const QStringList& arguments,
                                                   QString* error);

// True when nothing fetches, or when the operator answers Yes to `question` (asked with No as
// the default) while a logger fetches.
bool mayDisturbLogger(const platform::Services& services,
                      const QString& question = QString::fromLatin1(kLoggerFetchingQuestion));

} // namespace device
