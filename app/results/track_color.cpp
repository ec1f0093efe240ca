#include "track_color.h"

#include <array>

namespace results {

namespace {

constexpr std::int32_t rgb(int red, int green, int blue) {
    return red + 256 * green + 65536 * blue;
}

constexpr std::array<std::int32_t, 16> kPalette = {
    rgb(0, 0, 0),      rgb(255, 0, 0),   rgb(0, 255, 255), rgb(255, 255, 0),
    rgb(192, 64, 128), rgb(255, 0, 255), rgb(0, 192, 64),  rgb(192, 64, 0),
    rgb(128, 0, 0),    rgb(0, 128, 0),   rgb(0, 0, 128),   rgb(128, 128, 0),
    rgb(0, 128, 128),  rgb(128, 0, 128), rgb(128, 192, 0), rgb(0, 128, 192)};

} // namespace

std::int32_t TrackColor(int id) {
    const int k = ((id % 16) + 16) % 16;
    return kPalette[static_cast<std::size_t>(k)];
}

} // namespace results
