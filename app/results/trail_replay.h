#pragma once
// The trail replay of a stored acquisition: walks the trails file row by row with the motion
// rule, keeps the four result figures up to date, gives the movement lines of every frame (for
// the picture sequence: a bitmap only for frames in which a trail moved) and, at the end, the
// speed chart of the trails that entered the figures.
//
// The window calls next() once per frame (the rows that follow one another with one frame
// number), shows what it gives, lets its events run and calls again while not stopped. Trail
// tables grow with the ids of the file (up to 32000); frame numbers are 32-bit.

#include "app/results/live_labels.h"
#include "app/results/report.h"
#include "app/results/trail_metrics.h"
#include "app/results/trail_plot.h"
#include "app/results/worm_trails_file.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace results {

inline constexpr char kTrainingNotFoundMessage[] = "Training file not found";
inline constexpr char kReplayErrorMessage[] = "error processing worm_trails file";
inline constexpr char kReplayBitmapFolder[] = "bmp";
inline constexpr char kExportedPictureName[] = "bmp_out.bmp";

struct ReplaySettings {
    double pxPerMmX = 1.0;
    double pxPerMmY = 1.0;
    bool singleAnimal = false; // every row is trail 0
};

// What the replay needs before it starts, from the acquisition folder and the rectangle texts
// its LoadTraining put into the boxes.
struct ReplaySetup {
    bool ok = false;
    std::string message; // ok == false: the message box text
    ReplaySettings settings;
    double plateSizeMm = 35.0;
    bool plateSizeReplaced = false; // txt_psize is to show "35"
    std::string trailsText;         // the whole trails file
};
// Checks, in order: training.dat in the folder ("Training file not found"), a rectangle with
// width and height, the trails file ("Worm tracks file not found").
ReplaySetup prepareReplay(const std::string& acqFolder, const RectangleTexts& rectangle,
                          bool singleAnimal);

// What one frame of the replay gives.
struct ReplayFrame {
    std::int32_t frame = 0;                  // txt_nfile
    bool summary = false;                    // the figures were recomputed: progress bar to `frame`
    std::string particleText;                // lbl_particle (when summary)
    std::optional<std::string> distanceText; // lbl_distance, "0.0" (when shown)
    std::optional<std::string> turningsText; // lbl_turnings, "0.0"
    std::optional<std::string> speedText;    // lbl_speed, "0.00"
    // Lines from each moving row's new midpoint to its old one, in row order, TrackColor(id).
    std::vector<PlotStroke> moves;
    bool hasMovement() const { return !moves.empty(); }
};

class TrailReplay {
public:
    enum class Status { Running, Finished, Failed };

    TrailReplay(std::string trailsText, const ReplaySettings& settings);

    Status status() const { return m_status; }
    // Failed: kReplayErrorMessage, and the line and fault in detail().
    const std::string& error() const { return m_error; }
    const std::string& detail() const { return m_detail; }

    // The rows of the next frame; call only while Running. The figures of a frame are those of
    // the summary before its last row (the labels never include the row being read).
    ReplayFrame next();

    std::int32_t maxId() const { return m_maxId; }
    // Trail state by id (a zero state for ids not seen).
    TrailState trail(std::int32_t id) const;
    // The speeds of the trails with at least 10 counted rows, by id.
    std::vector<double> countedSpeeds() const;
    // The chart at the end of the replay: the speeds of every trail id 0 to maxId (ids not seen
    // and trails not yet moving count as still), its bin count from maxId.
    SpeedHistogram histogram() const;

private:
    bool readRow(); // parses the next row into m_pending; false at the end or on a fault
    void summary(ReplayFrame& out, std::int32_t frame);
    void applyRow(const TrailRow& row, ReplayFrame& out);

    std::unique_ptr<const std::string> m_text; // stays put when the replay is moved
    TrailsTextLines m_lines;
    ReplaySettings m_settings;
    Status m_status = Status::Running;
    std::string m_error, m_detail;
    bool m_havePending = false;
    TrailRow m_pending;
    std::vector<TrailState> m_trails;    // by id, grown as ids appear
    std::vector<std::int32_t> m_counted; // ids with at least 10 counted rows, ascending
    std::int32_t m_maxId = 0;
    std::int64_t m_freshCount = 0;
    double m_freshSum = 0.0;
};

// acqFolder/bmp/f<frame>.bmp: the picture of a frame with movement.
std::string replayBitmapPath(const std::string& acqFolder, std::int32_t frame);

// The picture export of the trail plot: acqFolder/bmp_out.bmp, the caption (txt_filepj) printed
// at (0, 0) in black on the white background, else in white.
struct PictureExport {
    std::string path;
    std::string caption;
    std::int32_t textColor = 0; // red + 256 x green + 65536 x blue
};
PictureExport pictureExportFor(const std::string& acqFolder, const std::string& caption,
                               bool whiteBackground);

} // namespace results
