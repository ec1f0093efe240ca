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
    m_dravel.failure.clear();
    m_sirrex.failure.clear();
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

bool LivePipeline::helperRunning(Helper& helper) {
    if (!helper.pid)
        return false;
    if (m_services.launcher->isRunning(*helper.pid))
        return true;
    const auto end = m_services.launcher->programEnd(*helper.pid);
    helper.pid.reset();
    if (!end)
        return false;
    if (end->status == 0) {
        helper.failure.clear();
        return false;
    }
    // Said in the run's status at once: otherwise the run would go on without detections and
    // without a word.
    helper.failure = QStringLiteral("The ") + QLatin1String(helper.name) +
                     QStringLiteral(" refused frame ") + QString::number(helper.frame) +
                     QStringLiteral(": ") +
                     (end->errorLine.isEmpty()
                          ? QStringLiteral("exit status ") + QString::number(end->status)
                          : end->errorLine);
    // No block comes for a frame the finder refused: its converted frame goes now, or such
    // frames would pile up in the frame folder for the whole run.
    if (&helper == &m_sirrex)
        dropConvertedFrame(helper.frame);
    return false;
}

LivePipeline::Step LivePipeline::scheduleHelpers(bool roundShape) {
    const QString programFolder = m_services.programFolder;
    // The newest frame to the converter, one conversion at a time.
    if (!helperRunning(m_dravel)) {
        const std::int32_t n = FindNextFrameIndex(imgFolder(), m_prefix, m_cursor.jpgCursor, "jpg");
        if (m_cursor.jpgCursor < n) {
            const CommandLine command =
                dravelCommand(programFolder, framePath(n, "pgm"), framePath(n, "jpg"));
            m_dravel.pid = m_services.launcher->start(command.program, command.arguments,
                                                      programFolder, platform::WindowStyle::Hidden);
            if (!m_dravel.pid)
                return Step::ConverterNotStarted;
            m_dravel.frame = n;
            m_cursor.jpgCursor = n;
        }
    }
    // The newest converted frame to the finder.
    if (!helperRunning(m_sirrex)) {
        const std::int32_t n = FindNextFrameIndex(imgFolder(), m_prefix, m_cursor.pgmCursor, "pgm");
        if (m_cursor.pgmCursor < n) {
            const CommandLine command =
                sirrexCommand(programFolder, framePath(n, "pgm"), m_trainingOptions, roundShape, n);
            m_sirrex.pid = m_services.launcher->start(command.program, command.arguments,
                                                      programFolder, platform::WindowStyle::Hidden);
            if (!m_sirrex.pid)
                return Step::FinderNotStarted;
            m_sirrex.frame = n;
            m_cursor.pgmCursor = n;
        }
    }
    return Step::Ok;
}

bool LivePipeline::dropConvertedFrame(std::int32_t frame) const {
    const QString pgm = framePath(frame, "pgm");
    return QFile::remove(pgm) || !QFileInfo::exists(pgm);
}

void LivePipeline::finishHelper(Helper& helper) {
    // A converter or finder still at work gets two seconds to finish its frame, then it is
    // stopped, so that no converted frame appears after the clean-up.
    for (int waited = 0; helperRunning(helper) && waited < 2000; waited += 20)
        m_services.clock->pause(20);
    if (helper.pid)
        m_services.launcher->stop(*helper.pid);
    helper.pid.reset();
}

void LivePipeline::finishHelpers() {
    finishHelper(m_dravel);
    finishHelper(m_sirrex);
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
    // A helper that refused its frame is the cause of everything else the run shows.
    if (!m_dravel.failure.isEmpty())
        return m_dravel.failure;
    if (!m_sirrex.failure.isEmpty())
        return m_sirrex.failure;
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
