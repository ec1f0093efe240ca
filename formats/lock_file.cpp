#include "formats/lock_file.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace formats {

namespace {

// A file replaced again and again between opening and locking is given up after this many tries.
constexpr int kTries = 10;

int lockWithoutWaiting(int fd, int how) {
    int r;
    do {
        r = ::flock(fd, how | LOCK_NB);
    } while (r != 0 && errno == EINTR);
    return r;
}

} // namespace

bool isFileAtPath(int fd, const std::string& path) {
    struct stat held {};
    struct stat named {};
    if (fd < 0 || ::fstat(fd, &held) != 0 || ::lstat(path.c_str(), &named) != 0)
        return false;
    return held.st_dev == named.st_dev && held.st_ino == named.st_ino;
}

PathLock lockFileAtPath(const std::string& path) {
    PathLock result;
    for (int attempt = 0; attempt < kTries; ++attempt) {
        const int fd =
            ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0644);
        if (fd < 0) {
            result.failure = PathLock::Failure::Open;
            result.error = errno;
            return result;
        }
        struct stat info {};
        if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
            ::close(fd);
            result.failure = PathLock::Failure::NotRegular;
            return result;
        }
        if (lockWithoutWaiting(fd, LOCK_EX) != 0) {
            const int why = errno;
            ::close(fd);
            result.failure = why == EWOULDBLOCK ? PathLock::Failure::Held : PathLock::Failure::Lock;
            result.error = why;
            return result;
        }
        if (isFileAtPath(fd, path)) {
            result.fd = fd;
            result.failure = PathLock::Failure::None;
            return result;
        }
        // Deleted or replaced between opening and locking: the lock of an orphan tells nobody.
        ::close(fd);
    }
    result.failure = PathLock::Failure::Lock;
    result.error = EAGAIN;
    return result;
}

bool lockHeldAtPath(const std::string& path) {
    for (int attempt = 0; attempt < kTries; ++attempt) {
        const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
        if (fd < 0)
            return false; // no lock file: nobody holds it
        const bool held = lockWithoutWaiting(fd, LOCK_SH) != 0 && errno == EWOULDBLOCK;
        const bool same = isFileAtPath(fd, path);
        ::close(fd); // drops the test's own shared lock with it
        if (held || same)
            return held;
    }
    return false;
}

int keepLockAtPath(int fd, const std::string& path) {
    if (fd < 0 || isFileAtPath(fd, path))
        return fd;
    const PathLock again = lockFileAtPath(path);
    if (again.fd < 0)
        return fd;
    ::close(fd);
    return again.fd;
}

} // namespace formats
