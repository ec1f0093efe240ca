#pragma once
// The Microbeam activity measure: a per-pixel test for movement over a block of ten reduced
// gray frames, and the one activity value a block yields. Pure computation, no Qt.
//
// Pixels are numbered from 1 (pixel p is byte p - 1 of a frame). Every loop here runs over the
// pixels 1 to 27647 whatever the frame size; the tables have 27650 rows (0 to 27649).

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace microbeam {

// One reduced frame: one gray byte (0 to 255) per pixel, row by row from the top-left corner.
// A frame read from a short file holds fewer than width x height bytes, an empty one none.
using FramePixels = std::vector<std::uint8_t>;

inline constexpr int kRingSlots = 10;     // frames per block (nine steps)
inline constexpr int kLastPixel = 27647;  // pixels 1 to 27647 are examined
inline constexpr int kPixelGuard = 27648; // p + lag at or above this counts nothing
inline constexpr int kTableRows = 27650;  // rows 0 to 27649 of the tables and the mask
inline constexpr int kTableColumns = 11;  // frame columns 0 to 10 (10 is never filled)

// The frames of the current block. Slot k is the k-th frame of the block in arrival order;
// `index` (0 to 9) is the slot the next frame fills. Empty slots hold empty frames.
struct FrameRing {
    std::array<FramePixels, kRingSlots> frames;
    int index = 0;
};

// Per-pixel event count (0 to 9) of the last computed block, entries 0 to 27649.
using ActivityMask = std::array<std::int16_t, kTableRows>;

// The geometry of the reduced frames a window paints; the width is the neighbour lag.
struct FrameSize {
    std::int16_t width = 0;
    std::int16_t height = 0;
    friend bool operator==(const FrameSize&, const FrameSize&) = default;
};

// The gray value of pixel p (0 to 27649) in frame column k (0 to 10), 16-bit, zero-filled.
class PixelTable {
public:
    PixelTable();
    std::int16_t at(int p, int k) const {
        return m_values[static_cast<std::size_t>(p) * kTableColumns + k];
    }
    void set(int p, int k, std::int16_t value) {
        m_values[static_cast<std::size_t>(p) * kTableColumns + k] = value;
    }
    // Back to all zero.
    void clear();

private:
    std::vector<std::int16_t> m_values; // kTableRows x kTableColumns
};

// How many of the nine frame-to-frame steps (1..9 against 0..8) of pixel p change together
// with at least one of its earlier neighbours (left p-1, up p-lag, up-left, up-right), by more
// than 4 gray levels each, in the same direction, with a pair mean change above 4 and above 4 %
// of the local level. 0 for p < 1, p - lag < 1 or p + lag >= 27648 (and for any position whose
// neighbours would leave the table). Reads only the table, columns 0 to 9.
std::int16_t CountChannelEvents(const PixelTable& table, std::int16_t p, std::int16_t lag);

// Slot numbers by decreasing change: ten rounds of a maximum search that take, among the slots
// not yet taken, the last one whose change is at least the running maximum (which starts at 0),
// so equal changes go to the higher slot first.
std::array<int, kRingSlots> orderByChange(const std::array<double, kRingSlots>& change);

// What one block gave. `failed` tells a failed block (ring and mask untouched, activity 0,
// `reason` says why) apart from a block without activity (failed false, activity 0).
struct BlockResult {
    bool failed = false;
    std::int32_t activity = 0; // nearest integer to the square root of `total`
    std::int32_t total = 0;    // sum of the pixel counts written into the mask
    std::string reason;        // empty unless failed
};

// The activity of the ten frames of the ring: judges the frames by their mean change, replaces
// outlier frames by a good neighbour frame (written back into `ring.frames`), counts the events
// of every pixel brighter than half the reference level into `mask` (entries 1 to 27647; the
// others are left as they are) and returns the rounded square root of their sum. `width` is the
// neighbour lag (the frame width, 200 or 160). Fails, touching neither ring nor mask, when a
// slot holds a pixel that the slot before it does not hold (an empty slot followed by a filled
// one, or a frame longer than the one before it), or when no slot has a mean gray above 0.
// `ring.index` is neither read nor changed.
BlockResult BlockActivity(FrameRing& ring, ActivityMask& mask, std::int16_t width);

} // namespace microbeam
