#include "app/training/target_picking.h"

#include <gtest/gtest.h>

using namespace training;

namespace {
PickCircle defaultCircle() {
    return pickCircle("330", "1100", "200", "1000", "35");
}
} // namespace

TEST(PickCircle, DefaultRectangleCentreAndRadius) {
    const PickCircle c = defaultCircle();
    EXPECT_EQ(c.cx, 715);
    EXPECT_EQ(c.cy, 600);
    EXPECT_EQ(c.radius, 392); // 1570 / 4 = 392.5 goes to the even 392
    EXPECT_DOUBLE_EQ(c.halfBox, 17.5);
}

TEST(PickCircle, BoxMustLieInsideThePlate) {
    const PickCircle c = defaultCircle();
    EXPECT_TRUE(insidePickCircle(c, 715, 600));
    EXPECT_TRUE(insidePickCircle(c, 715, 974));  // 374 + 17.5 = 391.5
    EXPECT_FALSE(insidePickCircle(c, 715, 975)); // 375 + 17.5 = 392.5 > 392
    EXPECT_TRUE(insidePickCircle(c, 715, 226));  // symmetric above
    EXPECT_FALSE(insidePickCircle(c, 715, 225));
    EXPECT_TRUE(insidePickCircle(c, 341, 600)); // 374 to the left
    EXPECT_FALSE(insidePickCircle(c, 340, 600));
    EXPECT_FALSE(insidePickCircle(c, 0, 0)); // a click before any pointer event
    // Corner of the rectangle: inside the rectangle but outside its plate circle.
    EXPECT_FALSE(insidePickCircle(c, 360, 230));
}

TEST(PickCircle, LimitPointIsAccepted) {
    // Radius 10 (rectangle 0..20 x 0..20), box 4: distance 8 + 2 = 10 exactly.
    const PickCircle c = pickCircle("0", "20", "0", "20", "4");
    EXPECT_EQ(c.radius, 10);
    EXPECT_TRUE(insidePickCircle(c, 18, 10));
    EXPECT_FALSE(insidePickCircle(c, 19, 10));
}

TEST(PickTrainingTarget, StoresUpToTenPicksInOrder) {
    const PickCircle c = defaultCircle();
    PickList list;
    list.count = 0;
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(pickTrainingTarget(list, 1, c, 600 + 10 * i, 500 + i), PickOutcome::Accepted);
    EXPECT_EQ(list.count, 10);
    EXPECT_EQ(list.x[0], 600);
    EXPECT_EQ(list.y[0], 500);
    EXPECT_EQ(list.x[9], 690);
    EXPECT_EQ(list.y[9], 509);
    // The eleventh click at an accepted position changes nothing.
    const PickList before = list;
    EXPECT_EQ(pickTrainingTarget(list, 1, c, 715, 600), PickOutcome::ListFull);
    EXPECT_EQ(list.count, 10);
    EXPECT_EQ(list.x, before.x);
    EXPECT_EQ(list.y, before.y);
}

TEST(PickTrainingTarget, RefusedClicksLeaveTheListAlone) {
    const PickCircle c = defaultCircle();
    PickList closed; // no pick list
    EXPECT_EQ(pickTrainingTarget(closed, 1, c, 715, 600), PickOutcome::NoPickList);
    EXPECT_EQ(closed.count, -1);

    PickList list;
    list.count = 0;
    EXPECT_EQ(pickTrainingTarget(list, 2, c, 715, 600), PickOutcome::WrongPage);
    EXPECT_EQ(pickTrainingTarget(list, 0, c, 715, 600), PickOutcome::WrongPage);
    EXPECT_EQ(pickTrainingTarget(list, 3, c, 715, 600), PickOutcome::Accepted); // only 2 and <1
    EXPECT_EQ(pickTrainingTarget(list, 1, c, 715, 975), PickOutcome::OutsidePlate);
    EXPECT_EQ(pickTrainingTarget(list, 1, c, 0, 0), PickOutcome::OutsidePlate);
    EXPECT_EQ(list.count, 1);
}

TEST(PickTrainingTarget, NumberTextHasBlankForSign) {
    EXPECT_EQ(pickNumberText(1), " 1");
    EXPECT_EQ(pickNumberText(10), " 10");
}
