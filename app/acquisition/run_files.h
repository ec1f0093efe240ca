#pragma once
// The files and names of a live run: the acquisition folder with its `img` subfolder, the
// copies and fresh files written before the logger starts, the choice of the next frame of the
// live pipeline, and the argument lists of the converter, the finder and the logger.

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>
#include <vector>

namespace acquisition {

inline constexpr char kShapesFileName[] = "xy_shapes.txt";
inline constexpr char kShapesHeader[] = "#Frame\t#Prev_Frame\tX\tY\tShape\r\n";
inline constexpr std::int32_t kMaxRunMinutes = 1440;

// The project folder's name: the cleaned project text, "default" when it is empty.
QString projectFolderName(const QString& cleanedProject);

// The run name of cycle k (1 for the first run) of a series: baseName, " [", the cycle's
// nominal start offset (k - 1) x period in minutes, and "m]".
QString cycleRunName(const QString& baseName, int cycleNumber, double periodMinutes);

// "yyyymmdd_hhmm_" of the start minute followed by the cleaned run name.
QString acquisitionFolderName(const QDateTime& start, const QString& cleanedName);

// The acquisition folder as it was created.
struct RunFolder {
    QString path;  // full path of the acquisition folder
    QString name;  // its name inside the project folder (with a suffix when one was needed)
    QString error; // empty on success
};

// Creates the project folder when missing, then the acquisition folder and its `img`
// subfolder. A folder of that name that already exists (a run of the same name started in the
// same minute, by this program or another) is left alone: the new run gets the name followed
// by "_2", "_3", ... instead. The folder is new: no two calls ever give the same one.
RunFolder createAcquisitionFolder(const QString& projectFolder, const QString& folderName);

// Copies the program folder's training.dat as training.dat and its descriptor.txt as
// descriptor.dat into folder, each only when the source exists. Empty on success, else a
// message naming the file that could not be copied.
QString copyTrainingFiles(const QString& programFolder, const QString& folder);

// Writes xy_shapes.txt into folder holding only its header line. Empty on success.
QString createShapesFile(const QString& folder);

// Deletes what an earlier run of the same folder left for the live tracker: xy_worms.bin,
// xy_worms.txt and xy_image.txt (the image-descriptor file xy_image.bin stays).
void removeStaleRunFiles(const QString& folder);

// The part of a frame name before its number: "c" + address with "." as "_" + "f".
QString framePrefix(const QString& deviceAddress);
// The full path of frame n of a run ("jpg" or "pgm").
QString framePath(const QString& runFolder, const QString& deviceAddress, std::int32_t frame,
                  const QString& kind);

// The frame number in a frame file name: the leading number of the text after `prefix` (the
// extension left out). Nothing when the name does not start with the prefix, does not end in
// "." + kind, or its number does not fit 32 bits or is negative. A frame marked bad ("...f12m.jpg")
// counts as its leading number.
std::optional<std::int32_t> frameNumberOfName(const QString& name, const QString& prefix,
                                              const QString& kind);

// The next frame of the live pipeline among `names` taken in listing order: cursor + 1 when
// the listing meets it before any higher new frame, otherwise the highest frame above the
// cursor, or the cursor itself when no newer frame exists; 0 when no name is a frame.
std::int32_t nextFrameIndex(const QStringList& names, const QString& prefix, std::int32_t cursor,
                            const QString& kind);

// FindNextFrameIndex over the `img` folder of a run (names listed in alphabetical order).
std::int32_t FindNextFrameIndex(const QString& imgFolder, const QString& prefix,
                                std::int32_t cursor, const QString& kind);

// The highest frame number among the run's frames of that kind in its `img` folder; -1 when
// there is none.
std::int32_t newestFrameNumber(const QString& imgFolder, const QString& prefix,
                               const QString& kind);

// Deletes the run's converted frames (prefix + "*.pgm" in its `img` folder); JPEG frames and
// any other file stay. Returns how many files were deleted.
int deleteConvertedFrames(const QString& imgFolder, const QString& prefix);

// A program started by the run: its path and arguments.
struct CommandLine {
    QString program;
    QStringList arguments;
};

// Dravel: -grayscale -outfile <pgm> <jpg>.
CommandLine dravelCommand(const QString& programFolder, const QString& pgmPath,
                          const QString& jpgPath);
// Sirrex: the PGM, the words of the option string, "-cp28662" when the round-shape mode is on,
// and "-ti" with the frame number last.
CommandLine sirrexCommand(const QString& programFolder, const QString& pgmPath,
                          const QString& trainingOptions, bool roundShape, std::int32_t frame);
// Pendrel: the acquisition folder as its only argument.
CommandLine pendrelCommand(const QString& programFolder, const QString& runFolder);

} // namespace acquisition
