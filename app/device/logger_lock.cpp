#include "app/device/logger_lock.h"

#include "formats/run_data_file.h"

#include <QFile>
#include <QFileInfo>

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

bool stillRecorded(const QString& programFolder, const QString& acquisitionFolder) {
    if (acquisitionFolder.isEmpty() || !loggerFetching(programFolder))
        return false;
    const auto data = formats::readRunData(programFolder.toStdString());
    if (!data)
        return false;
    const QString recorded =
        QFileInfo(QString::fromStdString(data->acquisitionFolder)).canonicalFilePath();
    return !recorded.isEmpty() && recorded == QFileInfo(acquisitionFolder).canonicalFilePath();
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

bool HeldLoggerLock::take(const QString& programFolder, QString* error) {
    release();
    m_fd = takeLoggerLock(programFolder, error);
    return m_fd >= 0;
}

void HeldLoggerLock::release() {
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

std::optional<std::int64_t> startLoggerHoldingLock(const platform::Services& services,
                                                   const HeldLoggerLock& lock,
                                                   const QString& program,
                                                   const QStringList& arguments,
                                                   QString* error) {
    if (!lock.held()) {
        *error = QString::fromLatin1(kLoggerRunningMessage);
        return std::nullopt;
    }
    const auto pid =
        services.launcher->startHolding(program, arguments, services.programFolder,
                                        platform::WindowStyle::Minimized, lock.descriptor());
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
