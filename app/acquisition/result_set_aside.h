#pragma once
// The replacement of an acquisition's stored results, the one unit every command that replaces
// them uses. The results are set aside in the acquisition's folder reprocess_previous, beside
// a journal (saved.txt) that is written, whole and under a temporary name, before the moves of
// each phase: first the names it is about to move there; then, once the new results are whole,
// the same names and the mark that the new results are kept. Every move is a rename within the
// acquisition, so a file is always in exactly one of its two places, and the journal with what
// stands where tells recovery, after a crash at any step, what to do: before the mark it puts
// the previous results back, after it it finishes keeping the new ones. Either way the
// acquisition then holds the results of one attempt and the backups of one earlier attempt.
//
// Nothing is done through a link: a reprocess_previous that is a link, or a folder holding
// anything this unit did not put there, is refused with a message naming it, and nothing
// changes. The unit deletes only what it moved there itself, and the files a command left
// under the result names while the previous results were aside.

#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>
#include <vector>

namespace acquisition {

// The results of an acquisition and their backups.
inline const QString kWormsFile = QStringLiteral("xy_worms.bin");
inline const QString kWormsBackupFile = QStringLiteral("xy_worms.bak");
inline const QString kTrailsFile = QStringLiteral("worm_trails.csv");
inline const QString kTrailsBackupFile = QStringLiteral("worm_trails.bak");
inline const QString kImageFile = QStringLiteral("xy_image.bin");

inline constexpr char kPreviousResultsFolder[] = "reprocess_previous";
inline constexpr char kSetAsideJournalName[] = "saved.txt";
// Beside results whose batch could not analyse some frames: which ones.
inline constexpr char kNotAnalysedNoteName[] = "frames_not_analysed.txt";
// The journal is refused beyond this length.
inline constexpr std::size_t kSetAsideJournalMaxBytes = 64 * 1024;

// The files a replacement sets aside: the results, their note of frames not analysed and the
// exports made from them.
QStringList setAsideNames();

// True while something stands under the name reprocess_previous other than a plain file (a
// folder of results set aside, or a link in its place, which recovery refuses).
bool hasSetAside(const QString& folder);

// Sets the present results aside; what an earlier attempt left must have been ended first
// (putResultsBack), else this fails. Empty on success, else a message naming the file, with
// everything as it was.
QString setResultsAside(const QString& folder);

// Puts the results set aside back and deletes what stands under their names meanwhile; an
// attempt already keeping its new results is finished instead (*kept is then set). This is
// also the recovery of an attempt the program's end cut short. Empty on
// success. When the journal cannot be read nothing is deleted: the message says where the
// previous results were left. A put-back that fails on the way leaves the files of one attempt
// under the result names, never some of each, and says where the previous results still are.
QString putResultsBack(const QString& folder, bool* kept = nullptr);

// Keeps the new results. First the note of frames not analysed is written (or an old one
// removed): an attempt whose note cannot be written is not kept, the previous results are put
// back. Then the journal is marked, and the previous xy_worms.bin and worm_trails.csv become
// xy_worms.bak and worm_trails.bak when the previous results were complete (a backup without a
// counterpart goes, so that the pair stays of one attempt); the rest of the previous results
// goes. Empty on success; *putBack is set when the previous results were put back instead.
QString keepNewResults(const QString& folder, const std::vector<std::int32_t>& notAnalysed,
                       bool* putBack = nullptr);

// The first copy of a results file that is kept for good (xy_worms_original.bin) is made
// beside the window: the source is opened now and copied, whole and under a temporary name,
// in the background. Empty when it began (or there was nothing to do), else a message.
QString beginOriginalCopy(const QString& source, const QString& target);
// Waits for the copy into `target` to end: empty when it is there, else why it is not.
QString waitForOriginalCopy(const QString& target);
// How far the copy into `target` got while it still runs (bytes copied, and the source's
// size), so that a window can wait for it in steps; nothing once it has ended, or when none
// was begun. Its result is then taken at once by waitForOriginalCopy.
struct OriginalCopyProgress {
    std::int64_t copied = 0;
    std::int64_t size = 0;
};
std::optional<OriginalCopyProgress> originalCopyRunning(const QString& target);
// Ends the copy into `target` at once, leaving nothing behind.
void cancelOriginalCopy(const QString& target);

// Tests: every file-system step of the set-aside, the keeping and the put-back after the
// next `steps` ones fails as if the program had been killed there (-1: none fails).
void failSetAsideStepsAfter(int steps);
// Steps still allowed (-1 when none is to fail).
int setAsideStepsLeft();
// Tests: the background copies wait until this is switched off again.
void holdOriginalCopies(bool hold);

} // namespace acquisition
