// The activity measure on frames built by hand, with the exact counts and values it must give.

#include "app/microbeam/block_activity.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace microbeam;

namespace {

constexpr int kWidth = 200;
constexpr int kHeight = 150;
constexpr int kPixels = kWidth * kHeight;

FramePixels uniform(int gray, int size = kPixels) {
    return FramePixels(static_cast<std::size_t>(size), static_cast<std::uint8_t>(gray));
}

// Sets pixel p (counted from 1).
void setPixel(FramePixels& frame, int p, int gray) {
    frame[static_cast<std::size_t>(p) - 1] = static_cast<std::uint8_t>(gray);
}

// Ten frames of one gray level, alternating by one level so that every step changes a little.
FrameRing quietRing(int base = 100) {
    FrameRing ring;
    for (int k = 0; k < kRingSlots; ++k)
        ring.frames[k] = uniform(base + k % 2);
    return ring;
}

ActivityMask filledMask(std::int16_t value) {
    ActivityMask mask;
    mask.fill(value);
    return mask;
}

// Fills column k of every pixel from `gray(p, k)`.
template <typename F> PixelTable tableOf(F gray) {
    PixelTable table;
    for (int p = 0; p < kTableRows; ++p)
        for (int k = 0; k < kRingSlots; ++k)
            table.set(p, k, static_cast<std::int16_t>(gray(p, k)));
    return table;
}

} // namespace

// Every pixel brightens by 10 at every step, so every position in range counts all nine steps.
TEST(CountChannelEvents, CountsOnlyInsideTheLagBounds) {
    const PixelTable table = tableOf([](int, int k) { return 100 + 10 * k; });
    EXPECT_EQ(CountChannelEvents(table, 200, 200), 0);
    EXPECT_EQ(CountChannelEvents(table, 201, 200), 9);
    EXPECT_EQ(CountChannelEvents(table, 27447, 200), 9);
    EXPECT_EQ(CountChannelEvents(table, 27448, 200), 0);
    EXPECT_EQ(CountChannelEvents(table, 160, 160), 0);
    EXPECT_EQ(CountChannelEvents(table, 161, 160), 9);
    EXPECT_EQ(CountChannelEvents(table, 27487, 160), 9);
    EXPECT_EQ(CountChannelEvents(table, 27488, 160), 0);
    EXPECT_EQ(CountChannelEvents(table, 0, 200), 0);
    EXPECT_EQ(CountChannelEvents(table, -5, 200), 0);
    // A lag that would reach past the table counts nothing instead of reading outside it.
    EXPECT_EQ(CountChannelEvents(table, 27640, -100), 0);
}

// Pixel 1000 and its left neighbour change between frames 0 and 1 only.
TEST(CountChannelEvents, ThresholdIsStrictOnEachChangeAndTheLocalLevel) {
    auto withStep = [](int base, int step) {
        return tableOf([=](int p, int k) {
            if (p == 1000 || p == 999)
                return k == 0 ? base : base + step;
            return 0;
        });
    };
    EXPECT_EQ(CountChannelEvents(withStep(10, 4), 1000, 200), 0);
    EXPECT_EQ(CountChannelEvents(withStep(10, 5), 1000, 200), 1);
    EXPECT_EQ(CountChannelEvents(withStep(10, -4), 1000, 200), 0);
    EXPECT_EQ(CountChannelEvents(withStep(10, -5), 1000, 200), 1);
    // At a bright local level 5 is not above 4 % of it: (205 + 3 x 102.5) / 4 x 0.04 = 5.125.
    EXPECT_EQ(CountChannelEvents(withStep(200, 5), 1000, 200), 0);
    EXPECT_EQ(CountChannelEvents(withStep(200, 6), 1000, 200), 1);
}

TEST(CountChannelEvents, OppositeDirectionsNeverCountOneNeighbourWithItIsEnough) {
    const int p = 5000;
    const int q = p - 200;
    auto table = [&](bool upRightWith) {
        return tableOf([&](int x, int k) {
            if (x == p)
                return k % 2 == 0 ? 50 : 60; // +10, -10, +10, ...
            if (x == p - 1 || x == q || x == q - 1 || (x == q + 1 && !upRightWith))
                return k % 2 == 0 ? 50 : 40; // the other way
            if (x == q + 1)
                return k % 2 == 0 ? 50 : 60;
            return 0;
        });
    };
    EXPECT_EQ(CountChannelEvents(table(false), p, 200), 0);
    EXPECT_EQ(CountChannelEvents(table(true), p, 200), 9);
}

TEST(CountChannelEvents, FrameColumnTenIsNotRead) {
    PixelTable table = tableOf([](int, int) { return 100; });
    for (int p = 0; p < kTableRows; ++p)
        table.set(p, 10, 200);
    EXPECT_EQ(CountChannelEvents(table, 1000, 200), 0);
}

TEST(OrderByChange, EqualChangesGoToTheHigherSlotFirst) {
    const std::array<double, kRingSlots> change{1, 1, 3, 2, 2, 0, 0, 3, 1, 0};
    const std::array<int, kRingSlots> expected{7, 2, 4, 3, 8, 1, 0, 9, 6, 5};
    EXPECT_EQ(orderByChange(change), expected);
    const std::array<double, kRingSlots> zeros{};
    const std::array<int, kRingSlots> reversed{9, 8, 7, 6, 5, 4, 3, 2, 1, 0};
    EXPECT_EQ(orderByChange(zeros), reversed);
}

TEST(BlockActivity, IdenticalFramesGiveNothingAndClearTheMask) {
    FrameRing ring;
    for (auto& frame : ring.frames)
        frame = uniform(100);
    ActivityMask mask = filledMask(7);
    const BlockResult result = BlockActivity(ring, mask, kWidth);
    EXPECT_FALSE(result.failed);
    EXPECT_EQ(result.activity, 0);
    EXPECT_EQ(result.total, 0);
    for (int p = 1; p <= kLastPixel; ++p)
        ASSERT_EQ(mask[p], 0) << "pixel " << p;
    // Entries outside 1 to 27647 are not the measure's.
    EXPECT_EQ(mask[0], 7);
    EXPECT_EQ(mask[27648], 7);
    EXPECT_EQ(mask[27649], 7);
}

TEST(BlockActivity, AFlashFrameAndTheFrameAfterItAreReplacedByTheirNeighbours) {
    {
        FrameRing ring = quietRing();
        ring.frames[4] = uniform(200);
        const FrameRing before = ring;
        ActivityMask mask{};
        const BlockResult result = BlockActivity(ring, mask, kWidth);
        EXPECT_FALSE(result.failed);
        EXPECT_EQ(result.activity, 0);
        EXPECT_EQ(ring.frames[4], before.frames[3]);
        EXPECT_EQ(ring.frames[5], before.frames[6]);
        for (int k : {0, 1, 2, 3, 6, 7, 8, 9})
            EXPECT_EQ(ring.frames[k], before.frames[k]) << "slot " << k;
    }
    {
        FrameRing ring = quietRing();
        ring.frames[9] = uniform(200);
        const FrameRing before = ring;
        ActivityMask mask{};
        BlockActivity(ring, mask, kWidth);
        EXPECT_EQ(ring.frames[9], before.frames[8]);
        for (int k = 0; k < 9; ++k)
            EXPECT_EQ(ring.frames[k], before.frames[k]) << "slot " << k;
    }
    {
        FrameRing ring = quietRing();
        ring.frames[0] = uniform(200);
        const FrameRing before = ring;
        ActivityMask mask{};
        BlockActivity(ring, mask, kWidth);
        EXPECT_EQ(ring.frames[0], before.frames[2]);
        EXPECT_EQ(ring.frames[1], before.frames[2]);
        for (int k = 2; k < kRingSlots; ++k)
            EXPECT_EQ(ring.frames[k], before.frames[k]) << "slot " << k;
    }
}

TEST(BlockActivity, WithAZeroMedianEveryChangedFrameIsAnOutlier) {
    FrameRing ring;
    for (auto& frame : ring.frames)
        frame = uniform(100);
    ring.frames[6] = uniform(101);
    const FrameRing before = ring;
    ActivityMask mask{};
    EXPECT_FALSE(BlockActivity(ring, mask, kWidth).failed);
    EXPECT_EQ(ring.frames[6], before.frames[5]); // slot 6 took slot 5
    EXPECT_EQ(ring.frames[7], before.frames[8]); // slot 7 (measured against 6) took slot 8
}

TEST(BlockActivity, ABadSlotFallsBackToTheOtherNeighbourOrStays) {
    {
        // Slots 2 and 3 jump; slot 3 cannot take slot 2, so it takes slot 4.
        FrameRing ring = quietRing();
        ring.frames[2] = uniform(150);
        for (int k = 3; k < kRingSlots; ++k)
            ring.frames[k] = uniform(200 + k % 2);
        const FrameRing before = ring;
        ActivityMask mask{};
        BlockActivity(ring, mask, kWidth);
        EXPECT_EQ(ring.frames[2], before.frames[1]);
        EXPECT_EQ(ring.frames[3], before.frames[4]);
    }
    {
        // Slots 2, 3 and 4 jump; slot 3 has no good neighbour and stays as it was.
        FrameRing ring = quietRing();
        ring.frames[2] = uniform(150);
        ring.frames[3] = uniform(200);
        for (int k = 4; k < kRingSlots; ++k)
            ring.frames[k] = uniform(250 - k % 2);
        const FrameRing before = ring;
        ActivityMask mask{};
        BlockActivity(ring, mask, kWidth);
        EXPECT_EQ(ring.frames[2], before.frames[1]);
        EXPECT_EQ(ring.frames[3], before.frames[3]);
        EXPECT_EQ(ring.frames[4], before.frames[5]);
    }
}

TEST(BlockActivity, AnEmptySlotBeforeAFilledOneFailsAndTouchesNothing) {
    FrameRing ring = quietRing();
    ring.frames[3].clear();
    ring.frames[7] = uniform(250); // an outlier that a successful call would replace
    const FrameRing before = ring;
    ActivityMask mask = filledMask(3);
    const BlockResult result = BlockActivity(ring, mask, kWidth);
    EXPECT_TRUE(result.failed);
    EXPECT_EQ(result.activity, 0);
    EXPECT_FALSE(result.reason.empty());
    EXPECT_EQ(mask, filledMask(3));
    for (int k = 0; k < kRingSlots; ++k)
        EXPECT_EQ(ring.frames[k], before.frames[k]) << "slot " << k;
}

TEST(BlockActivity, AFrameLongerThanTheOneBeforeFails) {
    FrameRing ring = quietRing();
    ring.frames[4] = uniform(100, 1000);
    ActivityMask mask = filledMask(2);
    EXPECT_TRUE(BlockActivity(ring, mask, kWidth).failed);
    EXPECT_EQ(mask, filledMask(2));
    // Shorter frames after longer ones are fine, and length past 27647 does not matter.
    FrameRing shorter = quietRing();
    shorter.frames[4] = uniform(100, 28000);
    shorter.frames[5] = uniform(101, 27647);
    shorter.frames[6] = uniform(100, 1000);
    for (int k = 7; k < kRingSlots; ++k)
        shorter.frames[k] = uniform(100 + k % 2, 1000);
    EXPECT_FALSE(BlockActivity(shorter, mask, kWidth).failed);
}

TEST(BlockActivity, NoReferenceLevelFails) {
    FrameRing empty;
    ActivityMask mask = filledMask(4);
    BlockResult result = BlockActivity(empty, mask, kWidth);
    EXPECT_TRUE(result.failed);
    EXPECT_EQ(result.activity, 0);
    EXPECT_EQ(mask, filledMask(4));

    FrameRing black;
    for (auto& frame : black.frames)
        frame = uniform(0);
    result = BlockActivity(black, mask, kWidth);
    EXPECT_TRUE(result.failed);
    EXPECT_EQ(mask, filledMask(4));
}

namespace {

// A quiet ring with pixel pair (999, 1000) flickering by 10 at every step (9 events at 1000)
// and pair (4999, 5000) ramping up by 10 for `rampSteps` steps (one event each).
FrameRing countedRing(int rampSteps, int flickerBase = 100) {
    FrameRing ring;
    for (int k = 0; k < kRingSlots; ++k) {
        FramePixels frame = uniform(100);
        const int flicker = flickerBase + (k % 2) * 10;
        setPixel(frame, 999, flicker);
        setPixel(frame, 1000, flicker);
        const int ramp = 100 + 10 * std::min(k, rampSteps);
        setPixel(frame, 4999, ramp);
        setPixel(frame, 5000, ramp);
        ring.frames[k] = frame;
    }
    return ring;
}

} // namespace

TEST(BlockActivity, ReturnsTheRoundedSquareRootOfTheCountTotal) {
    struct Case {
        int rampSteps;
        std::int32_t total;
        std::int32_t activity;
    };
    for (const Case c : {Case{1, 10, 3}, Case{3, 12, 3}, Case{4, 13, 4}}) {
        FrameRing ring = countedRing(c.rampSteps);
        ActivityMask mask{};
        const BlockResult result = BlockActivity(ring, mask, kWidth);
        EXPECT_FALSE(result.failed);
        EXPECT_EQ(result.total, c.total) << c.rampSteps;
        EXPECT_EQ(result.activity, c.activity) << c.rampSteps;
        EXPECT_EQ(mask[1000], 9);
        EXPECT_EQ(mask[999], 0);
        EXPECT_EQ(mask[5000], c.rampSteps);
        EXPECT_EQ(mask[1001], 0);
        EXPECT_EQ(mask[1200], 0);
    }
}

TEST(BlockActivity, DarkPixelsAreNotTested) {
    // The flicker pair at 20/30: its mean 25 is not above half the reference level (about 50).
    FrameRing ring = countedRing(0, 20);
    ActivityMask mask = filledMask(5);
    const BlockResult result = BlockActivity(ring, mask, kWidth);
    EXPECT_FALSE(result.failed);
    EXPECT_EQ(mask[1000], 0);
    EXPECT_EQ(result.total, 0);
}

TEST(BlockActivity, TheLeftNeighbourOfARowStartIsTheEndOfTheRowAbove) {
    FrameRing ring;
    for (int k = 0; k < kRingSlots; ++k) {
        FramePixels frame = uniform(100);
        setPixel(frame, 400, 100 + (k % 2) * 10); // last pixel of row 2
        setPixel(frame, 401, 100 + (k % 2) * 10); // first pixel of row 3
        ring.frames[k] = frame;
    }
    ActivityMask mask{};
    EXPECT_EQ(BlockActivity(ring, mask, kWidth).total, 9);
    EXPECT_EQ(mask[401], 9);
}

TEST(BlockActivity, MicroFramesUseTheirOwnLag) {
    // 160 x 120 frames: pixel 400 has pixel 240 (400 - 160) as its upper neighbour.
    FrameRing ring;
    for (int k = 0; k < kRingSlots; ++k) {
        FramePixels frame = uniform(100, 160 * 120);
        setPixel(frame, 240, 100 + (k % 2) * 10);
        setPixel(frame, 400, 100 + (k % 2) * 10);
        ring.frames[k] = frame;
    }
    ActivityMask mask{};
    EXPECT_EQ(BlockActivity(ring, mask, 160).total, 9);
    EXPECT_EQ(mask[400], 9);
    ActivityMask other{};
    EXPECT_EQ(BlockActivity(ring, other, 200).total, 0);
}
