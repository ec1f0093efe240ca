#include "app/device/logger_lock.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace device {

namespace {

int lockWithoutWaiting(int fd, int how) {
    int r;
    do {
        r = ::flock(fd, how | LOCK_NB);
    } while (r != 0 && errno == EINTR);
    return r;
}

} // namespace

QString loggerLockPath(const QString& programFolder) {
    return programFolder + QLatin1Char('/') + QLatin1String(kLoggerLockFileName);
}

bool loggerFetching(const QString& programFolder) {
    const int fd = ::open(QFile::encodeName(loggerLockPath(programFolder)).constData(),
                          O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0)
        return false; // no lock file: no logger has ever held it
    // A shared lock is refused only while a logger holds the lock.
    const bool held = lockWithoutWaiting(fd, LOCK_SH) != 0 && errno == EWOULDBLOCK;
    ::close(fd); // drops the test's own shared lock with it
    return held;
}

int takeLoggerLock(const QString& programFolder, QString* error) {
    const QString path = loggerLockPath(programFolder);
    const int fd = ::open(QFile::encodeName(path).constData(),
                          O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0644);
    if (fd < 0) {
        *error = QStringLiteral("Cannot open ") + path + QStringLiteral(": ") +
                 QString::fromLocal8Bit(std::strerror(errno));
        return -1;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        *error = QStringLiteral("Cannot lock ") + path + QStringLiteral(": not a regular file");
        return -1;
    }
    if (lockWithoutWaiting(fd, LOCK_EX) != 0) {
        const int why = errno;
        ::close(fd);
        *error = why == EWOULDBLOCK
                     ? QString::fromLatin1(kLoggerRunningMessage)
                     : QStringLiteral("Cannot lock ") + path + QStringLiteral(": ") +
                           QString::fromLocal8Bit(std::strerror(why));
        return -1;
    }
    return fd;
}

std::optional<std::int64_t> startLoggerHoldingLock(const platform::Services& services,
                                                   const QString& program,
                                                   const QStringList& arguments,
                                                   QString* error) {
    const int lock = takeLoggerLock(services.programFolder, error);
    if (lock < 0)
        return std::nullopt;
    const auto pid = services.launcher->startHolding(program, arguments, services.programFolder,
                                                     platform::WindowStyle::Minimized, lock);
    ::close(lock); // the logger holds it from now on
    if (!pid)
        *error = QStringLiteral("The logger Pendrel could not be started");
    return pid;
}

bool mayDisturbLogger(const platform::Services& services, const QString& question) {
    if (!loggerFetching(services.programFolder))
        return true;
    return services.dialogs &&
           services.dialogs->question(question, platform::QuestionButtons::YesNoDefaultNo);
}

} // namespace device
