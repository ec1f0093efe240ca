#include "app/results/track_color.h"

#include <gtest/gtest.h>

using results::TrackColor;

namespace {
constexpr std::int32_t rgb(int r, int g, int b) {
    return r + 256 * g + 65536 * b;
}
} // namespace

TEST(TrackColor, PaletteByIdModulo16) {
    EXPECT_EQ(TrackColor(0), rgb(0, 0, 0));
    EXPECT_EQ(TrackColor(1), rgb(255, 0, 0));
    EXPECT_EQ(TrackColor(2), rgb(0, 255, 255));
    EXPECT_EQ(TrackColor(4), rgb(192, 64, 128));
    EXPECT_EQ(TrackColor(14), rgb(128, 192, 0));
    EXPECT_EQ(TrackColor(15), rgb(0, 128, 192));
    EXPECT_EQ(TrackColor(16), TrackColor(0));
    EXPECT_EQ(TrackColor(32000), TrackColor(0));
    EXPECT_EQ(TrackColor(32767), TrackColor(15));
}

TEST(TrackColor, NegativeIdsCountFromThePaletteEnd) {
    EXPECT_EQ(TrackColor(-1), rgb(0, 128, 192));
    EXPECT_EQ(TrackColor(-16), TrackColor(0));
    EXPECT_EQ(TrackColor(-17), TrackColor(15));
    EXPECT_EQ(TrackColor(-32768), TrackColor(0));
    for (int id = -40; id < 40; ++id)
        EXPECT_EQ(TrackColor(id), TrackColor(id + 16)) << id;
}

TEST(TrackColor, WholePaletteAsColourValues) {
    // Colour values as a picture box takes them: red in bits 0-7, blue in bits 16-23.
    const std::int32_t expected[16] = {0x000000, 0x0000FF, 0xFFFF00, 0x00FFFF, 0x8040C0, 0xFF00FF,
                                       0x40C000, 0x0040C0, 0x000080, 0x008000, 0x800000, 0x008080,
                                       0x808000, 0x800080, 0x00C080, 0xC08000};
    for (int id = 0; id < 16; ++id)
        EXPECT_EQ(TrackColor(id), expected[id]) << id;
}
