#pragma once
// A lock that is the file at its path. An exclusive flock on a lock file tells the others only
// while that file is still the one its path names: once the file is deleted or replaced, the
// holder locks a file that nobody else opens any more, and a second holder can lock the new one.
// So the holder compares the file it locked with the file at the path (device and inode; a link
// at the path is never followed) after locking and at every check.

#include <string>

namespace formats {

// The logger's lock in the program folder: taken by Vermalux for each logger it starts, and held
// by that logger for its whole life.
inline constexpr char kLoggerLockFileName[] = "pendrel.lock";

// True when the open file `fd` is the file at `path` now.
bool isFileAtPath(int fd, const std::string& path);

struct PathLock {
    enum class Failure { None, Open, NotRegular, Held, Lock };
    int fd = -1; // the descriptor that holds the lock (close-on-exec), or -1
    Failure failure = Failure::None;
    int error = 0; // the system's error number of Open and Lock
};

// Takes an exclusive lock, without waiting, on the regular file at `path` (made when missing; a
// link in its place is never followed), and makes sure the file locked is still the one at the
// path: a file deleted or replaced meanwhile is opened and locked again.
PathLock lockFileAtPath(const std::string& path);

// True while someone holds the lock of the file at `path` (a shared test lock is refused). The
// file tested is compared with the one at the path afterwards, so a file replaced meanwhile is
// tested again.
bool lockHeldAtPath(const std::string& path);

// Keeps the lock that `fd` holds at its path: when the file at the path is no longer the one
// `fd` locks (it was deleted or replaced), the lock of the file now at the path is taken in its
// place and the old descriptor closed. The descriptor that holds the lock from now on; `fd`
// itself when the lock is still at its path, or when the new file cannot be locked yet (someone
// tests or holds it; the next check tries again).
int keepLockAtPath(int fd, const std::string& path);

} // namespace formats
