#include "app/device/logger_lock.h"

#include "formats/lock_file.h"

#include <QFile>

#include <cstring>
#include <unistd.h>

namespace device {

QString loggerLockPath(const QString& programFolder) {
    return programFolder + QLatin1Char('/') + QLatin1String(kLoggerLockFileName);
}

bool loggerFetching(const QString& programFolder) {
    return formats::lockHeldAtPath(QFile::encodeName(loggerLockPath(programFolder)).toStdString());
}

int takeLoggerLock(const QString& programFolder, QString* error) {
    const QString path = loggerLockPath(programFolder);
    const formats::PathLock lock =
        formats::lockFileAtPath(QFile::encodeName(path).toStdString());
    const QString reason = QString::fromLocal8Bit(std::strerror(lock.error));
    switch (lock.failure) {
    case formats::PathLock::Failure::None:
        return lock.fd;
    case formats::PathLock::Failure::Open:
        *error = QStringLiteral("Cannot open ") + path + QStringLiteral(": ") + reason;
        break;
    case formats::PathLock::Failure::NotRegular:
        *error = QStringLiteral("Cannot lock ") + path + QStringLiteral(": not a regular file");
        break;
    case formats::PathLock::Failure::Held:
        *error = QString::fromLatin1(kLoggerRunningMessage);
        break;
    case formats::PathLock::Failure::Lock:
        *error = QStringLiteral("Cannot lock ") + path + QStringLiteral(": ") + reason;
        break;
    }
    return -1;
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
