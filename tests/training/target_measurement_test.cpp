#include "app/training/target_measurement.h"

#include "formats/training_file.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

using namespace training;

namespace {

// A frame-space picture of one gray level with dark rectangles painted on it.
struct Canvas {
    int width = 1600;
    int height = 1200;
    std::vector<std::uint8_t> pixels;

    explicit Canvas(std::uint8_t level, int w = 1600, int h = 1200)
        : width(w), height(h), pixels(static_cast<std::size_t>(w) * h, level) {}
    void fill(int x0, int y0, int x1, int y1, std::uint8_t level) {
        for (int y = y0; y <= y1; ++y)
            for (int x = x0; x <= x1; ++x)
                pixels[static_cast<std::size_t>(y) * width + x] = level;
    }
    GrayPicture picture() const { return {width, height, pixels}; }
};

struct Picks {
    std::vector<std::int16_t> xs, ys;
    void add(int x, int y) {
        xs.push_back(static_cast<std::int16_t>(x));
        ys.push_back(static_cast<std::int16_t>(y));
    }
};

} // namespace

TEST(DetectAction, DispatchOnTargetCount) {
    EXPECT_EQ(detectAction(-1), DetectAction::Test);
    EXPECT_EQ(detectAction(0), DetectAction::AskForMore);
    EXPECT_EQ(detectAction(4), DetectAction::AskForMore);
    EXPECT_EQ(detectAction(5), DetectAction::Measure);
    EXPECT_EQ(detectAction(10), DetectAction::Measure);
    EXPECT_STREQ(kMoreTargetsMessage, "Please Select more Targets (5 to 10)");
    EXPECT_EQ(measureBoxSide("35"), 36);
    EXPECT_EQ(measureBoxSide("34"), 35);
    EXPECT_EQ(measureBoxSide(" 3 5"), 36); // blanks skipped wherever they stand
}

// A 200-gray box with a dark bar of 50 (3 columns x 20 rows) inside its first 36 rows and
// columns: no gradient, so the flattened values are the grey values.
TEST(MeasurePick, DarkBarGivesCountLengthAndContrast) {
    Canvas canvas(200);
    canvas.fill(399, 290, 401, 309, 50);
    const PickMeasure p = measurePick(canvas.picture(), 400, 300, 36);
    EXPECT_EQ(p.darkCount, 60);
    EXPECT_NEAR(p.mean, 250200.0 / 1296.0, 1e-9);
    EXPECT_NEAR(p.deviation, (1236 * (200 - p.mean) + 60 * (p.mean - 50)) / 1296.0, 1e-9);
    EXPECT_EQ(p.threshold, 153); // nearest(m - 3 s) = nearest(153.32)
    EXPECT_NEAR(p.length, std::sqrt(19.0 * 19.0 + 2.0 * 2.0), 1e-12);
    EXPECT_EQ(p.greyRange, 150);
    EXPECT_FALSE(p.hasBlackLine);
}

TEST(MeasurePick, FlatBoxThresholdIsThreePercentBelowMean) {
    Canvas canvas(200);
    const PickMeasure p = measurePick(canvas.picture(), 400, 300, 36);
    EXPECT_DOUBLE_EQ(p.mean, 200.0);
    EXPECT_DOUBLE_EQ(p.deviation, 0.0);
    EXPECT_EQ(p.threshold, 194); // nearest(0.97 x 200)
    EXPECT_EQ(p.darkCount, 0);
    EXPECT_EQ(p.greyRange, 0);
}

// The brightness gradient across the box is flattened away: a box brightening from left to right
// with no organism has no dark pixel.
TEST(MeasurePick, GradientIsFlattened) {
    Canvas canvas(0);
    for (int y = 0; y < 1200; ++y)
        for (int x = 0; x < 1600; ++x)
            canvas.pixels[static_cast<std::size_t>(y) * 1600 + x] =
                static_cast<std::uint8_t>(100 + (x % 200) / 2);
    const PickMeasure p = measurePick(canvas.picture(), 300, 300, 36);
    EXPECT_EQ(p.darkCount, 0);
}

// A column of the box that is black from top to bottom has no brightest value to scale by: it
// stays black, counts as dark and nothing divides by zero.
TEST(MeasurePick, BlackColumnAndRowStayFinite) {
    Canvas canvas(200);
    canvas.fill(400, 0, 400, 1199, 0); // a black column across the whole picture
    canvas.fill(0, 310, 1599, 310, 0); // and a black row
    const PickMeasure p = measurePick(canvas.picture(), 400, 300, 36);
    EXPECT_TRUE(p.hasBlackLine);
    EXPECT_TRUE(std::isfinite(p.mean));
    EXPECT_TRUE(std::isfinite(p.deviation));
    EXPECT_EQ(p.darkCount, 36 + 36 - 1);
    EXPECT_EQ(p.greyRange, 200);

    // A box that is black throughout: mean 0, no dark pixel, no limit from it.
    Canvas black(0);
    const PickMeasure q = measurePick(black.picture(), 400, 300, 36);
    EXPECT_DOUBLE_EQ(q.mean, 0.0);
    EXPECT_EQ(q.darkCount, 0);
}

// Targets at the picture's edge and corners read 255 beyond it and never outside the buffer.
TEST(MeasurePick, EdgeTargetsReadWhiteBeyondThePicture) {
    Canvas canvas(100, 40, 30); // a small picture: boxes reach beyond every edge
    canvas.fill(0, 0, 2, 2, 20);
    for (auto [x, y] : {std::pair{0, 0}, {39, 29}, {0, 29}, {39, 0}, {-5, -5}, {60, 50}}) {
        const PickMeasure p = measurePick(canvas.picture(), x, y, 36);
        EXPECT_TRUE(std::isfinite(p.mean)) << x << "," << y;
        EXPECT_LE(p.greyRange, 255);
    }
    const GrayPicture picture = canvas.picture();
    EXPECT_EQ(picture.at(-1, 0), 255);
    EXPECT_EQ(picture.at(40, 0), 255);
    EXPECT_EQ(picture.at(0, 30), 255);
    EXPECT_EQ(picture.at(0, 0), 20);
    // An image buffer shorter than its size says reads 255 past its end.
    const std::vector<std::uint8_t> shortBuffer(10, 7);
    const GrayPicture cut{40, 30, shortBuffer};
    EXPECT_EQ(cut.at(9, 0), 7);
    EXPECT_EQ(cut.at(10, 0), 255);
}

// Five picks of dark bars: the limits over them and their box texts.
TEST(MeasureTargets, LimitsOverThePicks) {
    Canvas canvas(200);
    Picks picks;
    // Bars of 6 x 26 and 7 x 26 pixels: lengths sqrt(25² + 5²) = 25.50 and sqrt(25² + 6²) = 25.71.
    canvas.fill(300, 288, 305, 313, 50);
    picks.add(302, 300);
    canvas.fill(500, 288, 506, 313, 50);
    picks.add(503, 300);
    // The 3 x 20 bar of 60 pixels, length 19.1.
    canvas.fill(699, 290, 701, 309, 50);
    picks.add(700, 300);
    // Two flat boxes: no dark pixel, but their grey range 0 lowers the range limit.
    picks.add(900, 300);
    picks.add(1100, 300);

    const MeasurementResult r =
        measureTargets(canvas.picture(), picks.xs, picks.ys, "35", TrainingWindow::Reanalysis);
    ASSERT_TRUE(r.ok) << r.message;
    EXPECT_TRUE(r.message.empty());
    ASSERT_EQ(r.picks.size(), 5u);
    EXPECT_EQ(r.limits.pixMin, 60);
    EXPECT_EQ(r.limits.pixMax, 7 * 26);
    EXPECT_EQ(r.limits.lenMin, 19);
    EXPECT_EQ(r.limits.lenMax, 26);
    EXPECT_EQ(r.limits.rangeMin, 0);
    EXPECT_EQ(r.texts.pixMin, " 60");
    EXPECT_EQ(r.texts.pixMax, " 182");
    EXPECT_EQ(r.texts.lenMin, " 19");
    EXPECT_EQ(r.texts.lenMax, " 26");
    EXPECT_EQ(r.texts.rangeMin, " 0");
    EXPECT_EQ(r.texts.maxTravel, " 52");
    // The contrast of the 3 x 20 bar: 1 - 153 / 193.06 = 20.7 %.
    EXPECT_NEAR(r.limits.contrastMin, 1.0 - 153.0 / (250200.0 / 1296.0), 1e-12);
    EXPECT_EQ(r.texts.contrastMin, "20.7");

    // The acquisition window's largest travel is 1.25 x the longest length.
    const MeasurementResult a =
        measureTargets(canvas.picture(), picks.xs, picks.ys, "35", TrainingWindow::Acquisition);
    ASSERT_TRUE(a.ok);
    EXPECT_EQ(a.texts.maxTravel, " 32.5");
    EXPECT_EQ(a.texts.pixMin, r.texts.pixMin);

    // The same through the pick list.
    PickList list;
    list.count = 5;
    for (std::size_t i = 0; i < 5; ++i) {
        list.x[i] = picks.xs[i];
        list.y[i] = picks.ys[i];
    }
    list.x[5] = 1; // stale entries beyond the count are not read
    const MeasurementResult fromList =
        measureTargets(canvas.picture(), list, "35", TrainingWindow::Reanalysis);
    EXPECT_EQ(fromList.descriptorText, r.descriptorText);
    EXPECT_EQ(fromList.texts.contrastMin, r.texts.contrastMin);
    list.count = -1;
    EXPECT_FALSE(measureTargets(canvas.picture(), list, "35", TrainingWindow::Reanalysis).ok);

    // Twice on the same picture: the same limits and the same descriptor.
    const MeasurementResult again =
        measureTargets(canvas.picture(), picks.xs, picks.ys, "35", TrainingWindow::Reanalysis);
    EXPECT_EQ(again.descriptorText, r.descriptorText);
    EXPECT_EQ(again.texts.contrastMax, r.texts.contrastMax);

    // The marks: five red boxes and numbers, and the dark pixels of the bars in red.
    ASSERT_EQ(r.marks.size(), 5u);
    EXPECT_DOUBLE_EQ(r.marks[0].left, 302 - 17.5);
    EXPECT_DOUBLE_EQ(r.marks[0].bottom, 300 + 17.5);
    EXPECT_DOUBLE_EQ(r.marks[0].textX, 302 - 35);
    EXPECT_DOUBLE_EQ(r.marks[0].textY, 300 - 35);
    EXPECT_EQ(r.marks[0].text, " 1");
    EXPECT_EQ(r.marks[4].text, " 5");
    EXPECT_EQ(r.darkPoints.size(), 6u * 26 + 7 * 26 + 60);
}

TEST(MeasureTargets, LimitTextsGoUnderTheirKeys) {
    TargetLimits lim;
    lim.pixMin = 26;
    lim.pixMax = 76;
    lim.contrastMin = 0.068;
    lim.contrastMax = 0.095;
    lim.lenMin = 16;
    lim.lenMax = 25;
    lim.rangeMin = 10;
    formats::TrainingFile training = formats::TrainingFile::defaults();
    applyLimitTexts(limitTexts(lim, TrainingWindow::Acquisition), training);
    const std::vector<std::string> lines = training.lines();
    ASSERT_EQ(lines.size(), 18u);
    EXPECT_EQ(lines[5], "pl  26");
    EXPECT_EQ(lines[6], "ph  76");
    EXPECT_EQ(lines[8], "tl 6.8");
    EXPECT_EQ(lines[9], "th 9.5");
    EXPECT_EQ(lines[11], "ll  16");
    EXPECT_EQ(lines[12], "lh  25");
    EXPECT_EQ(lines[14], "al  10");
    EXPECT_EQ(lines[16], "mt  31.25");
    EXPECT_EQ(lines[0], "xs 335"); // the rest as it was
    EXPECT_EQ(limitTexts(lim, TrainingWindow::Reanalysis).maxTravel, " 50");
    // The start values, as they would be written when nothing entered the limits.
    const LimitTexts start = limitTexts(TargetLimits{}, TrainingWindow::Reanalysis);
    EXPECT_EQ(start.pixMin, " 9999");
    EXPECT_EQ(start.contrastMin, "999900.0");
    EXPECT_EQ(start.contrastMax, "0.0");
}

// An APPLY in which no pick shows anything darker than its threshold says so and gives nothing
// to save, instead of a training with a minimum of 9999 dark pixels that finds nothing.
TEST(MeasureTargets, NothingMeasurableGivesAMessageAndNoLimits) {
    Canvas canvas(180);
    Picks picks;
    for (int i = 0; i < 5; ++i)
        picks.add(400 + 100 * i, 600);
    const MeasurementResult r =
        measureTargets(canvas.picture(), picks.xs, picks.ys, "35", TrainingWindow::Acquisition);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.message, kNothingMeasuredMessage);
    EXPECT_TRUE(r.descriptorText.empty());
    EXPECT_TRUE(r.texts.pixMin.empty());
    EXPECT_TRUE(r.marks.empty());
}

TEST(MeasureTargets, BoxSizeWithoutMeasuringBoxIsRefused) {
    Canvas canvas(180);
    Picks picks;
    for (int i = 0; i < 5; ++i)
        picks.add(400 + 100 * i, 600);
    for (const char* size : {"-1", "-0.6", "1601", "30000"}) {
        const MeasurementResult r =
            measureTargets(canvas.picture(), picks.xs, picks.ys, size, TrainingWindow::Reanalysis);
        EXPECT_FALSE(r.ok) << size;
        EXPECT_EQ(r.message, kBadBoxSizeMessage) << size;
    }
}

// Targets at the picture's edges and a target crossed by black lines measure without reading
// outside the picture (checked by the sanitizer builds) and give finite limits.
TEST(MeasureTargets, EdgeAndBlackLineTargetsGiveFiniteLimits) {
    Canvas canvas(200);
    canvas.fill(0, 0, 5, 20, 40);
    canvas.fill(1594, 1180, 1599, 1199, 40);
    canvas.fill(800, 0, 800, 1199, 0);
    canvas.fill(0, 600, 1599, 600, 0);
    Picks picks;
    picks.add(0, 0);
    picks.add(1599, 1199);
    picks.add(0, 1199);
    picks.add(1599, 0);
    picks.add(800, 600);
    const MeasurementResult r =
        measureTargets(canvas.picture(), picks.xs, picks.ys, "35", TrainingWindow::Acquisition);
    ASSERT_TRUE(r.ok) << r.message;
    EXPECT_TRUE(r.picks[4].hasBlackLine);
    EXPECT_TRUE(std::isfinite(r.limits.contrastMin));
    EXPECT_TRUE(std::isfinite(r.limits.contrastMax));
    EXPECT_LE(r.limits.contrastMax, 1.0);
    for (const MarkPoint& p : r.darkPoints) {
        EXPECT_GE(p.x, 0);
        EXPECT_GE(p.y, 0);
        EXPECT_LT(p.x, 1600);
        EXPECT_LT(p.y, 1200);
    }
}

// A black line through a picked box leaves its flattening undefined: the pick is skipped and
// named, and the limits are those of the other picks.
TEST(MeasureTargets, APickCrossedByABlackLineIsSkippedAndNamed) {
    Canvas canvas(200);
    Picks picks;
    for (int i = 0; i < 5; ++i) {
        const int x = 300 + 150 * i;
        canvas.fill(x - 1, 290, x + 1, 309, 50); // the 3 x 20 bar
        picks.add(x, 300);
    }
    const MeasurementResult plain =
        measureTargets(canvas.picture(), picks.xs, picks.ys, "35", TrainingWindow::Reanalysis);
    ASSERT_TRUE(plain.ok);
    EXPECT_EQ(plain.skippedNote, "");
    // A sixth bar, its box crossed by a black row.
    canvas.fill(1049, 590, 1051, 609, 50);
    canvas.fill(1000, 612, 1100, 612, 0);
    picks.add(1050, 600);
    const MeasurementResult r =
        measureTargets(canvas.picture(), picks.xs, picks.ys, "35", TrainingWindow::Reanalysis);
    ASSERT_TRUE(r.ok) << r.message;
    EXPECT_TRUE(r.picks[5].hasBlackLine);
    EXPECT_EQ(r.skippedNote,
              "Target 6 was not measured: its box holds a completely black row or column");
    EXPECT_EQ(r.texts.pixMax, plain.texts.pixMax);
    EXPECT_EQ(r.texts.lenMax, plain.texts.lenMax);
    EXPECT_EQ(r.texts.maxTravel, plain.texts.maxTravel);
    EXPECT_EQ(r.texts.rangeMin, plain.texts.rangeMin);
    EXPECT_EQ(r.texts.contrastMax, plain.texts.contrastMax);
    EXPECT_EQ(r.darkPoints.size(), plain.darkPoints.size());
    EXPECT_EQ(r.marks.size(), 6u);
    // Two such picks are named together.
    canvas.fill(420, 305, 480, 305, 0);
    const MeasurementResult two =
        measureTargets(canvas.picture(), picks.xs, picks.ys, "35", TrainingWindow::Reanalysis);
    EXPECT_EQ(two.skippedNote,
              "Targets 2, 6 were not measured: their boxes hold a completely black row or column");
}

TEST(DescriptorFile, ExactLines) {
    Canvas canvas(0, 20, 20);
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 20; ++x)
            canvas.pixels[static_cast<std::size_t>(y) * 20 + x] =
                static_cast<std::uint8_t>(10 * x + y);
    Picks picks;
    picks.add(10, 5); // box 2: columns 9 to 11, rows 4 to 6
    picks.add(19, 0); // reaches beyond the right and top edges: 255 there
    const std::string text = descriptorFileText(canvas.picture(), picks.xs, picks.ys, 2);
    EXPECT_EQ(text, "Block[0]\r\n"
                    " 94 95 96\r\n"
                    " 104 105 106\r\n"
                    " 114 115 116\r\n"
                    "\r\n\r\n"
                    "Block[1]\r\n"
                    " 255 180 181\r\n"
                    " 255 190 191\r\n"
                    " 255 255 255\r\n"
                    "\r\n\r\n");
    EXPECT_STREQ(descriptorFileName(TrainingWindow::Acquisition), "descriptor.txt");
    EXPECT_STREQ(descriptorFileName(TrainingWindow::Reanalysis), "descriptor.dat");
}

// With box 35 the halves go to the even neighbour: 37 columns of 37 values for X = Y = 100,
// 35 of 35 for X = Y = 101.
TEST(DescriptorFile, OddBoxColumnsFollowEvenRounding) {
    Canvas canvas(128);
    Picks picks;
    picks.add(100, 100);
    picks.add(101, 101);
    const std::string text = descriptorFileText(canvas.picture(), picks.xs, picks.ys, 35);
    std::vector<std::string> lines;
    std::size_t at = 0;
    while (at < text.size()) {
        const std::size_t end = text.find("\r\n", at);
        ASSERT_NE(end, std::string::npos);
        lines.push_back(text.substr(at, end - at));
        at = end + 2;
    }
    ASSERT_EQ(lines.size(), 1u + 37 + 2 + 1 + 35 + 2);
    EXPECT_EQ(lines[0], "Block[0]");
    EXPECT_EQ(lines[1].size(), 37u * 4);
    EXPECT_EQ(lines[38], "");
    EXPECT_EQ(lines[39], "");
    EXPECT_EQ(lines[40], "Block[1]");
    EXPECT_EQ(lines[41].size(), 35u * 4);
    EXPECT_EQ(lines.back(), "");
}

TEST(LastTrainingCaption, DateInBrackets) {
    EXPECT_EQ(lastTrainingCaption(2026, 12, 9), "[ 2026-12-09 ]");
    EXPECT_EQ(lastTrainingCaption(2027, 1, 31), "[ 2027-01-31 ]");
}
