#pragma once
// The colour of a trail: one of 16 fixed colours chosen by the trail id modulo 16.

#include <cstdint>

namespace results {

// The colour value (red + 256 x green + 65536 x blue) of trail `id`; negative ids count
// from the palette's end (-1 gives entry 15). Ids are 16-bit; any int is accepted.
std::int32_t TrackColor(int id);

} // namespace results
