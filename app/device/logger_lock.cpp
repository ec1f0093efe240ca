#include "app/device/logger_lock.h"

#include "formats/run_data_file.h"
#include "formats/lock_file.h"

#include <QFile>
#include <QFileInfo>

#include <cstring>
#include <unistd.h>

namespace device {

QString loggerLockPath(const QString& programFolder) {
    return programFolder + QLatin1Char('/') + QLatin1String(kLoggerLockFileName);
}

bool loggerFetching(const QString& programFolder) {
    return formats::lockHeldAtPath(QFile::encodeName(loggerLockPath(programFolder)).toStdString());
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
