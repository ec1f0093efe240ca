#include "logger/logger_core.h"

#include "formats/device_address.h"
#include "formats/frame_names.h"
#include "formats/numbers.h"
#include "formats/run_data_file.h"
#include "formats/save_file.h"
#include "platform/curl_downloader.h"
#include "platform/jpeg_download.h"

#include <QDir>
#include <QFileInfo>

#include <cerrno>
#include <exception>
#include <fcntl.h>
#include <limits>
#include <unistd.h>

namespace logger {

namespace {

bool fileExists(const QString& path) {
    return QFileInfo(path).isFile();
}

} // namespace

std::string speedLogLine(std::int32_t timeMark, const std::string& timing) {
    return std::to_string(timeMark) + ":" + timing;
}

QString startStamp(const QDateTime& time) {
    return time.toString(QStringLiteral("yyyy-MM-dd HH:mm.ss"));
}

std::optional<std::int32_t> runLengthSeconds(double minutes) {
    return formats::toInt32(minutes * 60.0);
}

Logger::Logger(platform::Clock& clock, platform::Downloader& downloader, QString programFolder)
    : m_clock(clock), m_downloader(downloader), m_programFolder(std::move(programFolder)) {}

QString Logger::frameFile(std::int32_t timeMark) const {
    return m_captureFolder + QStringLiteral("/img/") +
           QString::fromStdString(formats::frameImageFile(m_deviceAddress.toStdString(), timeMark));
}

std::int32_t Logger::elapsedSeconds() const {
    const double seconds = static_cast<double>(m_clock.monotonicMs() - m_startMs) / 1000.0;
    const std::int64_t rounded = formats::roundHalfEven(seconds);
    if (rounded > std::numeric_limits<std::int32_t>::max())
        return std::numeric_limits<std::int32_t>::max();
    if (rounded < 0)
        return 0;
    return static_cast<std::int32_t>(rounded);
}

QString Logger::ReadRunData(const QString& folder) {
    if (!fileExists(folder + QStringLiteral("/rundata.dat")))
        return QStringLiteral("no rundata.dat in ") + folder;
    std::string error;
    const auto data = formats::readRunData(m_programFolder.toStdString(), &error);
    if (!data) {
        if (error.empty())
            error = "no rundata.dat in " + m_programFolder.toStdString();
        return QString::fromStdString(error);
    }
    m_deviceAddress = QString::fromStdString(data->deviceAddress);
    m_captureFolder = QString::fromStdString(data->acquisitionFolder);
    const auto seconds = runLengthSeconds(data->runLengthMinutes());
    if (!seconds)
        return QStringLiteral("the run length \"") + QString::fromStdString(data->runLength) +
               QStringLiteral("\" minutes is out of range");
    m_runSeconds = *seconds;
    m_acquisitionMode = data->acquisitionMode;
    return {};
}

void Logger::InitActivityFiles(const QString& folder) {
    QDir(folder).mkpath(QStringLiteral("pgm_micro"));
    formats::saveFileAtomic((folder + QStringLiteral("/activity.txt")).toStdString(),
                            "#block time[s] activity\r\n");
}

StartOutcome Logger::LoggerStart(const QString& argument) {
    m_startFolder = argument.size() < 8 ? m_programFolder : argument;
    m_acquisitionMode = 0;
    formats::saveFileAtomic((m_programFolder + QStringLiteral("/speed_test.txt")).toStdString(),
                            startStamp(m_clock.now()).toStdString() + "\r\n");
    const QString runDataError = ReadRunData(m_startFolder);
    if (!runDataError.isEmpty())
        return {false, runDataError};
    const std::string addressError = formats::checkDeviceAddress(m_deviceAddress.toStdString());
    if (!addressError.empty())
        return {false, QString::fromStdString(addressError)};
    // Without it the frames and the timing log would land in the root folder.
    if (m_captureFolder.isEmpty())
        return {false, QStringLiteral("the run data names no acquisition folder")};
    if (!fileExists(m_startFolder + QStringLiteral("/training.dat")))
        return {false, QStringLiteral("no training.dat in ") + m_startFolder};
    if (m_acquisitionMode == 1)
        InitActivityFiles(m_startFolder);
    // A fetch of an earlier run that was killed outright left its temporary file behind.
    platform::CurlDownloader::removeStaleTemporaryFiles(
        (m_captureFolder + QStringLiteral("/img")).toStdString());
    m_startMs = m_clock.monotonicMs();
    m_lastTimeMark = 0;
    CaptureFrame();
    return {true, {}};
}

void Logger::AppendSpeedLog(const QString& folder, std::int32_t timeMark,
                            const std::string& timing) {
    const std::string line = speedLogLine(timeMark, timing) + "\r\n";
    const std::string path = (folder + QStringLiteral("/speed_test.csv")).toStdString();
    // A log line that cannot be written must not stop the capture loop.
    (void)formats::appendToFile(path, line);
}

void Logger::CaptureFrame() {
    int step = 0;
    std::string timing;
    const std::int64_t t0 = m_clock.monotonicMs();
    auto sinceStart = [&] { return std::to_string(m_clock.monotonicMs() - t0); };
    try {
        const QString url =
            QStringLiteral("http://") + m_deviceAddress + QStringLiteral("/capture");
        m_lastTimeMark = elapsedSeconds();
        const QString file = frameFile(m_lastTimeMark);
        timing += ",INIT," + sinceStart();
        // No cache lies between us and the device, so there is no cached copy to drop.
        step = 1;
        timing += ",CacheDeleted," + sinceStart();
        const bool fetched = platform::downloadFrame(m_downloader, url, file);
        timing += ",JPG_Downloaded," + sinceStart();
        m_clock.pause(1);
        timing += ",D," + sinceStart();
        if (!fetched)
            timing += ",FETCH_FAILED";
        AppendSpeedLog(m_captureFolder, m_lastTimeMark, timing);
    } catch (const std::exception&) {
        timing += ",ERROR_STEP" + std::to_string(step) + "," + sinceStart();
        AppendSpeedLog(m_captureFolder, m_lastTimeMark, timing);
    }
}

TickOutcome Logger::LoggerTick() {
    TickOutcome outcome;
    outcome.elapsed = elapsedSeconds();
    if (m_runSeconds < outcome.elapsed) {
        CaptureFrame();
        outcome.action = TickAction::Final;
    } else if (outcome.elapsed != m_lastTimeMark) {
        CaptureFrame();
        outcome.action = TickAction::Captured;
    }
    return outcome;
}

} // namespace logger
