#include "app/training/plate_overlay.h"

#include <gtest/gtest.h>

using namespace training;

TEST(PlateOutline, DefaultRectangleBoundaryPoints) {
    const auto rows = plateOutlineRows(330, 1100, 200, 1000);
    ASSERT_EQ(rows.size(), 801u);
    // Middle row: the boundary points are the rectangle's left and right edges.
    EXPECT_EQ(rows[400].y, 600);
    EXPECT_EQ(rows[400].left, 330);
    EXPECT_EQ(rows[400].right, 1100);
    // First and last rows: both points at the centre column 715.
    EXPECT_EQ(rows[0].y, 200);
    EXPECT_EQ(rows[0].left, 715);
    EXPECT_EQ(rows[0].right, 715);
    EXPECT_EQ(rows[800].y, 1000);
    EXPECT_EQ(rows[800].left, 715);
    EXPECT_EQ(rows[800].right, 715);
    // Symmetric about the centre column on every row.
    for (const auto& r : rows)
        EXPECT_EQ(r.left + r.right, 1430) << r.y;
}

TEST(PlateOutline, NoRowsForZeroOrNegativeHeight) {
    EXPECT_TRUE(plateOutlineRows(330, 1100, 500, 500).empty());
    EXPECT_TRUE(plateOutlineRows(330, 1100, 600, 500).empty());
}

TEST(PlateOutline, ExtremeRectangleStaysFinite) {
    const auto rows = plateOutlineRows(-32768, 32767, -32768, 32767);
    ASSERT_EQ(rows.size(), 65536u);
    // cx = -32768 + nearest(32767.5) = 0; the middle row (dy 0.5) has hw 32767.
    EXPECT_EQ(rows[32768].left, -32767);
    EXPECT_EQ(rows[32768].right, 32767);
}

TEST(WholeValue, LeadingNumberRoundedAndHeldTo16Bits) {
    EXPECT_EQ(wholeValue("318.5"), 318);
    EXPECT_EQ(wholeValue("1111.5"), 1112);
    EXPECT_EQ(wholeValue("3 30"), 330);
    EXPECT_EQ(wholeValue("12px"), 12);
    EXPECT_EQ(wholeValue(""), 0);
    EXPECT_EQ(wholeValue("99999"), 32767);
    EXPECT_EQ(wholeValue("-99999"), -32768);
}

TEST(TargetSquare, HalfBoxIsReal) {
    const auto s = targetSquare(500, 400, 35);
    EXPECT_DOUBLE_EQ(s.left, 482.5);
    EXPECT_DOUBLE_EQ(s.top, 382.5);
    EXPECT_DOUBLE_EQ(s.right, 517.5);
    EXPECT_DOUBLE_EQ(s.bottom, 417.5);
}

TEST(Slider, ValueAtLoadIsTheMeanHeldToTheRange) {
    EXPECT_EQ(sliderValueFor({330, 1100, 200, 1000}), 785);
    EXPECT_EQ(sliderValueFor({335, 1170, 215, 1035}), 828); // (835 + 820) / 2 = 827.5 -> 828
    EXPECT_EQ(sliderValueFor({0, 100, 0, 100}), 280);
    EXPECT_EQ(sliderValueFor({0, 1600, 0, 1200}), 1120);
    EXPECT_EQ(sliderValueFor({0, -5000, 0, 0}), 280);
}

TEST(Slider, ResizeAroundCentre) {
    const PlateRect r = resizeAroundCentre({330, 1100, 200, 1000}, 785);
    EXPECT_DOUBLE_EQ(r.x1, 318.5);
    EXPECT_DOUBLE_EQ(r.x2, 1111.5);
    EXPECT_DOUBLE_EQ(r.y1, 211.5);
    EXPECT_DOUBLE_EQ(r.y2, 988.5);
    // The overlay then reads the whole values 318, 1112, 212 and 988.
    EXPECT_EQ(wholeValue("318.5"), 318);
    EXPECT_EQ(wholeValue("211.5"), 212);
    EXPECT_EQ(wholeValue("988.5"), 988);
}

TEST(Nudge, GuardTestedBeforeTheMove) {
    PlateRect r{3, 100, 0, 1200};
    EXPECT_TRUE(nudgeRect(r, Nudge::Left));
    EXPECT_DOUBLE_EQ(r.x1, -2);
    EXPECT_DOUBLE_EQ(r.x2, 95);
    EXPECT_FALSE(nudgeRect(r, Nudge::Left));
    EXPECT_DOUBLE_EQ(r.x1, -2);
    EXPECT_FALSE(nudgeRect(r, Nudge::Up));   // y1 at 0
    EXPECT_FALSE(nudgeRect(r, Nudge::Down)); // y2 at 1200
    PlateRect s{0, 1599.5, 10, 1000};
    EXPECT_TRUE(nudgeRect(s, Nudge::Right));
    EXPECT_DOUBLE_EQ(s.x2, 1604.5);
    EXPECT_TRUE(nudgeRect(s, Nudge::Up));
    EXPECT_DOUBLE_EQ(s.y1, 5);
    EXPECT_DOUBLE_EQ(s.y2, 995);
    EXPECT_TRUE(nudgeRect(s, Nudge::Down));
    EXPECT_DOUBLE_EQ(s.y2, 1000);
}

TEST(PlateSize, LimitsIncluded) {
    EXPECT_TRUE(plateSizeAccepted(10));
    EXPECT_TRUE(plateSizeAccepted(60));
    EXPECT_FALSE(plateSizeAccepted(9.9));
    EXPECT_FALSE(plateSizeAccepted(61));
    EXPECT_FALSE(plateSizeAccepted(0));
}
