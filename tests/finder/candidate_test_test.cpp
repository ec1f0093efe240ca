// The candidate test (outcomes 0 to 3), the shape code and the two blob locators.

#include "finder/blob_location.h"
#include "finder/candidate_test.h"
#include "finder_test_support.h"

namespace {

using finder_test::Frame;

struct Outcome {
    int result = -1;
    int mean = -1, count = -1, xsize = -1, ysize = -1;
    std::uint16_t shape = 0;
};

Outcome check(const Frame& f, long long cx, long long cy, int cp = 0,
              std::ostream* console = nullptr) {
    finder::SirrexState s;
    f.load(s);
    s.arg_cp = cp;
    s.console = console;
    s.verbose = console != nullptr;
    Outcome o;
    o.result = finder::Check_worm(s, 0, cx, cy, o.mean, o.count, o.xsize, o.ysize, o.shape);
    return o;
}

// A 20 x 4 worm of grey 150 on 200, centred on (800, 600).
Frame wormFrame(int w = 20, int h = 4, int gray = 150) {
    Frame f(200);
    f.fill(800 - w / 2, 600 - h / 2, w, h, gray);
    return f;
}

TEST(CheckWormTest, AcceptsAWormAndMeasuresIt) {
    const Outcome o = check(wormFrame(), 800, 600);
    EXPECT_EQ(o.result, finder::WORM_ACCEPTED);
    EXPECT_EQ(o.count, 80);
    EXPECT_EQ(o.xsize, 19);
    EXPECT_EQ(o.ysize, 3);
    EXPECT_EQ(o.mean, 196); // (1145 x 200 + 80 x 150) / 1225 = 196.7
    // Dark box 19 x 3 squared to rows 598-8 .. 601+8: cells 4 wide; the worm lies in the rows
    // of cell row 1 and 2 (598..601 against 590, 594, 598, 602): cell row 2 only.
    EXPECT_EQ(o.shape, 0x00F0);
}

TEST(CheckWormTest, EvenWindowFailsTheThresholdTest) {
    EXPECT_EQ(check(Frame(200), 800, 600).result, finder::WORM_THRESHOLD_OUT);
    // Too strong a contrast: P well above 12.
    EXPECT_EQ(check(wormFrame(20, 4, 40), 800, 600).result, finder::WORM_THRESHOLD_OUT);
}

TEST(CheckWormTest, BlackWindowPassesTheThresholdButHasNoDarkPixel) {
    const Outcome o = check(Frame(0), 800, 600);
    EXPECT_EQ(o.result, finder::WORM_PIXELS_OUT);
    EXPECT_EQ(o.mean, 0);
}

TEST(CheckWormTest, TooFewDarkPixels) {
    // 10 x 2 pixels of 40: P in range, 20 dark pixels below 62.4.
    const Outcome o = check(wormFrame(10, 2, 40), 800, 600);
    EXPECT_EQ(o.result, finder::WORM_PIXELS_OUT);
}

TEST(CheckWormTest, TooLong) {
    // 36 x 2 worm: 35 x 2 dark pixels in the window, length 34.01 above 33.6.
    const Outcome o = check(wormFrame(36, 2, 135), 800, 600);
    EXPECT_EQ(o.count, 70);
    EXPECT_EQ(o.result, finder::WORM_LENGTH_OUT);
}

TEST(CheckWormTest, InvariantShapeModeOnlyReports) {
    // Out of every range, yet accepted.
    const Outcome o = check(wormFrame(10, 2, 40), 800, 600, 28662);
    EXPECT_EQ(o.result, finder::WORM_ACCEPTED);
    EXPECT_EQ(o.count, 20);
    // Exactly four dark pixels: result 1 in every mode.
    Frame four(200);
    four.fill(799, 599, 2, 2, 100);
    EXPECT_EQ(check(four, 800, 600, 28662).result, finder::WORM_PIXELS_OUT);
    // Five dark pixels in a box shorter than 4: accepted, shape code 0 (no cells).
    Frame five(200);
    five.fill(799, 599, 2, 2, 100);
    five.fill(801, 599, 1, 1, 100);
    const Outcome small = check(five, 800, 600, 28662);
    EXPECT_EQ(small.result, finder::WORM_ACCEPTED);
    EXPECT_EQ(small.count, 5);
    EXPECT_EQ(small.xsize, 2);
    EXPECT_EQ(small.shape, 0);
}

TEST(CheckWormTest, VerboseDiagnosticLines) {
    std::ostringstream console;
    check(Frame(200), 800, 600, 0, &console);
    EXPECT_EQ(console.str(), "0 [800-600] umbral=3\n");
    std::ostringstream few;
    check(wormFrame(10, 2, 40), 800, 600, 0, &few);
    EXPECT_EQ(few.str(), "0 [800-600] pix=20\n");
}

TEST(ShapeCodeTest, UniformBoxGivesZero) {
    finder::SirrexState s;
    Frame(77).load(s);
    EXPECT_EQ(finder::shapeCode(s, 100, 119, 100, 119), 0);
}

TEST(ShapeCodeTest, DarkUpperHalf) {
    finder::SirrexState s;
    Frame f(200);
    f.fill(100, 100, 20, 10, 50); // rows 100..109 of 100..119
    f.load(s);
    EXPECT_EQ(finder::shapeCode(s, 100, 119, 100, 119), 0xFF00);
}

TEST(ShapeCodeTest, DarkLeftColumnAndBottomRightCell) {
    finder::SirrexState s;
    Frame f(200);
    f.fill(100, 100, 5, 20, 50); // cell column 0 (cells of 4 from 100; 104 is column 1)
    f.fill(112, 112, 8, 8, 50);  // the bottom-right cell: 8 x 8, it takes the rest
    f.load(s);
    // Cell size 19 / 4 = 4; column 0 fully dark (darkness 100), column 1 one dark column of
    // four (25), average 37.5.
    EXPECT_EQ(finder::shapeCode(s, 100, 119, 100, 119), 0x8889);
}

TEST(ShapeCodeTest, TallBoxIsWidenedAndTheLastCellsTakeTheRest) {
    finder::SirrexState s;
    s.verbose = true;
    std::ostringstream console;
    s.console = &console;
    Frame f(200);
    // dr = 19, dc = 10: cell size 4, columns widened by 4 on each side (dc becomes 18).
    f.fill(104, 100, 11, 20, 60);
    f.load(s);
    const std::uint16_t code = finder::shapeCode(s, 104, 114, 100, 119);
    EXPECT_EQ(console.str().substr(0, console.str().find('\n') + 1),
              "shape : xy[100-118][100-119] sc=4\n");
    // Columns 100..118: cells 100-103 (light), 104-107, 108-111, 112-118 (last cell 7 wide:
    // 112..114 dark, 115..118 light). Rows 100..119: the last cell row 8 rows high.
    // Every row is alike, so each cell column gives one bit in every row.
    const std::uint16_t row = 0b0110;
    EXPECT_EQ(code, row << 12 | row << 8 | row << 4 | row);
}

TEST(ShapeCodeTest, CellSizeZeroGivesZero) {
    finder::SirrexState s;
    Frame f(200);
    f.fill(100, 100, 3, 2, 10);
    f.load(s);
    EXPECT_EQ(finder::shapeCode(s, 100, 102, 100, 101), 0);
}

// --- blob location ---

finder::BlobBounds corners(const Frame& f, long long x, long long y, float v, int r0, int c0) {
    finder::SirrexState s;
    f.load(s);
    finder::BlobBounds b;
    finder::find_corners(s, x, y, v, r0, c0, b.top, b.bottom, b.left, b.right);
    return b;
}

TEST(FindCornersTest, FollowsABlobDownAndRightPastTheBox) {
    Frame f(200);
    f.fill(1000, 500, 60, 60, 10); // dark from the box's (10, 10) on, far past its edge
    // Box (990, 490), bs 35, h 17: down to row 10 + 17, right to column 10 + 16.
    const auto b = corners(f, 990, 490, 100.0f, 10, 10);
    EXPECT_EQ(b.top, 500);
    EXPECT_EQ(b.left, 1000);
    EXPECT_EQ(b.bottom, 490 + 27);
    EXPECT_EQ(b.right, 990 + 26);
}

TEST(FindCornersTest, LeftwardSweepNeverReachesColumnZeroAndUpwardReachesRowZero) {
    Frame f(200);
    f.fill(990, 490, 5, 5, 10);
    const auto b = corners(f, 990, 490, 100.0f, 4, 4);
    EXPECT_EQ(b.left, 991);
    EXPECT_EQ(b.top, 490);
    EXPECT_EQ(b.right, 994);
    EXPECT_EQ(b.bottom, 494);
}

TEST(FindCornersTest, LightGapsInARowDoNotStopTheRowButALightRowEndsTheSweep) {
    Frame f(200);
    f.fill(1010, 510, 1, 1, 10); // the darkest pixel: box (10, 10)
    f.fill(1020, 510, 1, 1, 50); // same row, beyond light columns
    f.fill(1010, 512, 1, 1, 50); // below a light row: not reached
    const auto b = corners(f, 1000, 500, 100.0f, 10, 10);
    EXPECT_EQ(b.right, 1020);
    EXPECT_EQ(b.bottom, 510);
    EXPECT_EQ(b.top, 510);
    EXPECT_EQ(b.left, 1010);
}

int mountain(const Frame& f, long long x, long long y, finder::BlobBounds& b, int bs = 35) {
    finder::SirrexState s;
    s.arg_bs = bs;
    f.load(s);
    return finder::find_corners_bymountain(s, x, y, 0.0f, 1, b.top, b.bottom, b.left, b.right);
}

// Valleys: grey rising by `slope` per step of city-block distance from each centre.
struct Valley {
    int cx, cy, bottom, slope;
};
Frame valleys(const std::vector<Valley>& list) {
    Frame f(200);
    for (int y = 450; y < 600; ++y)
        for (int x = 950; x < 1100; ++x) {
            int value = 200;
            for (const Valley& v : list)
                value =
                    std::min(value, v.bottom + v.slope * (std::abs(x - v.cx) + std::abs(y - v.cy)));
            f.fill(x, y, 1, 1, value);
        }
    return f;
}

TEST(FindCornersByMountainTest, FlatNeighbourhoodFailsAndBlackPasses) {
    finder::BlobBounds b{-1, -1, -1, -1};
    EXPECT_EQ(mountain(Frame(150), 1000, 500, b), -1);
    EXPECT_EQ(b.top, -1); // untouched
    EXPECT_EQ(mountain(Frame(0), 1000, 500, b), 0);
    // The first point: box row and column r = 12 (defaults 17 and 28).
    EXPECT_EQ(b.left, 1000 + 12 - 12);
    EXPECT_EQ(b.right, 1000 + 12 + 12);
    EXPECT_EQ(b.top, 500);
    EXPECT_EQ(b.bottom, 524);
}

TEST(FindCornersByMountainTest, FindsTheValleyNearestTheTopLeftNotTheDeepest) {
    const Valley shallow{1012, 512, 100, 4};
    const Valley deep{1022, 522, 50, 10};
    finder::BlobBounds b;
    ASSERT_EQ(mountain(valleys({shallow, deep}), 1000, 500, b), 0);
    EXPECT_EQ((b.left + b.right) / 2, 1012);
    EXPECT_EQ((b.top + b.bottom) / 2, 512);
    ASSERT_EQ(mountain(valleys({deep}), 1000, 500, b), 0);
    EXPECT_EQ((b.left + b.right) / 2, 1022);
    EXPECT_EQ((b.top + b.bottom) / 2, 522);
    EXPECT_EQ(b.right - b.left, 24);
}

TEST(FindCornersByMountainTest, BoxTooSmallForTheWalkFindsNothing) {
    finder::BlobBounds b;
    EXPECT_EQ(mountain(Frame(0), 1000, 500, b, 24), -1); // bs - 12 is not above 12
    EXPECT_EQ(mountain(Frame(0), 1000, 500, b, 25), 0);
}

} // namespace
