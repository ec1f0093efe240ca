#pragma once
// The rules of a live run that hold no file and no window: what may start, when a run ends,
// the checks of the cycle numbers the operator types, and the cycle scheduler's decision.

#include <QDateTime>
#include <QString>

#include <cstdint>
#include <optional>

namespace acquisition {

// Messages of the start checks.
inline constexpr char kLapseTooLong[] = "ERROR! Acquisition lapse is too long (Max = 1440 minutes)";
inline constexpr char kLapseZero[] = "ERROR! Acquisition lapse must be above 0 minutes";
inline constexpr char kEmptyRectangle[] =
    "ERROR! The analysis area is empty. Please set the plate area again";
inline constexpr char kNoTraining[] = "Pre-Training file not found. Please entrain again";
inline constexpr char kLongCycleAdvice[] =
    "Post processing of images is reccomended for long cycles";

// Extra time a run is given after its end for the last frames to be analysed, beyond 1.1 times
// its length: a run whose analysis never reaches the end is ended then.
inline constexpr double kEndGraceSeconds = 30.0;

// Checks of a run's numbers before anything is started. Empty when the run may start, else the
// message for the operator. lapseMinutes is the number in the run-length box.
QString checkRunLength(double lapseMinutes);
// The analysis rectangle (frame pixels) and the plate size after its 10..60 correction.
QString checkRunGeometry(int x1, int x2, int y1, int y2, double plateSize);

// The plate size used for a run: outside 10 to 60 it is 35.
double runPlateSize(double typed);

// What the live tick does about the end of the run.
enum class RunEnd {
    Running, // before the run length: show the clock and the progress
    Waiting, // past the length, the last frames are still being analysed: "Ending..."
    End,     // the run is over
    Overdue, // the analysis never reached the end: ended at the deadline
};

// elapsed and limit in seconds; lastTimeMark = time mark of the last tracked block.
RunEnd decideRunEnd(double elapsedSeconds, double limitSeconds, bool onlyImages,
                    std::int64_t lastTimeMark);

// The clock text of a run: elapsed whole seconds as "hh:mm.ss".
QString elapsedText(std::int64_t elapsedSeconds);

// The corrected text of the cycle-period box and what goes with it.
struct PeriodCheck {
    QString text;                // the box's new text (the integer part of the corrected period)
    bool tickOnlyImages = false; // RToff gets ticked and kLongCycleAdvice is shown
};
PeriodCheck checkCyclePeriod(double period, bool onlyImagesTicked);

// The corrected text of the cycle-count box: 1 to 9999, integer part.
QString checkCycleCount(double count);

// The proposal of the run-length check: the length rounded to a multiple of 5 minutes (at
// least 5), when the typed length is not such a multiple; nothing when it is, or when the
// length is too large to handle (the start refuses it).
std::optional<std::int32_t> lapseRoundingOffer(double lapse);
// "Round Acquisition lapse to " + minutes + " min?"
QString lapseRoundingQuestion(std::int32_t minutes);

// "Duration = " + period x (cycles - 1) + lapse + " m".
QString runDurationText(double period, double cycles, double lapse);

// The decision of one cycle-scheduler tick.
struct CycleDecision {
    enum class Action {
        EndSeries, // "end of cycles": the series is over
        Countdown, // not due yet; caption "Next Cycle in ..." when no run is on
        Wait,      // due, but the last run is still on
        StartNext, // start cycle `cycleNumber`
    };
    Action action = Action::EndSeries;
    int cycleNumber = 0; // the cycle number after this tick
    QString caption;     // caption for lbl_stimated (empty: leave it)
};
CycleDecision decideCycle(bool cycleMode, int cycleNumber, int cycles,
                          const QDateTime& cycleStartTime, const QDateTime& now, double period,
                          bool runOn);

// The number of cycles typed, as the scheduler takes it (integer, 0 when it does not fit).
int cycleCountOf(double typed);

} // namespace acquisition
