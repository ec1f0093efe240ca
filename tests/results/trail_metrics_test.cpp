#include "app/results/trail_metrics.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <string>

using namespace results;

namespace {

MotionInput row(int frame, int x, int y, int lost = 0, int shape = 0) {
    MotionInput in;
    in.frame = frame;
    in.x = x;
    in.y = y;
    in.lostCount = lost;
    in.shape = shape;
    return in;
}

// A trail in the middle of a block: counted rows, midpoint and anchor at (100, 100).
TrailState movingState() {
    TrailState s;
    s.midX = 100;
    s.midY = 100;
    s.anchorX = 100;
    s.anchorY = 100;
    s.offset = 10.0;
    s.trend = 1.0;
    s.frameCount = 5;
    return s;
}

std::string trailsFile(const std::string& rows) {
    return "FRAME;ID;X;Y;LOST_COUNT;#PIX;X_SIZE;Y_SIZE;SHAPE\r\n" + rows;
}

std::string rowText(int frame, int id, int x, int y, int lost = 0, int shape = 0) {
    return std::to_string(frame) + ";" + std::to_string(id) + ";" + std::to_string(x) + ";" +
           std::to_string(y) + ";" + std::to_string(lost) + ";50;8;6;" + std::to_string(shape) +
           "\r\n";
}

} // namespace

TEST(CountBits16, CountsOnlyTheLow16Bits) {
    EXPECT_EQ(CountBits16(0), 0);
    EXPECT_EQ(CountBits16(0xFFFF), 16);
    EXPECT_EQ(CountBits16(0x10000), 0);
    EXPECT_EQ(CountBits16(0x0F0F), 8);
    EXPECT_EQ(CountBits16(-1), 16);
}

TEST(MotionRule, FirstRowStartsTheTrailWithoutCounting) {
    TrailState s;
    EXPECT_EQ(applyMotionRule(s, row(3, 100, 80, 0, 7), 10, 10), 0.0);
    EXPECT_EQ(s.midX, 100);
    EXPECT_EQ(s.midY, 80);
    EXPECT_EQ(s.refShape, 7);
    EXPECT_EQ(s.frameCount, 0);
}

TEST(MotionRule, RowsOfFrameZeroNeverCount) {
    TrailState s;
    applyMotionRule(s, row(0, 100, 100), 10, 10);
    applyMotionRule(s, row(0, 300, 100), 10, 10);
    EXPECT_EQ(s.frameCount, 0);
    EXPECT_EQ(s.travelMm, 0.0);
    EXPECT_EQ(s.midX, 200);
}

TEST(MotionRule, NewTrailFirstCountedRowIsStillAndSetsTheAnchor) {
    TrailState s;
    applyMotionRule(s, row(0, 100, 100), 10, 10);
    EXPECT_EQ(applyMotionRule(s, row(1, 120, 100), 10, 10), 0.0);
    EXPECT_EQ(s.frameCount, 1);
    EXPECT_EQ(s.anchorX, 120);
    EXPECT_EQ(s.anchorY, 100);
    EXPECT_DOUBLE_EQ(s.offset, 4.0);
    EXPECT_EQ(s.midX, 110);
    // The next row moves: the midpoint's own displacement, 15 px at 10 px/mm.
    EXPECT_DOUBLE_EQ(applyMotionRule(s, row(2, 140, 100), 10, 10), 1.5);
    EXPECT_EQ(s.frameCount, 2);
    EXPECT_DOUBLE_EQ(s.speedMm, 0.75);
    EXPECT_DOUBLE_EQ(s.net, 1.0);
    EXPECT_DOUBLE_EQ(s.trend, 0.2);
    EXPECT_EQ(s.midX, 125);
}

TEST(MotionRule, MidpointRoundsHalvesToEven) {
    TrailState s;
    s.midX = 125;
    s.midY = 101;
    applyMotionRule(s, row(0, 160, 100), 10, 10);
    EXPECT_EQ(s.midX, 142); // 142.5
    EXPECT_EQ(s.midY, 100); // 100.5
}

TEST(MotionRule, StepFromAnchorDecidesStillness) {
    TrailState near = movingState();
    EXPECT_EQ(applyMotionRule(near, row(5, 107, 105), 10, 10), 0.0); // 8.60 px: still
    EXPECT_EQ(near.frameCount, 6);
    TrailState far = movingState();
    EXPECT_GT(applyMotionRule(far, row(5, 106, 107), 10, 10), 0.0); // 9.22 px: moves
    TrailState exact = movingState();
    EXPECT_EQ(applyMotionRule(exact, row(5, 100, 108), 10, 10), 0.0); // 8 px: still
}

TEST(MotionRule, TrendAndOffsetThresholdsIncludeEquality) {
    TrailState s = movingState();
    s.trend = 0.05;
    s.offset = 3.5;
    EXPECT_EQ(applyMotionRule(s, row(5, 140, 100), 10, 10), 0.0);
    TrailState t = movingState();
    t.trend = 0.0500001;
    t.offset = 3.5;
    EXPECT_DOUBLE_EQ(applyMotionRule(t, row(5, 140, 100), 10, 10), 2.0);
    TrailState o = movingState();
    o.trend = 0.05;
    o.offset = 3.5001;
    EXPECT_DOUBLE_EQ(applyMotionRule(o, row(5, 140, 100), 10, 10), 2.0);
}

TEST(MotionRule, AxesScaleSeparately) {
    TrailState s = movingState();
    // Midpoint moves by (30, 40) px: 3 mm along x at 10 px/mm, 2 mm along y at 20 px/mm.
    EXPECT_DOUBLE_EQ(applyMotionRule(s, row(5, 160, 180), 10, 20), std::sqrt(13.0));
}

TEST(MotionRule, ZeroPixelsPerMmGivesNoInfinity) {
    TrailState s = movingState();
    const double moved = applyMotionRule(s, row(5, 160, 180), 0.0, 20);
    EXPECT_TRUE(std::isfinite(moved));
    EXPECT_DOUBLE_EQ(moved, 2.0);
    EXPECT_TRUE(std::isfinite(s.travelMm));
    TrailState n = movingState();
    EXPECT_DOUBLE_EQ(applyMotionRule(n, row(5, 160, 180), 0.0, -1.0), 40.0);
}

TEST(MotionRule, NegativePixelsPerMmMeasureLikeTheirSize) {
    // A rectangle typed with its corners swapped gives negative factors: same distances.
    TrailState a = movingState();
    TrailState b = movingState();
    EXPECT_DOUBLE_EQ(applyMotionRule(a, row(5, 160, 180), -10, -20), std::sqrt(13.0));
    EXPECT_DOUBLE_EQ(applyMotionRule(b, row(5, 160, 180), 10, -20), std::sqrt(13.0));
    EXPECT_DOUBLE_EQ(a.travelMm, b.travelMm);
}

TEST(MotionRule, RotationCountsAgainstTheStartShape) {
    TrailState s;
    applyMotionRule(s, row(0, 100, 100, 0, 0xF0F0), 10, 10);
    applyMotionRule(s, row(1, 100, 100, 0, 0x0F0F), 10, 10);
    EXPECT_EQ(s.rotationBits, 16);
    applyMotionRule(s, row(2, 100, 100, 0, 0xF0F1), 10, 10);
    EXPECT_EQ(s.rotationBits, 17);
    EXPECT_EQ(s.refShape, 0xF0F0);
    TrailState z; // shape 0 at the start: nothing counted
    applyMotionRule(z, row(0, 100, 100, 0, 0), 10, 10);
    applyMotionRule(z, row(1, 100, 100, 0, 0xFFFF), 10, 10);
    EXPECT_EQ(z.rotationBits, 0);
}

TEST(MotionRule, LostCountTenRestartsWithoutAddingRowsOrDistance) {
    TrailState s = movingState();
    s.refShape = 5;
    applyMotionRule(s, row(5, 100, 100, 9), 10, 10);
    EXPECT_NE(s.midX, 0);
    applyMotionRule(s, row(6, 100, 100, 10), 10, 10);
    EXPECT_EQ(s.midX, 0);
    EXPECT_EQ(s.midY, 0);
    EXPECT_EQ(s.refShape, 0);
    const int counted = s.frameCount;
    EXPECT_EQ(applyMotionRule(s, row(7, 400, 400), 10, 10), 0.0);
    EXPECT_EQ(s.frameCount, counted);
    EXPECT_EQ(s.midX, 400);
    EXPECT_EQ(s.anchorX, 100); // the anchor is kept
}

TEST(MotionRule, LiveVariantSetsTheAnchorOnceAndIgnoresFrameAndShape) {
    TrailState s;
    s.midX = 100;
    s.midY = 100;
    MotionInput in = row(0, 130, 100, 12, 0xFFFF);
    EXPECT_EQ(applyMotionRule(s, in, 10, 10, MotionVariant::Live), 0.0); // first step: still
    EXPECT_EQ(s.anchorX, 130);
    EXPECT_EQ(s.frameCount, 1);
    EXPECT_EQ(s.rotationBits, 0);
    EXPECT_EQ(s.midX, 115); // no restart although the lost count is 12
    applyMotionRule(s, row(0, 200, 100), 10, 10, MotionVariant::Live);
    EXPECT_EQ(s.anchorX, 130); // never set again
    EXPECT_EQ(s.frameCount, 2);
    EXPECT_GT(s.net, 0.0);
}

TEST(TrailAnalysis, ListingOfAMovingTrailIsExact) {
    std::string rows;
    for (int f = 0; f <= 11; ++f)
        rows += rowText(f, 0, 100 + 20 * f, 100);
    TrailAnalysisParams p;
    p.blockMinutes = 1;
    p.pxPerMmX = 10;
    p.pxPerMmY = 10;
    const TrailAnalysisResult r = analyzeTrailsText(trailsFile(rows), p);
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.particleTrails, "Particle trails:\r\n"
                                "#block0\r\n"
                                "#id;distance;#frames;speed;rotation\r\n"
                                "0;19.1;11;1.736;0\r\n");
    ASSERT_EQ(r.blocks.size(), 1u);
    EXPECT_EQ(r.blocks[0].particles, 1);
    EXPECT_NEAR(r.blocks[0].avgSpeed, 19.1 / 11, 1e-12);
    EXPECT_NEAR(r.blocks[0].distancePerParticle, 19.1, 1e-12);
    EXPECT_EQ(r.blocks[0].stillFraction, 0.0);
    EXPECT_EQ(r.blocks[0].rotationIndex, 0.0);
}

namespace {
// Stationary trails: 3 from frame 0 (20 counted rows), 1 from frame 5 (15), 2 from frame 10
// (10) and 4 from frame 11 (9, not listed).
std::string fourTrails() {
    std::string rows;
    for (int f = 0; f <= 20; ++f) {
        if (f >= 5)
            rows += rowText(f, 1, 300, 300);
        if (f >= 10)
            rows += rowText(f, 2, 400, 300);
        rows += rowText(f, 3, 500, 500);
        if (f >= 11)
            rows += rowText(f, 4, 600, 300);
    }
    return trailsFile(rows);
}
} // namespace

TEST(TrailAnalysis, NumberingMinusOneListsByFallingRowCount) {
    TrailAnalysisParams p;
    p.blockMinutes = 1;
    p.separator = ",";
    p.pxPerMmX = p.pxPerMmY = 10;
    p.trailNumbering = -1;
    const TrailAnalysisResult r = analyzeTrailsText(fourTrails(), p);
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.particleTrails,
              "Particle trails:\r\n#block0\r\n#id,distance,#frames,speed,rotation\r\n"
              "0,0,20,0,0\r\n1,0,15,0,0\r\n2,0,10,0,0\r\n");
    EXPECT_EQ(r.blocks[0].stillFraction, 1.0);
    EXPECT_EQ(r.maxId, 4);
}

TEST(TrailAnalysis, OtherNumberingListsByTrailId) {
    TrailAnalysisParams p;
    p.blockMinutes = 1;
    p.pxPerMmX = p.pxPerMmY = 10;
    p.trailNumbering = 0;
    const TrailAnalysisResult r = analyzeTrailsText(fourTrails(), p);
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.particleTrails,
              "Particle trails:\r\n#block0\r\n#id;distance;#frames;speed;rotation\r\n"
              "1;0;15;0;0\r\n2;0;10;0;0\r\n3;0;20;0;0\r\n");
}

TEST(TrailAnalysis, BlockEndClosesTheBlockAndRestartsTrails) {
    std::string rows;
    for (int f = 0; f <= 75; ++f)
        rows += rowText(f, 0, 100, 100);
    TrailAnalysisParams p;
    p.blockMinutes = 1;
    p.pxPerMmX = p.pxPerMmY = 10;
    const TrailAnalysisResult r = analyzeTrailsText(trailsFile(rows), p);
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.particleTrails, "Particle trails:\r\n"
                                "#block0\r\n#id;distance;#frames;speed;rotation\r\n0;0;60;0;0\r\n"
                                "#block1\r\n#id;distance;#frames;speed;rotation\r\n0;0;14;0;0\r\n");
    ASSERT_EQ(r.blocks.size(), 2u);
    EXPECT_EQ(r.blocks[1].particles, 1);
}

TEST(TrailAnalysis, LastBlockTenFramesPastItsStartIsNotClosed) {
    std::string rows;
    for (int f = 0; f <= 71; ++f)
        rows += rowText(f, 0, 100, 100);
    TrailAnalysisParams p;
    p.blockMinutes = 1;
    p.pxPerMmX = p.pxPerMmY = 10;
    const TrailAnalysisResult r = analyzeTrailsText(trailsFile(rows), p);
    ASSERT_TRUE(r.ok) << r.error;
    // Block 1 opened at frame 61 and ends at 71: not more than 10 frames past its start.
    EXPECT_EQ(r.particleTrails.find("#block1"), std::string::npos);
    EXPECT_EQ(r.blocks.size(), 2u);
}

TEST(TrailAnalysis, FreshDetectionsOfFramesZeroAndOneAreAveragedAtFrameTwo) {
    // Frame 0: 4 fresh, frame 1: 5 fresh -> 9 / 2 + 0.25 = 4.75 -> 5.
    std::string rows;
    for (int i = 0; i < 4; ++i)
        rows += rowText(0, i, 100 + 50 * i, 100);
    for (int i = 0; i < 5; ++i)
        rows += rowText(1, i, 100 + 50 * i, 100);
    rows += rowText(2, 1, 150, 100, 1); // a lost row: not fresh
    TrailAnalysisParams p;
    p.pxPerMmX = p.pxPerMmY = 10;
    TrailAnalysisResult r = analyzeTrailsText(trailsFile(rows), p);
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.blocks[0].particles, 5);
    // 9 fresh over frames 0 to 3: 9 / 4 + 0.25 = 2.5 -> 2 (halves to even).
    rows += rowText(4, 0, 100, 100);
    r = analyzeTrailsText(trailsFile(rows), p);
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.blocks[0].particles, 2);
}

TEST(TrailAnalysis, HeaderOnlyGivesOneEmptyBlock) {
    TrailAnalysisParams p;
    const TrailAnalysisResult r = analyzeTrailsText(trailsFile(""), p);
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.particleTrails, "Particle trails:\r\n");
    ASSERT_EQ(r.blocks.size(), 1u);
    EXPECT_EQ(r.blocks[0].particles, 0);
}

TEST(TrailAnalysis, BlockCountGrowsBeyondOneHundred) {
    std::string rows;
    for (int f = 0; f <= 150 * 60; f += 30)
        rows += rowText(f, 0, 100, 100);
    TrailAnalysisParams p;
    p.blockMinutes = 1;
    const TrailAnalysisResult r = analyzeTrailsText(trailsFile(rows), p);
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.blocks.size(), 150u);
}

TEST(TrailAnalysis, HostileAndTornFiles) {
    TrailAnalysisParams p;
    EXPECT_FALSE(analyzeTrailsText(trailsFile(rowText(1, 32001, 5, 5)), p).ok);
    EXPECT_FALSE(analyzeTrailsText(trailsFile(rowText(1, -1, 5, 5)), p).ok);
    const TrailAnalysisResult big = analyzeTrailsText(trailsFile("9e12;0;1;1;0;0;0;0;0\r\n"), p);
    EXPECT_FALSE(big.ok);
    EXPECT_EQ(big.error, "worm_trails.csv line 2: FRAME value out of range");
    const TrailAnalysisResult order =
        analyzeTrailsText(trailsFile(rowText(5, 0, 5, 5) + rowText(4, 0, 5, 5)), p);
    EXPECT_FALSE(order.ok);
    EXPECT_EQ(order.error, "worm_trails.csv line 3: frames out of order (4 after 5)");
    const TrailAnalysisResult ids = analyzeTrailsText(trailsFile(rowText(1, 32001, 5, 5)), p);
    EXPECT_EQ(ids.error, "worm_trails.csv line 2: trail id 32001 outside 0 to 32000");

    // Texts without numbers count as 0, blank lines are passed over, LF-only lines are read,
    // and a last line without its line end is torn and left out.
    const TrailAnalysisResult lenient =
        analyzeTrailsText("FRAME;ID\nabc;x;;;\n\n1;7;5;5;0;0;0;0;0\n2;9;5;5;0", p);
    ASSERT_TRUE(lenient.ok) << lenient.error;
    EXPECT_EQ(lenient.maxId, 7);
    // A last line with all nine fields but no line end (a hand-edited file) is a row.
    const TrailAnalysisResult edited =
        analyzeTrailsText("FRAME;ID\n1;7;5;5;0;0;0;0;0\n2;9;5;5;0;0;0;0;3855", p);
    ASSERT_TRUE(edited.ok) << edited.error;
    EXPECT_EQ(edited.maxId, 9);
    const TrailAnalysisResult edited2 =
        analyzeTrailsText("FRAME;ID\n1;7;5;5;0;0;0;0;0\n2;32001;5;5;0;0;0;0;0", p);
    EXPECT_EQ(edited2.error, "worm_trails.csv line 3: trail id 32001 outside 0 to 32000");
    // Eight fields, or a ninth field not begun yet: still being written.
    EXPECT_EQ(analyzeTrailsText("FRAME;ID\n1;7;5;5;0;0;0;0;0\n2;9;5;5;0;0;0;0", p).maxId, 7);
    EXPECT_EQ(analyzeTrailsText("FRAME;ID\n1;7;5;5;0;0;0;0;0\n2;9;5;5;0;0;0;0;", p).maxId, 7);
    // Nothing but a torn header.
    EXPECT_TRUE(analyzeTrailsText("FRAME;ID;X", p).ok);
    EXPECT_TRUE(analyzeTrailsText("", p).ok);
}

TEST(TrailAnalysis, ParseTrailRowReadsShapeFromTheNinthField) {
    TrailRow r;
    std::string error;
    ASSERT_TRUE(parseTrailRow("12;3;100.5;99.5;0;80;12;9;3855", r, error));
    EXPECT_EQ(r.frame, 12);
    EXPECT_EQ(r.id, 3);
    EXPECT_EQ(r.x, 100); // halves to even
    EXPECT_EQ(r.y, 100);
    EXPECT_EQ(r.shape, 3855);
    ASSERT_TRUE(parseTrailRow("1;2;3", r, error));
    EXPECT_EQ(r.shape, 0);
}

TEST(TrailNumbers, ListingAndReportRoundTheSameValueAlike) {
    // 0.525 is stored a little above 0.525: both texts round it up. Exact binary halves go to
    // the even neighbour in both.
    EXPECT_EQ(formatRounded(0.525, 2), "0.53");
    EXPECT_EQ(formatFixed(0.525, 2), "0.53");
    EXPECT_EQ(formatRounded(0.375, 2), "0.38");
    EXPECT_EQ(formatRounded(2.5, 0), "2");
    EXPECT_EQ(formatRounded(3.5, 0), "4");
    EXPECT_EQ(formatRounded(-0.001, 2), "0");
    EXPECT_EQ(formatRounded(1e300, 2).size(), 301u);
    // The listing's shortest form is the report's fixed form without its trailing zeros.
    for (int i = 0; i <= 200000; ++i) {
        for (int decimals : {2, 3}) {
            const double v = i / (decimals == 2 ? 1000.0 : 10000.0);
            std::string fixed = formatFixed(v, decimals);
            fixed.erase(fixed.find_last_not_of('0') + 1);
            if (fixed.back() == '.')
                fixed.pop_back();
            ASSERT_EQ(formatRounded(v, decimals), fixed) << v << " " << decimals;
        }
    }
}

TEST(TrailNumbers, RoundedAndFixedTexts) {
    EXPECT_EQ(formatRounded(0.125, 2), "0.12");
    EXPECT_EQ(formatRounded(2.0, 3), "2");
    EXPECT_EQ(formatRounded(1.7363636, 3), "1.736");
    EXPECT_EQ(formatFixed(35, 1), "35.0");
    EXPECT_EQ(formatFixed(0.0004, 3), "0.000");
    EXPECT_EQ(formatFixed(-0.0001, 2), "0.00");
    EXPECT_EQ(formatFixed(1.0 / 3, 2), "0.33");
    // The point stays a point under a locale with a decimal comma (a windowed program runs
    // under the user's locale).
    const std::string saved = std::setlocale(LC_NUMERIC, nullptr);
    for (const char* comma : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8"}) {
        if (std::setlocale(LC_NUMERIC, comma)) {
            EXPECT_EQ(formatFixed(2.5, 2), "2.50") << comma;
            EXPECT_EQ(formatFixed(-1.25, 1), "-1.2") << comma;
        }
    }
    std::setlocale(LC_NUMERIC, saved.c_str());
    EXPECT_EQ(formatFixed(123456.789, 2), "123456.79");
    EXPECT_EQ(formatFixed(1e300, 0).size(), 301u);
}
