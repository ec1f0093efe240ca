#pragma once
// The text of findrun.sh, the batch that reprocesses the stored frames 0 to 300 of one
// acquisition in a single /bin/sh process: per frame the converter Dravel, then the finder
// Sirrex (find batch) or the z-stack merger Mirrant (z-stack batch), the converted frame
// deleted, and the frame number recorded in the progress file cmdout.dat.
//
// Every word that comes from a name, a path, the device address or a training value is
// single-quoted, so none of them is ever read as shell syntax. The progress file is written
// whole under a temporary name and renamed into place at an absolute path. The deletion of a
// frame's PGM and the record of its number run in the background while the next frame is
// converted, one frame's after the other's; the batch waits for them before it records "300 ".
// A frame whose conversion or analysis fails does not end the batch: its number is appended to
// the file cmdfail.dat of the program folder, one line each, and the batch goes on with the
// next frame. Only the final step of a z-stack failing ends the batch: the progress file then
// holds the last finished frame on its first line and the failure on its second.

#include <QString>
#include <QStringList>

#include <cstdint>
#include <vector>

namespace acquisition {

inline constexpr char kBatchFileName[] = "findrun.sh";
inline constexpr char kBatchProgressFileName[] = "cmdout.dat";
// The frames of the batch that could not be converted or analysed, one number a line.
inline constexpr char kBatchFailedFramesFileName[] = "cmdfail.dat";
// The lock of the program folder that a batch holds for its whole life.
inline constexpr char kBatchLockFileName[] = "findrun.lock";
// Frames 0 to this number are reprocessed; the progress file reads it when the batch is done.
inline constexpr std::int32_t kBatchLastFrame = 300;

// One word for /bin/sh: the text in single quotes, every "'" in it written as '\''.
QString shellQuote(const QString& word);

// The line that the batch writes into the progress file after frame n: n with a blank on
// either side (" 17 "); the final line is "300 ".
QString batchProgressLine(std::int32_t frame);
QString batchFinalLine();

// The frames 0 to 300 of an acquisition whose JPEG exists under its exact name
// (`img`/c<address>f<N>.jpg; a frame marked bad, "...f12m.jpg", is not one), ascending.
std::vector<std::int32_t> storedFrames(const QString& acquisitionFolder,
                                       const QString& deviceAddress);

// A batch ready to be written: its text, and the files it makes and deletes itself (the
// converted frames, the z-stack accumulator), which are removed when it ends early.
struct BatchScript {
    QString text;
    QStringList scratchFiles;
};

struct FindBatchInput {
    QString programFolder;            // absolute; holds Dravel, Sirrex and the progress file
    QString acquisitionFolder;        // absolute
    QString deviceAddress;            // as in the frame names, "." not yet turned into "_"
    QString trainingOptions;          // the Sirrex option string, " -xs335 -xe1170 ..."
    bool roundShape = false;          // Sirrex's round-shape mode ("-cp28662")
    std::vector<std::int32_t> frames; // frames with a JPEG; others and those above 300 skipped
};

// The find batch: per frame Dravel to PGM, Sirrex on it with "-ti" and the frame number, the
// PGM deleted, the progress recorded; finally "300 ".
BatchScript findBatchScript(const FindBatchInput& input);

struct ZStackBatchInput {
    QString programFolder;
    QString acquisitionFolder;
    QString deviceAddress;
    std::vector<std::int32_t> frames;
};

// The z-stack accumulator and result of an acquisition: <folder>/zstack.pgm, <folder>/zstack.bmp.
QString zStackAccumulatorPath(const QString& acquisitionFolder);
QString zStackImagePath(const QString& acquisitionFolder);

// The z-stack batch: per frame Dravel to PGM, Mirrant merging it into the accumulator, the PGM
// deleted, the progress recorded; then Mirrant writes zstack.bmp from the accumulator, the
// accumulator is deleted, and finally "300 ".
BatchScript zStackBatchScript(const ZStackBatchInput& input);

} // namespace acquisition
