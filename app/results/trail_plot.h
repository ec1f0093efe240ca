#pragma once
// The trail plot of a stored acquisition as drawing instructions: for every frame, the trails
// from frame 1 up to that frame, each in TrackColor of its id, a dot where a trail begins (or
// begins again after a gap) and a line for each step from one frame to the next, optionally
// with the id printed at the end of the trail's first step once it has ten steps.
//
// The tables are sized from the trails file (any frame number a run can reach, trail ids up to
// 32000); a row that cannot be read, or a frame below 0 or beyond the time marks of a run, ends
// the plot with a message naming it.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace results {

inline constexpr char kTrackFileNotFoundMessage[] =
    "Track File not found!. Please Reprocess images";
inline constexpr int kPlotLabelSegments = 10; // steps a trail needs before its id is printed
// The highest frame a trails file can hold: the time marks of the position file have 23 bits.
inline constexpr std::int32_t kMaxPlotFrame = 0x7FFFFF;

// A line from (x1, y1) to (x2, y2); a dot is the line from (x, y) to (x + 1, y + 1).
struct PlotStroke {
    std::int32_t frame = 0; // the frame that ends the step (or holds the dot)
    std::int32_t id = 0;
    std::int32_t x1 = 0, y1 = 0, x2 = 0, y2 = 0;
    std::int32_t color = 0; // TrackColor(id)
    bool dot = false;
    bool operator==(const PlotStroke&) const = default;
};

// An id printed with its top left at (x, y).
struct PlotLabel {
    std::int32_t id = 0;
    std::int32_t x = 0, y = 0;
    std::int32_t color = 0;
    std::string text;
    bool operator==(const PlotLabel&) const = default;
};

struct TrailPlot {
    bool ok = false;
    bool missing = false; // no trails file (message kTrackFileNotFoundMessage)
    std::string message;  // ok == false: why there is no plot
    std::int32_t maxFrame = 0;
    std::int32_t maxId = 0;
    // The frames the plot shows, ascending: frame 0 and every frame that has a row. A frame
    // without a row would show the same trails as the one before it, so a file whose frame
    // numbers leap far ahead costs its rows, not its largest frame number.
    std::vector<std::int32_t> frames;
    // Every stroke of frames 1 .. maxFrame, by frame and within a frame by id.
    std::vector<PlotStroke> strokes;
    // Per trail with at least ten steps: from which frame its label is printed and where.
    struct LabelFrom {
        std::int32_t fromFrame = 0;
        PlotLabel label;
    };
    std::vector<LabelFrom> labels; // by id

    // The strokes that frame k adds, and all strokes of frames 1 .. f (what a frame draws).
    std::span<const PlotStroke> strokesOfFrame(std::int32_t k) const;
    std::span<const PlotStroke> strokesUpTo(std::int32_t f) const;
    // The labels printed in frame f, by id.
    std::vector<PlotLabel> labelsAt(std::int32_t f) const;
};

// The plot of a trails text (header line first). With singleAnimal every row is trail 0, and a
// later row of the same frame and id replaces the earlier one.
TrailPlot buildTrailPlot(const std::string& trailsText, bool singleAnimal);
// The same from acqFolder/worm_trails.csv.
TrailPlot loadTrailPlot(const std::string& acqFolder, bool singleAnimal);

struct PlotOptions {
    std::string acqFolder;
    std::string deviceAddress;    // txt_ip1: names the frame images
    bool whiteBackground = false; // chk_white: no frame image is shown
    bool idMarks = false;         // mn_idmark: ids printed
};

// What frame f draws. A frame whose image file is missing is skipped whole (drawn == false).
struct PlotFrame {
    std::int32_t frame = 0;
    bool drawn = false;
    bool showImage = false;              // show imagePath first (it replaces the picture)
    std::string imagePath;               // acqFolder/img/c<address>f<frame>.jpg
    std::span<const PlotStroke> strokes; // frames 1 .. f, in drawing order
    std::vector<PlotLabel> labels;
};
PlotFrame plotFrame(const TrailPlot& plot, std::int32_t frame, const PlotOptions& options);

} // namespace results
