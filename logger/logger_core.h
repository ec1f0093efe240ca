#pragma once
// The frame logger's work without its window: the start from the run data, one capture per new
// elapsed second with its timing line in speed_test.csv, and the end after the run length.

#include "platform/services.h"

#include <QString>

#include <cstdint>
#include <optional>
#include <string>

namespace logger {

// What a start-up found; error is empty when the logger may run. A failed start has written
// speed_test.txt (when it got that far) and captured nothing.
struct StartOutcome {
    bool ok = false;
    QString error;
};

// What one timer tick did.
enum class TickAction {
    Nothing,  // the elapsed second was already captured
    Captured, // a new second: one frame
    Final,    // the run length has passed: the final frame; the program ends next
};

struct TickOutcome {
    TickAction action = TickAction::Nothing;
    std::int32_t elapsed = 0; // whole elapsed seconds at the tick
};

// The log line of one capture without its line end: the time mark, ":", the timing text.
std::string speedLogLine(std::int32_t timeMark, const std::string& timing);

// "yyyy-mm-dd hh:mm.ss", the start stamp written to speed_test.txt.
QString startStamp(const QDateTime& time);

// Run length in seconds: the nearest whole number of (minutes x 60), halves to even; nothing
// when it does not fit 32 bits.
std::optional<std::int32_t> runLengthSeconds(double minutes);

class Logger {
public:
    // The clock gives the monotonic elapsed time and the pauses, the downloader the frames.
    Logger(platform::Clock& clock, platform::Downloader& downloader, QString programFolder);

    // The start-up: start folder from the argument (the program folder when the argument is
    // shorter than 8 characters), speed_test.txt, the run data, the training check, the
    // Microbeam files, the removal of stale temporary files that killed fetches left in the
    // capture folder's img, the start time and frame 0. A missing rundata.dat or training.dat, an
    // unreadable run data file, a refused device address, a run data file without an
    // acquisition folder or an impossible run length end the
    // start with an error text.
    StartOutcome LoggerStart(const QString& argument);

    // Reads the run data: checks that folder holds rundata.dat, then reads the program
    // folder's copy. Empty on success, else why it failed.
    QString ReadRunData(const QString& folder);

    // Creates `pgm_micro` in folder when missing and replaces activity.txt with its header.
    void InitActivityFiles(const QString& folder);

    // One capture step: frame named by the elapsed second, kept only when it arrived whole and
    // is a whole JPEG (else ",FETCH_FAILED" ends its line), and its timing line appended to
    // speed_test.csv.
    void CaptureFrame();

    // Appends "N:" + timing + CR LF to folder/speed_test.csv.
    static void AppendSpeedLog(const QString& folder, std::int32_t timeMark,
                               const std::string& timing);

    // One tick of the capture loop (the caller keeps its timer stopped while it runs).
    TickOutcome LoggerTick();

    // Whole seconds since the start time, rounded (halves to even), from the monotonic clock.
    std::int32_t elapsedSeconds() const;

    const QString& startFolder() const { return m_startFolder; }
    const QString& deviceAddress() const { return m_deviceAddress; }
    const QString& captureFolder() const { return m_captureFolder; }
    std::int32_t runSeconds() const { return m_runSeconds; }
    int acquisitionMode() const { return m_acquisitionMode; }
    std::int32_t lastTimeMark() const { return m_lastTimeMark; }

    // The frame file of a time mark: capture folder + "/img/" + the frame name.
    QString frameFile(std::int32_t timeMark) const;

private:
    platform::Clock& m_clock;
    platform::Downloader& m_downloader;
    QString m_programFolder;
    QString m_startFolder;
    QString m_deviceAddress;
    QString m_captureFolder;
    std::int32_t m_runSeconds = 0;
    int m_acquisitionMode = 0;
    std::int64_t m_startMs = 0;
    std::int32_t m_lastTimeMark = 0;
};

} // namespace logger
