#pragma once
// The live tracker of a run: links the detections of each position-file block to the run's
// tracks by nearest distance, keeps every track's motion values and its recent positions, and
// gives the trails-file rows and the lines to draw. It holds no window and no file: the
// acquisition window reads the block, writes the rows and draws the lines.

#include "app/results/detection_block.h"
#include "app/results/live_block_reader.h"
#include "app/results/trail_metrics.h"

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace results {

inline constexpr int kLiveHistorySlots = 61; // ring slots 0 .. 60
inline constexpr int kLiveLostLimit = 10;    // a track with this many lost blocks has ended
inline constexpr std::int32_t kLiveMaxTracks = 32001; // track ids 0 .. 32000
inline constexpr char kTrackIdLimitMessage[] =
    "Track limit reached (32001 tracks): no new tracks are opened in this run";

// One detection of a block, as the block reader keeps it (entries past the kept detections are
// all zero).
struct LiveDetection {
    std::int32_t x = 0;
    std::int32_t y = 0;
    std::int32_t pixels = 0;
    std::int32_t xSize = 0;
    std::int32_t ySize = 0;
    std::int32_t shape = 0;
};

struct LiveTrack {
    LiveDetection last; // the detection the track took last
    std::int32_t lostCount = 0;
    TrailState motion;
    std::array<std::int16_t, kLiveHistorySlots> histX{};
    std::array<std::int16_t, kLiveHistorySlots> histY{};
};

struct LiveTrackerState {
    // Reader position: 1-based byte position of the next block, block number (1 at run start,
    // raised by every block read) and history slot (0 .. 60, raised with it).
    LiveReaderState reader;

    std::int32_t trackCount = 0;
    std::int32_t matchedCount = 0;
    double matchedSum = 0.0;
    double labelBlocks = 0.0;
    double pxPerMmX = 1.0;
    double pxPerMmY = 1.0;
    std::int32_t lastTimeMark = 0;
    bool trackLimitReported = false;
    std::vector<LiveTrack> tracks; // ids 0 .. trackCount - 1

    // Back to the start of a run (keeps nothing).
    void reset(double pxPerMmX, double pxPerMmY);
    // What the block reader does for every block it reads (for callers that feed blocks
    // without the reader).
    void advanceBlock();
    std::int32_t blockNumber() const { return reader.blockNumber; }
    int ringSlot() const { return reader.ringSlot; }
};

// A line to draw, in frame pixels, with the track id that gives its colour.
struct LiveSegment {
    std::int32_t id = 0;
    double x1 = 0.0, y1 = 0.0, x2 = 0.0, y2 = 0.0;
};

// What one block changed.
struct LiveBlockResult {
    bool firstBlock = false;
    std::int32_t frame = 0; // FRAME column of the block's rows
    std::string rows;       // rows to add to the trails file (header first for the first block)
    bool labelsDue = false; // later block: the labels are updated (before the motion step)
    bool trackLimitReached = false;      // true only at the block that first hit the id limit
    std::vector<LiveSegment> trailMap;   // steps of more than 2 px (relative to x1, y1)
    std::vector<LiveSegment> recentPath; // each live track's last 60 blocks over the frame
};

// The detections of a block the reader read: entries 0 .. count - 1 (the kept detections,
// then the reader's zero entries), shape codes from their decimal text.
std::vector<LiveDetection> liveDetections(const DetectionBlock& block);

// Distance rule of the linker: the detection whose distance lies below the rounded best so far
// (ties and near ties keep the earlier one). Returns the index or -1, and the rounded best.
int nearestDetection(std::int32_t x, std::int32_t y, const std::vector<LiveDetection>& detections,
                     std::int32_t& roundedBest);

// Which detection each track takes in one frame, as both trackers link them.
struct TrackEnd {
    std::int32_t x = 0; // last known position
    std::int32_t y = 0;
    bool alive = false; // lost for fewer frames than the limit; dead tracks take nothing
};

struct TrackLinks {
    std::vector<int> pick;      // per track: the detection it takes, -1 for none
    std::vector<int> unclaimed; // detections that no track chose, ascending: new tracks
};

// Refuses the nearest detection of a track (the stored tracker's background filter):
// (track, detection, rounded best distance) -> true to refuse.
using RefuseLink = std::function<bool(std::int32_t, int, std::int32_t)>;

// Every living track chooses its nearest detection (nearestDetection) when the rounded best
// lies below `maxTravel` and `refuse` (when given) does not refuse it. A detection chosen by
// two or more tracks goes to the nearest of them (the first on a rounded tie); the others take
// nothing in this frame, with no second choice.
TrackLinks linkDetections(const std::vector<TrackEnd>& ends,
                          const std::vector<LiveDetection>& detections, double maxTravel,
                          const RefuseLink& refuse = {});

// Links one block that the reader has just read (its time mark, the detections with the
// reader's trailing zero entries). The caller has already advanced the reader state (block
// number and ring slot). `rectX1`, `rectY1`: left and top of the analysis rectangle, for the
// trail map. `beforeMotion` runs between the rows and the motion step (the labels).
template <typename BeforeMotion>
LiveBlockResult trackLiveBlock(LiveTrackerState& state, std::int32_t timeMark,
                               const std::vector<LiveDetection>& detections, double maxTravel,
                               double rectX1, double rectY1, BeforeMotion&& beforeMotion);

// The parts of trackLiveBlock, usable one by one.
LiveBlockResult linkLiveBlock(LiveTrackerState& state, std::int32_t timeMark,
                              const std::vector<LiveDetection>& detections, double maxTravel);
void applyLiveMotion(LiveTrackerState& state);
void recordLiveHistory(LiveTrackerState& state, LiveBlockResult& result, double rectX1,
                       double rectY1);

// The row text of one track: FRAME;ID;X;Y;LOST_COUNT;#PIX;X_SIZE;Y_SIZE;SHAPE and CR LF.
std::string liveTrailRow(std::int32_t frame, std::int32_t id, const LiveTrack& track);

template <typename BeforeMotion>
LiveBlockResult trackLiveBlock(LiveTrackerState& state, std::int32_t timeMark,
                               const std::vector<LiveDetection>& detections, double maxTravel,
                               double rectX1, double rectY1, BeforeMotion&& beforeMotion) {
    LiveBlockResult result = linkLiveBlock(state, timeMark, detections, maxTravel);
    if (result.firstBlock)
        return result;
    beforeMotion(state);
    applyLiveMotion(state);
    recordLiveHistory(state, result, rectX1, rectY1);
    return result;
}

} // namespace results
