#pragma once
// The "TEST TRAINING" run: the preview converted by Dravel and searched once by Sirrex with the
// current training, the detections read back from the position file Sirrex wrote beside the
// preview, and the marks drawn for them. No window and no process here: the window starts the
// programs, waits for them and draws.

#include "app/training/target_measurement.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace training {

inline constexpr char kPreTrainingMissingMessage[] =
    "Pre-Training file not found. Please entrain again";

// The folder the finder writes its files into for the image at `imagePath`: the image's folder,
// or that folder's parent when the folder's name ends in "img" (the finder's own rule).
std::string finderOutputFolder(const std::string& imagePath);

// The message for a program folder in which the test cannot run because the finder would write
// into `outputFolder` instead: empty when the finder writes into `programFolder` itself.
std::string testFolderRefusal(const std::string& programFolder, const std::string& outputFolder);

// A program to start: its path and its arguments.
struct ProgramCommand {
    std::string program;
    std::vector<std::string> arguments;
};

// The base of the test's files: `programFolder`/preview (.jpg, .pgm).
std::string previewBase(const std::string& programFolder);

// Dravel: -grayscale -outfile base.pgm base.jpg (full size, no scale).
ProgramCommand testDravelCommand(const std::string& programFolder, const std::string& base);

// Sirrex: base.pgm, the words of the option string, then "-ti0"; with the round-shape mode
// "-cp28662 -ti0" in the acquisition window and "-ti0 -cp28662" in the reanalysis window.
ProgramCommand testSirrexCommand(const std::string& programFolder, const std::string& base,
                                 const std::string& trainingOptions, bool roundShape,
                                 TrainingWindow window);

// One detection read back from the test's position file.
struct TestDetection {
    int x = 0;
    int y = 0;
};

struct TestPositions {
    bool flat = false; // 17-byte records (first byte 255)
    std::vector<TestDetection> detections;
};

// The detections of the test's position file, as each window reads it. Only complete blocks
// (and, for 17-byte records, complete records) count; nothing is read past the end.
// - Reanalysis window: the first byte chooses the records (a file of 0 or 1 bytes counts as 0):
//   255 flat 17-byte records, each with marker 255 and a 32-bit time mark of 0, over the whole
//   file; 0 a header and 13-byte records without footer; 1 a header, 13-byte records and a
//   footer; any other value a header, 14-byte records and a footer. Of the header layouts only
//   the first block is read, its time mark not checked.
// - Acquisition window: the first block, with 14-byte records and a footer, when its time mark
//   (header bytes 1 and 2) is 0.
TestPositions readTestPositions(std::span<const std::uint8_t> data, TrainingWindow window);

// The same read from the file at `path` (the program folder's xy_worms.bin); nothing when the
// file does not exist or cannot be read.
std::optional<TestPositions> readTestPositionsFile(const std::string& path, TrainingWindow window);

// A line of a mark.
struct MarkLine {
    double x1 = 0.0;
    double y1 = 0.0;
    double x2 = 0.0;
    double y2 = 0.0;
};

// How one detection is drawn, all in blue.
struct TestMark {
    enum class Kind {
        Square, // outline from (left, top) to (left + B, top + B)
        Cross,  // two lines, no number
        Edges,  // the square's left and top edges
    };
    Kind kind = Kind::Square;
    std::vector<MarkLine> lines; // the two lines of a cross or of the edges
    int left = 0;                // nearest(x - B/2)
    int top = 0;                 // nearest(y - B/2)
    int size = 0;                // B
    bool numbered = true;
    int number = 0;     // 1 for the first detection
    double textX = 0.0; // left - B/2
    double textY = 0.0; // where the last line ended: top + B after a square, top after the edges
    std::string text;   // " 1"
};

// The marks of the detections for the mark size B (measureBoxSide of txt_npix). The acquisition
// window draws numbered squares; the reanalysis window draws crosses without numbers for 13- and
// 14-byte records and the left and top edges for flat records when `roundShape` is on.
std::vector<TestMark> testMarks(const TestPositions& positions, int markSize, TrainingWindow window,
                                bool roundShape);

} // namespace training
