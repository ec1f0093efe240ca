#pragma once
// The candidate test: decides whether a located blob is an organism and measures it.

#include "finder/sirrex_state.h"

#include <cstdint>

namespace finder {

enum CheckWormResult : int {
    WORM_THRESHOLD_OUT = 0, // threshold percentage out of range
    WORM_PIXELS_OUT = 1,    // dark-pixel count out of range, or 4 dark pixels or fewer
    WORM_LENGTH_OUT = 2,    // length out of range
    WORM_ACCEPTED = 3,
};

// n: organisms accepted so far (diagnostics only); (cx, cy): the candidate's centre.
// Outputs are set as far as the test got; all of them on WORM_ACCEPTED.
int Check_worm(const SirrexState& state, int n, long long cx, long long cy, int& mean, int& count,
               int& xsize, int& ysize, std::uint16_t& shape);

// The 4 x 4 shape code of the dark box [firstCol, lastCol] x [firstRow, lastRow] (image
// coordinates). A box whose longer extent is below 4 pixels has no cells and gives 0.
std::uint16_t shapeCode(const SirrexState& state, long long firstCol, long long lastCol,
                        long long firstRow, long long lastRow);

} // namespace finder
