#pragma once
// The live pipeline of a run, apart from any window: every tick it hands the newest JPEG frame
// to the converter Dravel and the newest converted frame to the finder Sirrex, one process of
// each at a time, so that blocks are appended in frame order and never pile up. It watches the
// logger and the frames for a stalled run and the converter and the finder for a frame they
// refused, deletes each converted frame once its block was read (or the finder refused it), and
// at the end lets the converter and the finder finish their frame before it stops them.

#include "platform/services.h"

#include <QDateTime>
#include <QString>

#include <cstdint>
#include <optional>

namespace acquisition {

// Where the pipeline stands in the frames of the run.
struct LiveFrameCursor {
    QString runFolder;
    QDateTime runStart;
    std::int64_t runStartMs = 0; // monotonic clock at the run start
    std::int32_t jpgCursor = 0;  // newest frame handed to the converter
    std::int32_t pgmCursor = 0;  // newest converted frame handed to the finder
};

// Seconds without a new frame after which a run is said to be stalled (frames come one a
// second).
inline constexpr std::int64_t kStallSeconds = 5;

class LivePipeline {
public:
    explicit LivePipeline(platform::Services services);

    // A new run: cursors at 0, the run's start taken from the clock.
    void startRun(const QString& runFolder, const QString& deviceAddress,
                  const QString& trainingOptions);
    const LiveFrameCursor& cursor() const { return m_cursor; }
    QString imgFolder() const;
    QString framePath(std::int32_t frame, const QString& kind) const;
    // Whole seconds since the run started (monotonic clock, halves to even).
    std::int64_t elapsedSeconds() const;

    // What one scheduling step did.
    enum class Step { Ok, ConverterNotStarted, FinderNotStarted };
    // Starts the converter on the newest JPEG frame and the finder on the newest converted
    // frame, each only when its previous process has ended. `roundShape` adds the finder's
    // round-shape option.
    Step scheduleHelpers(bool roundShape);

    // Deletes the converted frame whose block was read. False when it exists and could not be
    // deleted (the folder would fill up silently).
    bool dropConvertedFrame(std::int32_t frame) const;

    // Lets the converter and the finder finish their frame (two seconds each at most), then
    // stops them. Pauses through the clock: events run meanwhile.
    void finishHelpers();

    // The logger of the run.
    void setLoggerPid(std::optional<std::int64_t> pid) { m_loggerPid = pid; }
    std::optional<std::int64_t> loggerPid() const { return m_loggerPid; }
    bool loggerRunning() const;
    void stopLogger();

    // What is wrong with a run that is on, for the status text; empty while frames come:
    // "The converter refused frame N: " or "The finder refused frame N: " and the first line of
    // its error output (its exit status when it wrote none) while the last frame it ended on
    // failed; "The logger has stopped" when it ended early; "No new frame from the device since
    // frame N" (or "No frame from the device yet") after kStallSeconds without a new frame.
    // `listFrames`: look into the frame folder (when nothing is converted live).
    QString stallText(bool listFrames);

private:
    // A converter or finder process of the run and the frame it was given.
    struct Helper {
        const char* name = "";
        std::optional<std::int64_t> pid;
        std::int32_t frame = 0;
        QString failure; // how it failed on its last frame, or empty
    };
    // False once the helper has ended; its end is then looked at.
    bool helperRunning(Helper& helper);
    void finishHelper(Helper& helper);

    platform::Services m_services;
    LiveFrameCursor m_cursor;
    QString m_deviceAddress;
    QString m_prefix;
    QString m_trainingOptions;
    std::optional<std::int64_t> m_loggerPid;
    Helper m_dravel{"converter", std::nullopt, 0, QString()};
    Helper m_sirrex{"finder", std::nullopt, 0, QString()};
    std::int32_t m_newestFrame = -1;  // newest JPEG frame seen
    std::int64_t m_newestFrameMs = 0; // when it was first seen
};

} // namespace acquisition
