#pragma once
// Trail metrics: the motion rule that decides when a trail moves and how far, the per-trail
// motion state it works on, and the per-time-block statistics of one trails file.
//
// The motion rule is the program's single definition of movement. The trails analysis (report
// writer) applies it once per trails-file row; the live tracker applies it once per block to
// every live track, in its own variant (MotionVariant::Live, see applyMotionRule).

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace results {

class LinePieceReader;

// Constants of the motion rule.
inline constexpr double kStillTrend = 0.05;     // trend at or below this ...
inline constexpr double kStillOffset = 3.5;     // ... and offset at or below this: still
inline constexpr double kStillStepPx = 8.75;    // or a step from the anchor at or below this
inline constexpr double kOffsetSmoothing = 0.8; // offset = 0.8 x offset + 0.2 x d
inline constexpr double kNetSmoothing = 0.95;   // net = 0.95 x net + 0.05 x e
inline constexpr double kTrendSmoothing = 0.8;  // trend = 0.2 x (net - prevNet) + 0.8 x trend
inline constexpr int kRestartLostCount = 9;     // LOST_COUNT above this restarts the trail
inline constexpr int kMinListedFrames = 10;     // counted rows a trail needs to be listed
inline constexpr double kStillTravelMm = 1.0;   // at most this travel in a block: still trail
inline constexpr int kMaxTrailId = 32000;       // trail ids are 0 .. 32000

// Motion values of one trail (or live track). Zero-initialised means "not started".
struct TrailState {
    std::int32_t midX = 0; // midpoint in frame pixels; midX == 0 means not started
    std::int32_t midY = 0;
    std::int32_t refShape = 0; // shape code recorded when the trail (re)started
    std::int32_t anchorX = 0;  // first counted position of the trail in the current block
    std::int32_t anchorY = 0;
    double offset = 0.0;           // smoothed distance of the detection from the midpoint, px
    double net = 0.0;              // smoothed distance of the detection from the anchor, px
    double prevNet = 0.0;          // net before its last update
    double trend = 0.0;            // smoothed change of net per row, px
    double travelMm = 0.0;         // distance travelled (in the current block), mm
    std::int32_t frameCount = 0;   // counted rows (in the current block); 32-bit: a live run of
                                   // 1440 minutes counts up to 86,400 rows
    double speedMm = 0.0;          // travelMm / frameCount, mm per frame (mm/s)
    std::int32_t rotationBits = 0; // sum of changed shape-code bits (in the current block)

    // Clears the per-block part (midpoint, travel, counted rows, speed, rotation); refShape,
    // the anchor, offset, net, prevNet and trend carry over.
    void resetForNewBlock();
};

// One observation of a trail: a trails-file row, or a live track's position after a block.
struct MotionInput {
    std::int32_t frame = 0; // FRAME of the row (not used by the live variant)
    std::int32_t x = 0;
    std::int32_t y = 0;
    std::int32_t lostCount = 0; // LOST_COUNT (not used by the live variant)
    std::int32_t shape = 0;     // shape code (not used by the live variant)
};

enum class MotionVariant {
    // The trails analysis: movement only for FRAME > 0, anchor set when the row is the trail's
    // first counted row of the block, shape rotation counted, restart after LOST_COUNT > 9.
    Trails,
    // The live tracker: movement whenever midX > 0; the anchor is set once, to the position of
    // the track's first movement step (when anchorX is 0), and never again; net and trend are
    // updated only when frameCount > 1; no rotation; no restart (the live tracker clears midX
    // and midY itself when a track ends).
    Live,
};

// Applies the motion rule for one observation and returns the distance moved in mm (0 for a
// still row or a row that only starts the trail). Distances are Euclidean over the integer
// pixel differences; the midpoint's displacement is scaled by pxPerMmX and pxPerMmY separately.
// A negative factor (a rectangle typed with its corners swapped) measures like its size. A zero
// factor (an empty analysis rectangle) or one that is not finite contributes no distance along
// its axis instead of an infinity; callers report such factors to the operator.
// `moving`, when given, is set when the observation was a movement step that was not still.
double applyMotionRule(TrailState& state, const MotionInput& input, double pxPerMmX,
                       double pxPerMmY, MotionVariant variant = MotionVariant::Trails,
                       bool* moving = nullptr);

// Number of set bits among bits 0 to 15 of value (bits 16 to 31 are ignored); 0 to 16.
int CountBits16(std::int32_t value);

// Statistics of one time block of the trails analysis.
struct BlockStats {
    std::int32_t particles = 0;       // rounded mean number of fresh detections per frame
    double avgSpeed = 0.0;            // mean speedMm of the listed trails, mm/s
    double distancePerParticle = 0.0; // sum of listed travelMm / particles, mm
    double stillFraction = 0.0;       // counted rows of still listed trails / all their rows
    double rotationIndex = 0.0;       // mean of rotationBits / frameCount of listed trails
};

// One row of the trails file as the analysis reads it.
struct TrailRow {
    std::int32_t frame = 0;
    std::int32_t id = 0;
    std::int32_t x = 0;
    std::int32_t y = 0;
    std::int32_t lostCount = 0;
    std::int32_t shape = 0;
};

// Result of the trails analysis of one trails file.
struct TrailAnalysisResult {
    bool ok = false;
    std::string error;              // why the analysis failed (ok == false)
    std::vector<BlockStats> blocks; // blocks 0 .. last block index (at least one when ok)
    std::string particleTrails;     // the whole particle_trails.csv text, CR LF line ends
    std::int32_t maxId = 0;         // the largest trail id seen
};

// Parameters of the trails analysis.
struct TrailAnalysisParams {
    std::int32_t blockMinutes = 5; // at least 1 (values below are taken as 1)
    std::string separator = ";";   // field separator of the listing lines
    double pxPerMmX = 1.0;
    double pxPerMmY = 1.0;
    // -1: trails listed by falling row count, numbered from 0 in each block;
    // any other value: listed and numbered by trail id.
    std::int32_t trailNumbering = -1;
};

// Splits one trails-file line (without its line end) at ";" and reads FRAME, ID, X, Y,
// LOST_COUNT and SHAPE (fields 1 to 5 and 9) by the leading-number rule, rounded halves to even.
// Fails with a message when a value does not fit 32 bits or the id lies outside 0 .. 32000.
bool parseTrailRow(std::string_view line, TrailRow& row, std::string& error);

// Runs the trails analysis over the whole text of a trails file (header line first), its lines
// as TrailsTextLines (worm_trails_file.h) gives them.
TrailAnalysisResult analyzeTrailsText(std::string_view trailsText,
                                      const TrailAnalysisParams& params);

// The same analysis over an opened trails file, read front to back in pieces (a day-long file is
// never held whole). A read failure fails the analysis with its message.
TrailAnalysisResult analyzeTrailsFile(LinePieceReader& file, const TrailAnalysisParams& params);

// Fixed-decimal text ("0.000" style) with "." as the point whatever the process locale. The
// exact stored value is rounded to `decimals` places (0 to 15), an exact half to the even
// neighbour: 0.525, stored a little above, gives "0.53"; 0.125 gives "0.12". No "-0.00".
std::string formatFixed(double value, int decimals);

// Number text of the listing: formatFixed without trailing zeros and without a point for whole
// values ("0.5", "12", "0.125"), so the listing and the report fields round a value alike.
std::string formatRounded(double value, int decimals);

} // namespace results
