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
