#pragma once
// Bad frames of a stored acquisition and the background samples of its frames.
//
// The outlier frames (FindOutlierFrames) are marked bad by renaming their JPEG file ("f12.jpg"
// becomes "f12m.jpg", which no frame listing takes any more). For the stored tracker the same
// pass loads the box positions and every frame's grid-box brightness from xy_image.bin, tells
// which frames are usable, and measures how much the grid boxes vary within a frame (the scale
// of the tracker's background filter). Nothing here shows a window: questions go through a
// callback and messages come back as text.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace results {

inline constexpr int kBadFrameLastFrame = 300; // frames 0 .. 300
inline constexpr int kBadFrameMaxApplied = 4;  // a list of five frames or more is not applied
inline constexpr int kBackgroundBoxCount = 5;  // boxes 0 .. 4 of the table; the grid follows
inline constexpr int kMaxSampleBoxes = 32767;  // box counts above are no count
inline constexpr char kBadFilterNotAppliedMessage[] = "Bad image filter not applied";
inline constexpr char kFileFilteredPrefix[] = "File Filtered: ";
inline constexpr char kBadFilesPrefix[] = "Bad files:";
inline constexpr char kBackgroundFileMissingMessage[] =
    "Image backgroung file not found. Please reprocess acquisition";

// Asked before a frame is marked when the caller is interactive: the window shows `frameFile`
// with badFrameCaption(frame) at its top-left corner and asks badFrameQuestion(frame) with Yes
// and No. True (Yes) marks the frame.
using ConfirmBadFrame = std::function<bool(const std::string& frameFile, std::int32_t frame)>;

std::string badFrameCaption(std::int32_t frame);  // "#12"
std::string badFrameQuestion(std::int32_t frame); // "Set #12 as bad image?"

// The first file (by name) of `imgFolder` whose name ends in "f" + frame + ".jpg" (letters in
// either case); empty when there is none. A marked frame ("f12m.jpg") is not found.
std::string findFrameFile(const std::string& imgFolder, std::int32_t frame);

// The name a frame file gets when marked bad: its last four characters (".jpg") replaced by
// "m.jpg".
std::string markedFrameName(const std::string& fileName);

// Moves `from` to `to` by copying: a copy under a temporary name beside `to`, given the name
// `to` only when no file has it, its size checked against `from`, and only then `from` deleted.
// When a step fails, `from` stays as it was, a file already under `to` stays as it was, and the
// copy is removed. Empty on success, else a message.
std::string copyCheckAndDelete(const std::string& from, const std::string& to);

struct MarkResult {
    std::int32_t marked = 0; // 1 when the frame was marked, else 0
    std::string frameFile;   // the frame found (full path), empty when none
    std::string markedFile;  // the marked name (full path)
    std::string error;       // the file could not be renamed (it keeps its name)
};

// Marks frame `frame` of folder + "/img" as bad: renamed to its marked name; when the rename
// fails, by copyCheckAndDelete. A file already under the marked name (a frame marked before)
// is never replaced: the frame keeps its name and the error says "Frame 12 not marked: PATH
// already exists". Interactive callers are asked first (an empty callback counts as No).
// Returns marked = 0 without changes when the folder is empty, the frame is not found, the
// answer is not Yes, or the file cannot be moved.
MarkResult MarkBadFrame(const std::string& folder, std::int32_t frame, bool interactive,
                        const ConfirmBadFrame& confirm = {});

// The outlier list applied to an acquisition.
struct BadFrameFilter {
    bool checked = false;              // the outlier rule could check the descriptor file
    std::string reason;                // why not (missing, damaged), when not checked
    bool missing = false;              // there is no descriptor file: no frame is listed
    std::int32_t applied = 1;          // 0 when the list was too long, else 1
    std::vector<std::int32_t> listed;  // the outlier frames, ascending
    std::vector<std::int32_t> bad;     // frames that got a bad flag (the list when applied)
    std::vector<std::int32_t> marked;  // frames whose file was marked
    std::vector<std::string> messages; // message boxes to show (interactive callers only)
    std::vector<std::string> errors;   // frames that could not be renamed

    // The cleaning counts as applied: the list was empty (no descriptor file included) or short
    // enough to apply. Not when the list was too long or the file could not be checked.
    bool cleaningApplied() const { return applied == 1 && (checked || missing); }
};

// FilterBadImages: lists the outliers; when there are four or fewer, marks each (asking first
// when interactive). Interactive callers get "Bad image filter not applied" for a long list and
// "File Filtered: 12;57" for the frames marked.
BadFrameFilter FilterBadImages(const std::string& folder, bool interactive,
                               const ConfirmBadFrame& confirm = {});

// A sample box of the descriptor table.
struct SamplePoint {
    std::int32_t x = 0;
    std::int32_t y = 0;
};

// What FilterBadImagesAndLoadSamples gives the stored tracker.
struct BackgroundSamples {
    enum class Source {
        Loaded,  // the descriptor file was read
        Missing, // no xy_image.bin (or one without a box table or frame lines)
        Failed,  // the file could not be read or is damaged
    };
    Source source = Source::Missing;
    std::string reason; // why no samples (Missing, Failed)

    // -1.0 with no descriptor file, 0.0 when the file failed or no frame gave a measure, else the
    // mean over frames 0 .. T-1 (T: the last line's time mark, the one before when that is 0) of
    // the frames' mean absolute deviation of grid-box brightness divided by their sum.
    double scale = -1.0;
    std::int32_t lastTimeMark = 0; // T

    // Per frame 0 .. 300: it has a descriptor line and no bad flag. Without descriptor data
    // every frame without a bad flag is usable.
    std::vector<bool> usable;
    std::vector<SamplePoint> points; // every box, background boxes first
    // Grid-box brightness (boxes 5 and up) of frames 0 .. rows - 1; frames missing between two
    // lines carry the values of the line before them. Background boxes read 0.
    std::int32_t rows = 0;
    std::vector<std::uint8_t> values; // rows x points.size()

    BadFrameFilter filter; // the outlier pass run before the load

    bool hasData() const { return source == Source::Loaded; }
    bool isUsable(std::int32_t frame) const {
        return frame >= 0 && static_cast<std::size_t>(frame) < usable.size() &&
               usable[static_cast<std::size_t>(frame)];
    }
    // The brightness of `box` in frame `time`; false when the table has no such entry.
    bool value(std::int32_t time, std::int32_t box, std::uint8_t& out) const;
};

// FilterBadImagesAndLoadSamples: the outlier list applied as FilterBadImages does (the listed
// frames get their bad flag even when not marked), then the samples loaded from xy_image.bin.
// Lines with a time mark beyond 300 are passed over; a line whose time mark is below the one
// before is passed over; a later line of the same frame replaces the earlier one. Frames without
// values (no grid boxes, all black) do not count in the measure.
BackgroundSamples FilterBadImagesAndLoadSamples(const std::string& folder, bool interactive,
                                                const ConfirmBadFrame& confirm = {});

// The menu command "Detect bad_images": the message to show, empty for none. No folder: empty.
// No descriptor file: kBackgroundFileMissingMessage. A descriptor file the outlier rule cannot
// check: its reason. No outliers: empty. Else "Bad files:" and ";" before every frame number.
std::string ReportBadImages(const std::string& acquisitionFolder);

} // namespace results
