#pragma once
// The tracker of a stored acquisition (frames 0 to 300): the detections of every block of the
// position file are linked into tracks by nearest distance within the maximum travel, with the
// optional background filter refusing long jumps onto places where the background did not
// change; worm_trails.csv is written anew, and the steps come back as coloured segments for the
// window to draw over the acquisition's first frame.
//
// Blocks are matched to frames by their time mark (the frame number in every batch), so a frame
// marked bad after the batch, or a frame the finder never wrote, does not put later frames out
// of step.

#include "app/results/bad_frames.h"
#include "app/results/worm_trails_file.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace results {

inline constexpr int kStoredLastFrame = 300;
inline constexpr int kStoredLostLimit = 10;            // a track lost this many frames has ended
inline constexpr std::int32_t kStoredFilterReach = 15; // no background check up to this distance
inline constexpr double kStoredMinScale = 0.01;
inline constexpr char kStoredTrackerErrorMessage[] = "error processing all routes file";

struct StoredTrackerParams {
    double maxTravel = 0.0;        // txt_maxtravel as a number
    bool backgroundFilter = false; // mn_backfilter checked
};

// One linked step, in frame pixels, in TrackColor(id).
struct TrackSegment {
    std::int32_t frame = 0;
    std::int32_t id = 0;
    std::int32_t colour = 0;
    std::int32_t x1 = 0, y1 = 0, x2 = 0, y2 = 0;
    bool operator==(const TrackSegment&) const = default;
};

struct StoredTrackResult {
    bool completed = false;               // every frame was tracked and the trails file written
    std::vector<WormTrailRow> rows;       // as written to worm_trails.csv
    std::vector<TrackSegment> segments;   // in drawing order
    std::string backgroundPicture;        // the picture to draw the segments over
    std::int32_t trackCount = 0;          // track ids handed out
    std::int32_t framesLinked = 0;        // frames whose block started or extended tracks
    std::int32_t blocksRead = 0;          // blocks of the position file read
    std::int32_t blocksPassedOver = 0;    // read and not linked (time mark 0, bad or unknown
                                          // frames, repeated time marks, damaged blocks)
    bool backgroundFilterApplied = false; // the filter was asked for and had samples
    double scale = 0.0;                   // the background scale used (after raising to 0.01)
    // Message boxes to show, in order: those of the bad-frame pass when interactive, then
    // kStoredTrackerErrorMessage when the run ended early.
    std::vector<std::string> messages;
    // Status texts (never a message box): the filter skipped, blocks passed over, the id limit.
    std::vector<std::string> notes;
    std::string error; // why the run ended early, empty when it completed
};

// The sample box nearest to (x, y): the first of equally near boxes; 0 when there are no boxes
// or none lies closer than the square root of 99999.
std::int32_t NearestSamplePoint(const std::vector<SamplePoint>& points, std::int32_t x,
                                std::int32_t y);

// Links the acquisition in `folder` with samples already loaded (FilterBadImagesAndLoadSamples)
// and writes folder + "/worm_trails.csv" whole under a temporary name. When the run ends early
// (a position file that cannot be read on, a trails file that cannot be written) the rows
// linked so far are written and `error` says why. `programFolder` gives preview.jpg when the
// acquisition has none of its frames 0 to 3.
StoredTrackResult trackStoredAcquisition(const std::string& folder,
                                         const StoredTrackerParams& params,
                                         const BackgroundSamples& samples,
                                         const std::string& programFolder);

using StoredClock = std::chrono::steady_clock;

// One tracking of a stored acquisition in steps, so that a window can answer between them
// however large the position file is. The position file is read once, at the first step.
class StoredTrackerRun {
public:
    StoredTrackerRun(const std::string& folder, const StoredTrackerParams& params,
                     BackgroundSamples samples, const std::string& programFolder);
    ~StoredTrackerRun();
    StoredTrackerRun(StoredTrackerRun&&) noexcept;
    StoredTrackerRun& operator=(StoredTrackerRun&&) noexcept;

    // Links frames for about `budget` (a step ends at the first frame or block boundary past
    // it); true when every frame has been looked at (or the file cannot be read on).
    bool step(StoredClock::duration budget);
    bool ended() const;
    // The frame to be linked next, 0 .. 300: the run's progress.
    std::int32_t frame() const;
    // Runs the remaining steps at once, writes worm_trails.csv and gives the result, with the
    // bad-frame pass's messages and notes first (as TrackWorms gives them).
    StoredTrackResult finish();

private:
    struct State;
    std::unique_ptr<State> m_state;
};

// TrackWorms: the bad-frame pass and the samples (asking through `confirm` when interactive),
// then trackStoredAcquisition.
StoredTrackResult TrackWorms(const std::string& folder, bool interactive,
                             const StoredTrackerParams& params, const std::string& programFolder,
                             const ConfirmBadFrame& confirm = {});

// The same in steps: the bad-frame pass and the samples now, the tracking by the run's steps.
StoredTrackerRun startTrackWorms(const std::string& folder, bool interactive,
                                 const StoredTrackerParams& params,
                                 const std::string& programFolder,
                                 const ConfirmBadFrame& confirm = {});

} // namespace results
