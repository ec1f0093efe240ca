#include "app/microbeam/frame_loop.h"

#include "app/microbeam/pgm_pixels.h"
#include "formats/frame_names.h"
#include "formats/numbers.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <limits>

namespace microbeam {

FrameSize reducedFrameSize(bool micro) {
    return micro ? FrameSize{160, 120} : FrameSize{200, 150};
}

QString dravelScale(bool micro) {
    return micro ? QStringLiteral("1/4") : QStringLiteral("1/8");
}

QStringList dravelArguments(bool micro, const QString& pgmPath, const QString& jpgPath) {
    return {QStringLiteral("-grayscale"),
            QStringLiteral("-scale"),
            dravelScale(micro),
            QStringLiteral("-outfile"),
            pgmPath,
            jpgPath};
}

std::int32_t boxNumber(const QString& text) {
    const std::int64_t value = formats::roundHalfEven(formats::leadingNumber(text.toStdString()));
    if (value > std::numeric_limits<std::int32_t>::max())
        return std::numeric_limits<std::int32_t>::max();
    if (value < std::numeric_limits<std::int32_t>::min())
        return std::numeric_limits<std::int32_t>::min();
    return static_cast<std::int32_t>(value);
}

QString firstFrameZeroName(const QString& folder) {
    if (folder.isEmpty())
        return {};
    const QStringList names = QDir(folder).entryList({QStringLiteral("*f0.jpg")},
                                                     QDir::Files | QDir::CaseSensitive, QDir::Name);
    return names.isEmpty() ? QString() : names.first();
}

std::vector<MaskMark> maskMarks(const ActivityMask& mask, FrameSize size) {
    std::vector<MaskMark> marks;
    if (size.width <= 0 || size.height <= 0)
        return marks;
    int x = 0;
    int y = 0;
    for (int p = 1; p < kLastPixel && y < size.height; ++p) {
        if (mask[p] > 0)
            marks.push_back({x, y});
        if (++x >= size.width) {
            x = 0;
            ++y;
        }
    }
    return marks;
}

FrameLoop::FrameLoop(platform::Services services) : m_services(std::move(services)) {}

FrameLoop::~FrameLoop() {
    stop();
}

QString FrameLoop::previewPath() const {
    return m_services.programFolder + QLatin1Char('/') + QLatin1String(kMicrobeamPgmName);
}

QString FrameLoop::framePath(std::int32_t n) const {
    if (!m_setup.acquisitionFolder.isEmpty()) {
        return m_setup.acquisitionFolder + QStringLiteral("/img/") +
               QString::fromStdString(
                   formats::frameImageFile(m_setup.deviceAddress.toStdString(), n));
    }
    return m_prefix + QString::number(n) + QStringLiteral(".jpg");
}

FrameLoop::StartResult FrameLoop::start(const FrameLoopSetup& setup) {
    stop();
    StartResult result;
    m_claim = MicrobeamClaim::take(MicrobeamClaim::Holder::MicrobeamRun);
    if (!m_claim.held()) {
        result.message = MicrobeamClaim::refusalText();
        return result;
    }
    const QString zero = firstFrameZeroName(setup.folder);
    if (zero.isEmpty()) {
        m_claim.release();
        result.message = QStringLiteral("File 0 not found");
        return result;
    }
    m_setup = setup;
    m_prefix = setup.folder + QLatin1Char('/') + zero.left(zero.size() - 5);
    m_size = reducedFrameSize(setup.micro);
    m_mask.fill(0);
    m_ring.index = 0;
    m_lastPixels.clear();
    m_missing = 0;
    m_unreadable = 0;
    m_converting = -1;
    m_running = true;

    // Frame 0 is converted at once: the first tick takes it (and the window shows it).
    if (QFileInfo::exists(framePath(0))) {
        QString error;
        if (!startConversion(0, &error)) {
            stop();
            result.message = error;
            return result;
        }
    }
    result.started = true;
    result.framePrefix = m_prefix;
    return result;
}

bool FrameLoop::startConversion(std::int32_t frame, QString* error) {
    m_converting = -1;
    const QString pgm = previewPath();
    // The old picture goes first, so that only this conversion's output can be read.
    if (QFileInfo::exists(pgm) && !QFile::remove(pgm)) {
        *error = QStringLiteral("Cannot delete the old ") + pgm +
                 QStringLiteral("; the Microbeam run stopped.");
        return false;
    }
    const QString program = m_services.programFolder + QStringLiteral("/Dravel");
    m_dravelPid =
        m_services.launcher->start(program, dravelArguments(m_setup.micro, pgm, framePath(frame)),
                                   m_services.programFolder, platform::WindowStyle::Hidden);
    if (!m_dravelPid) {
        *error = QStringLiteral("Cannot start ") + program +
                 QStringLiteral("; the Microbeam run stopped.");
        return false;
    }
    m_converting = frame;
    m_conversionStartMs = m_services.clock->monotonicMs();
    return true;
}

void FrameLoop::finishRun() {
    if (m_dravelPid) {
        if (m_services.launcher->isRunning(*m_dravelPid))
            m_services.launcher->stop(*m_dravelPid);
        m_dravelPid.reset();
    }
    m_converting = -1;
    m_running = false;
    m_claim.release();
}

void FrameLoop::stop() {
    finishRun();
}

void FrameLoop::clearRing() {
    finishRun();
    m_ring = FrameRing{};
}

FrameLoop::TickResult FrameLoop::tick(const TickInput& input) {
    TickResult result;
    result.counter = input.counter;
    result.activity = input.activity;
    if (!m_running) {
        result.ended = true;
        return result;
    }
    const std::int32_t n = input.counter;
    result.frame = n;
    result.framePath = framePath(n);
    auto endWith = [&](const QString& error) {
        finishRun();
        result.ended = true;
        result.error = error;
        return result;
    };
    if (n == std::numeric_limits<std::int32_t>::max())
        return endWith(QStringLiteral("The frame number ") + QString::number(n) +
                       QStringLiteral(" is too large; the Microbeam run stopped."));

    FramePixels pixels;
    if (m_converting != n) {
        // No conversion of this frame yet (or one of another frame, after the counter box was
        // changed): drop what runs and begin this frame's.
        if (m_dravelPid && m_services.launcher->isRunning(*m_dravelPid))
            m_services.launcher->stop(*m_dravelPid);
        m_dravelPid.reset();
        m_converting = -1;
        if (QFileInfo::exists(result.framePath)) {
            QString error;
            if (!startConversion(n, &error))
                return endWith(error);
            return result; // read on a later tick
        }
        // No frame file: the pixels of the last conversion stand in for it (stored only when
        // they are storable).
        result.missing = true;
        ++m_missing;
        pixels = m_lastPixels;
    } else {
        if (m_dravelPid && m_services.launcher->isRunning(*m_dravelPid)) {
            if (m_services.clock->monotonicMs() - m_conversionStartMs <= kConversionLimitMs)
                return result; // still converting
            m_services.launcher->stop(*m_dravelPid);
            m_dravelPid.reset();
            return endWith(QStringLiteral("Dravel did not convert ") + result.framePath +
                           QStringLiteral(" within ") + QString::number(kConversionLimitMs / 1000) +
                           QStringLiteral(" s; the Microbeam run stopped at frame ") +
                           QString::number(n) + QLatin1Char('.'));
        }
        m_dravelPid.reset();
        m_converting = -1;
        pixels = pgmPixelsFromFile(previewPath().toStdString(), m_size);
        // A missing frame takes these pixels again, storable or not.
        m_lastPixels = pixels;
    }

    result.frameDone = true;
    if (isStorableFrame(pixels)) {
        m_ring.frames[m_ring.index] = pixels;
        result.stored = true;
    } else if (!result.missing) {
        result.unreadable = true;
        ++m_unreadable;
    }
    result.pixels = std::move(pixels);
    result.counter = n + 1;
    if (++m_ring.index >= kRingSlots) {
        result.block = BlockActivity(m_ring, m_mask, m_size.width);
        result.blockDone = true;
        result.activity += result.block.activity;
        m_ring.index = 0;
    }
    if (input.lastFrame < result.counter) {
        finishRun();
        result.ended = true;
        return result;
    }
    // The next frame converts while the window waits for its next tick.
    if (QFileInfo::exists(framePath(result.counter))) {
        QString error;
        if (!startConversion(result.counter, &error)) {
            finishRun();
            result.ended = true;
            result.error = error;
        }
    }
    return result;
}

} // namespace microbeam
