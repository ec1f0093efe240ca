#pragma once
// The Microbeam window's own GrayFromColor: the gray level of a colour value that its picture
// reports for a point, for the mean-gray probes of the frame check.

#include <cstdint>

namespace microbeam {

// 0.299 x bits 16-23 + 0.587 x bits 8-15 + 0.114 x bits 0-7 of the colour value (red + 256 x
// green + 65536 x blue), rounded halves to even: 0 to 255. Negative values count by their
// two's-complement bits, so -1 (a point outside the picture) gives 255.
std::int16_t GrayFromColor(std::int32_t color);

} // namespace microbeam
