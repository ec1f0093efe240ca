#include "app/acquisition/live_pipeline.h"

#include "app/acquisition/run_files.h"
#include "formats/numbers.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace acquisition {

LivePipeline::LivePipeline(platform::Services services) : m_services(std::move(services)) {}

void LivePipeline::startRun(const QString& runFolder, const QString& deviceAddress,
                            const QString& trainingOptions) {
    m_cursor = LiveFrameCursor{};
    m_cursor.runFolder = runFolder;
    m_cursor.runStart = m_services.clock->now();
    m_cursor.runStartMs = m_services.clock->monotonicMs();
    m_deviceAddress = deviceAddress;
    m_prefix = framePrefix(deviceAddress);
    m_trainingOptions = trainingOptions;
    m_newestFrame = -1;
    m_newestFrameMs = m_cursor.runStartMs;
}

QString LivePipeline::imgFolder() const {
    return m_cursor.runFolder + QStringLiteral("/img");
}

QString LivePipeline::framePath(std::int32_t frame, const QString& kind) const {
    return acquisition::framePath(m_cursor.runFolder, m_deviceAddress, frame, kind);
}

std::int64_t LivePipeline::elapsedSeconds() const {
    const std::int64_t elapsedMs = m_services.clock->monotonicMs() - m_cursor.runStartMs;
    return formats::roundHalfEven(static_cast<double>(elapsedMs) / 1000.0);
}

bool LivePipeline::helperRunning(std::optional<std::int64_t>& pid) const {
    if (pid && !m_services.launcher->isRunning(*pid))
        pid.reset();
    return pid.has_value();
}

LivePipeline::Step LivePipeline::scheduleHelpers(bool roundShape) {
    const QString programFolder = m_services.programFolder;
    // The newest frame to the converter, one conversion at a time.
    if (!helperRunning(m_dravelPid)) {
        const std::int32_t n = FindNextFrameIndex(imgFolder(), m_prefix, m_cursor.jpgCursor, "jpg");
        if (m_cursor.jpgCursor < n) {
            const CommandLine command =
                dravelCommand(programFolder, framePath(n, "pgm"), framePath(n, "jpg"));
            m_dravelPid = m_services.launcher->start(command.program, command.arguments,
                                                     programFolder, platform::WindowStyle::Hidden);
            if (!m_dravelPid)
                return Step::ConverterNotStarted;
            m_cursor.jpgCursor = n;
        }
    }
    // The newest converted frame to the finder.
    if (!helperRunning(m_sirrexPid)) {
        const std::int32_t n = FindNextFrameIndex(imgFolder(), m_prefix, m_cursor.pgmCursor, "pgm");
        if (m_cursor.pgmCursor < n) {
            const CommandLine command =
                sirrexCommand(programFolder, framePath(n, "pgm"), m_trainingOptions, roundShape, n);
            m_sirrexPid = m_services.launcher->start(command.program, command.arguments,
                                                     programFolder, platform::WindowStyle::Hidden);
            if (!m_sirrexPid)
                return Step::FinderNotStarted;
            m_cursor.pgmCursor = n;
        }
    }
    return Step::Ok;
}

bool LivePipeline::dropConvertedFrame(std::int32_t frame) const {
    const QString pgm = framePath(frame, "pgm");
    return QFile::remove(pgm) || !QFileInfo::exists(pgm);
}

void LivePipeline::finishHelper(std::optional<std::int64_t>& pid) {
    // A converter or finder still at work gets two seconds to finish its frame, then it is
    // stopped, so that no converted frame appears after the clean-up.
    for (int waited = 0; helperRunning(pid) && waited < 2000; waited += 20)
        m_services.clock->pause(20);
    if (pid)
        m_services.launcher->stop(*pid);
    pid.reset();
}

void LivePipeline::finishHelpers() {
    finishHelper(m_dravelPid);
    finishHelper(m_sirrexPid);
}

bool LivePipeline::loggerRunning() const {
    return m_loggerPid && m_services.launcher->isRunning(*m_loggerPid);
}

void LivePipeline::stopLogger() {
    // The logger this program started, by its process (never by name).
    if (m_loggerPid) {
        m_services.launcher->stop(*m_loggerPid);
        m_loggerPid.reset();
    }
}

QString LivePipeline::stallText(bool listFrames) {
    const std::int64_t nowMs = m_services.clock->monotonicMs();
    // While the pipeline converts, the converter's cursor follows the newest frame; without
    // conversions the folder is listed.
    std::int32_t newest = m_cursor.jpgCursor;
    if (listFrames) {
        newest = 0;
        const QStringList names = QDir(imgFolder()).entryList(QDir::Files, QDir::Name);
        for (const QString& name : names)
            if (const auto n = frameNumberOfName(name, m_prefix, QStringLiteral("jpg")))
                newest = std::max(newest, *n);
    }
    if (newest > 0 && newest > m_newestFrame) {
        m_newestFrame = newest;
        m_newestFrameMs = nowMs;
    } else if (m_newestFrame < 0 && QFileInfo::exists(framePath(0, "jpg"))) {
        m_newestFrame = 0;
        m_newestFrameMs = nowMs;
    }
    if (m_loggerPid && !m_services.launcher->isRunning(*m_loggerPid))
        return QStringLiteral("The logger has stopped");
    if (nowMs - m_newestFrameMs < kStallSeconds * 1000)
        return {};
    if (m_newestFrame < 0)
        return QStringLiteral("No frame from the device yet");
    return QStringLiteral("No new frame from the device since frame ") +
           QString::number(m_newestFrame);
}

} // namespace acquisition
