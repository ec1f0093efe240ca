#pragma once
// Background samples and the elliptical box-grid scan of one frame.

#include "finder/sirrex_state.h"

namespace finder {

// Background value around (x, y): the truncated mean of 50 x 50 samples taken every second
// pixel of the 100 x 100 square whose corner is (x - 50, y - 50), raised to 0 at the top left.
int Check_box_Avrg(const SirrexState& state, long long x, long long y);

// Appends one box entry (centre and value) while the table has room.
void calculate_5image_background_memorize(SirrexState& state, long long x, long long y, int value);

// Box table entries 0 to 4: above, below and left of the rectangle, and two inside it.
void calculate_5image_background(SirrexState& state);

// Scans the ellipse inscribed in the analysis rectangle box by box: every box gets a table
// entry, boxes that pass the contrast gate are located, checked against earlier detections and
// tested, and accepted organisms become records of output_buffer.
void scanGrid(SirrexState& state);

// The whole analysis of a frame already in state.buffer: box counter reset, background boxes,
// grid scan.
void analyseFrame(SirrexState& state);

} // namespace finder
