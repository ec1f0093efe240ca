#pragma once
// Locating the dark blob of a scan box that passed the contrast gate.

#include "finder/sirrex_state.h"

namespace finder {

// Bounding box of a located blob, absolute image coordinates, all inclusive.
struct BlobBounds {
    long long top = 0;
    long long bottom = 0;
    long long left = 0;
    long long right = 0;
};

// Grows the blob from the box's darkest pixel (box row r0, column c0) by four row sweeps
// against the threshold v. (x, y) is the box's top-left corner. Always succeeds.
void find_corners(const SirrexState& state, long long x, long long y, float v, int r0, int c0,
                  long long& top, long long& bottom, long long& left, long long& right);

// Looks for the first point of the box at the bottom of a brightness valley in all four
// directions; returns 0 with a square around it, or -1 (outputs untouched) when none is found.
// v and cp are accepted and not used.
int find_corners_bymountain(const SirrexState& state, long long x, long long y, float v, int cp,
                            long long& top, long long& bottom, long long& left, long long& right);

} // namespace finder
