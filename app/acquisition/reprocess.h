#pragma once
// Reprocessing of stored acquisitions, apart from any window: the checks made before anything
// is deleted, the backups of the results a reprocess replaces, the reprocess of one
// acquisition through a find batch, mass reprocessing of a selection with a training borrowed
// from another acquisition, the tracking-only rerun, and the z-stack image of one acquisition
// or of a selection. The window reads its controls, calls these, and shows what they report.

#include "app/acquisition/batch_runner.h"
#include "app/acquisition/result_set_aside.h"
#include "platform/services.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace acquisition {

// The list item that leads back to the project list; never an acquisition.
inline constexpr char kParentItem[] = "..";
// A batch of a mass run or a z-stack sequence is waited for at most this many polls, one
// every kBatchPollMs.
inline constexpr int kMaxPollsPerAcquisition = 600;
inline constexpr int kBatchPollMs = 100;

// What an acquisition holds for a reprocess.
struct AcquisitionCheck {
    QString deviceAddress;            // line 1 of its rundata.dat
    std::vector<std::int32_t> frames; // its stored frames 0 to 300
    QString error;                    // empty when it can be reprocessed
};

// Checks, without changing anything, that the device address of the acquisition is valid and
// that at least one stored frame between 0 and 300 lies under that address. The address is
// line 1 of its rundata.dat; without that file, the window's address (`txt_ip1`, which the
// browser takes from the frame names) is used.
AcquisitionCheck checkAcquisition(const QString& folder, const QString& windowAddress = {});

// The results of an acquisition are replaced only by complete results. A reprocess is an
// attempt: resetOutputs() begins it, finishAttempt() (through endAttempt()) ends it with the new
// results, abandonAttempt() puts the previous ones back (see result_set_aside.h). While it
// runs, the previous results lie in the acquisition's folder reprocess_previous, which also
// marks the attempt as unfinished: when the program ended under it, the next start puts them
// back (or finishes keeping the new ones) first.
// The results first replaced by a reprocess (normally those recorded live), kept once for good.
inline constexpr char kOriginalWormsName[] = "xy_worms_original.bin";
inline constexpr char kOriginalTrailsName[] = "worm_trails_original.csv";

// True while an attempt on the folder has not ended (or was cut short).
bool hasUnfinishedAttempt(const QString& folder);

// Begins an attempt: an unfinished one is first undone; worm_trails.csv is copied once to its
// original copy, and xy_worms.bin is copied once to its own beside the window; then the
// results, their note and their exports are set aside and a fresh xy_shapes.txt is written.
// Empty on success, else a message naming the file, with everything as it was.
QString resetOutputs(const QString& folder);

// Ends the attempt with complete results (some frames may not have been analysed): the
// previous xy_worms.bin and worm_trails.csv become xy_worms.bak and worm_trails.bak, unless
// they were themselves results with frames not analysed (the backups then keep the last
// complete ones); the note of frames not analysed is written or removed. When the note cannot
// be written the previous results are put back and the message says so.
QString finishAttempt(const QString& folder, const std::vector<std::int32_t>& notAnalysed);
// After the tracker: finishAttempt(), or, when the tracker did not finish (`tracked` false) or
// wrote no trails, the previous results put back. Empty, or what to tell the operator (the
// frames not analysed, or the failure, when `complete` is set false).
QString endAttempt(const QString& folder, const std::vector<std::int32_t>& notAnalysed,
                   bool* complete = nullptr, bool tracked = true);
// Puts the previous results back and drops what the attempt made. Empty on success.
QString abandonAttempt(const QString& folder);
// abandonAttempt() as the end of a message: "; the previous results were put back".
QString putBack(const QString& folder);

// Starts the reprocess of one acquisition (tracking mode), after the window has written the
// training into the program folder and the acquisition: the checks, a batch that may start,
// the Sirrex options from the program folder's training.dat, then the output reset and the find
// batch. Nothing is deleted when a check fails. Empty on success, else a message.
QString startFindReprocess(BatchRunner& runner, const QString& programFolder,
                           const QString& acquisitionFolder, bool roundShape,
                           const QString& windowAddress = {});

// Pixels per mm across and down from the analysis rectangle and the plate size, as the text
// boxes hold them. The tracking reprocess reads the plate size as a real number and replaces it
// by 35 below 10 or above 60; mass reprocessing and the routes rerun read it as a whole number
// and replace it by 35 below 10 or from 61. Nothing when a value does not fit 16 bits.
enum class PlateSizeRule { Real, Whole };
struct PixelsPerMm {
    double across = 0.0;
    double down = 0.0;
    bool plateSizeReplaced = false; // the box is to show "35"
};
std::optional<PixelsPerMm> pixelsPerMm(const QString& x1, const QString& x2, const QString& y1,
                                       const QString& y2, const QString& plateSize,
                                       PlateSizeRule rule);

// "Load Training to memory": the acquisition whose training a mass run borrows.
struct TrainingSource {
    QString name;
    QString folder;
};
// A source only when exactly one item is selected and it is not "..".
std::optional<TrainingSource> rememberTrainingSource(const QString& projectFolder,
                                                     const QStringList& selectedItems);

// What happened to one acquisition of a mass run or a z-stack sequence.
struct AcquisitionOutcome {
    enum class Result { Done, EndedEarly, TimedOut, Stopped, Skipped };
    QString item;
    Result result = Result::Skipped;
    std::int32_t frame = 0; // the last frame its batch finished
    QString message;        // empty for Done (but for the frames it could not analyse);
                            // otherwise names the acquisition
    bool tracked = false;   // the tracker ran on it (mass run)
};

// The window's part in a command over several acquisitions.
struct BatchHooks {
    std::function<bool()> keepGoing;                  // false once the operator stopped
    std::function<void(const QString&)> status;       // status text ("<item> Tracking...")
    std::function<void(const BatchStatus&)> progress; // after every poll
    // The stored tracker on a folder: true when it tracked every frame and wrote the trails.
    std::function<bool(const QString&)> track;
    std::function<void(const QString&)> clean;        // the bad-frame filter on a folder
    std::function<void()> clearProgress;              // after each acquisition
};

// Waits for the running batch: rounds of a kBatchPollMs pause and a poll, at most maxPolls,
// ending when it finished or ended early, or when keepGoing turns false. A batch still
// running at the end of the wait is stopped (its whole group). The last status.
BatchStatus waitForBatch(BatchRunner& runner, platform::Clock& clock, const BatchHooks& hooks,
                         int maxPolls = kMaxPollsPerAcquisition);

// "Reprocess using Training...": for every selected item but ".." while keepGoing holds: the
// checks; the program folder's lock (held to the end of the run); the source's training.dat (and
// descriptor.dat, when it has one) copied into the acquisition unless it is the source itself; the
// output reset; a find batch whose Sirrex options come from the acquisition's own training.dat, the
// copy just made; the wait of at most 600 polls; then the tracker when the acquisition holds
// xy_image.bin. An acquisition that fails a step is reported by name and the next one goes on.
// Nothing is done (an empty list) when the source holds no training.dat.
std::vector<AcquisitionOutcome> applyTrainingToSelection(const platform::Services& services,
                                                         BatchRunner& runner,
                                                         const TrainingSource& source,
                                                         const QString& projectFolder,
                                                         const QStringList& selectedItems,
                                                         bool roundShape, const BatchHooks& hooks,
                                                         const QString& windowAddress = {});

// "Reprocess Routes": whether the tracker may run on the folder, and what to tell otherwise.
struct RoutesPreparation {
    bool track = false; // run the tracker now
    QString message;    // for the operator when it may not (empty: do nothing)
    // The trails the tracker will replace, copied under a temporary name beside
    // worm_trails.bak until it ends (empty: none are kept).
    QString previousTrails;
};
// Nothing to do when the folder does not exist; the operator's message when it holds no
// xy_image.bin. Otherwise the trails that the tracker will replace are first copied (see
// endReprocessRoutes); when that copy fails the tracker must not run and nothing has changed.
RoutesPreparation prepareReprocessRoutes(const QString& folder);

// How the tracker of "Reprocess Routes" ended: its trails whole, trails of a run that ended
// early, or none written (stopped).
enum class RoutesEnd { Whole, Partial, NotWritten };
// Ends what prepareReprocessRoutes kept: once the new trails are whole the previous ones become
// worm_trails.bak; trails of a run that ended early give way to the previous ones again; a
// stopped run changed nothing. Empty on success (or nothing kept), else a message.
QString endReprocessRoutes(const QString& previousTrails, RoutesEnd end);

// Converts the first stored frame among 0 to 10 directly (Dravel, waited on for at most 10 s)
// and makes it the z-stack accumulator. False when there is no such frame or it could not be
// converted: the batch's first merge then starts the accumulator.
bool seedZStack(platform::Launcher& launcher, const QString& programFolder,
                const QString& acquisitionFolder, const QString& deviceAddress,
                const std::vector<std::int32_t>& frames);

// Starts the z-stack batch of one acquisition: the checks, a batch that may start and the
// program folder's lock taken (kept by the runner until release(), also on failure), an old
// accumulator removed, the seed, the batch. Empty on success, else a message. The result is
// zStackImagePath(folder) once the batch has finished.
QString startZStack(const platform::Services& services, BatchRunner& runner,
                    const QString& acquisitionFolder, const QString& windowAddress = {});

// The copy of an acquisition's z-stack in the project folder: zstack_<item>.bmp.
QString zStackSequenceImagePath(const QString& projectFolder, const QString& item);

// "Export ZStack Sequence": for every selected item but ".." while keepGoing holds: the
// bad-frame filter, the z-stack batch and its wait, and, when it finished, its image copied
// into the project folder. Then the project folder is opened.
std::vector<AcquisitionOutcome> exportZStackSequence(const platform::Services& services,
                                                     BatchRunner& runner,
                                                     const QString& projectFolder,
                                                     const QStringList& selectedItems,
                                                     const BatchHooks& hooks,
                                                     const QString& windowAddress = {});

} // namespace acquisition
