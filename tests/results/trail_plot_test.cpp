#include "app/results/trail_plot.h"

#include "app/results/track_color.h"
#include "temp_folder.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace results;
using namespace results_test;

namespace {

const char kHeader[] = "FRAME;ID;X;Y;LOST_COUNT;#PIX;X_SIZE;Y_SIZE;SHAPE\r\n";

std::string row(long frame, int id, int x, int y) {
    return std::to_string(frame) + ";" + std::to_string(id) + ";" + std::to_string(x) + ";" +
           std::to_string(y) + ";0;50;8;6;0\r\n";
}

PlotStroke line(int frame, int id, int x1, int y1, int x2, int y2) {
    return {frame, id, x1, y1, x2, y2, TrackColor(id), false};
}

PlotStroke dot(int frame, int id, int x, int y) {
    return {frame, id, x, y, x + 1, y + 1, TrackColor(id), true};
}

std::vector<PlotStroke> list(std::span<const PlotStroke> s) {
    return {s.begin(), s.end()};
}

} // namespace

TEST(TrailPlot, DotWhereATrailBeginsAndLinesBetweenNeighbouringFrames) {
    // Trail 7 in frames 3 and 4; trail 2 in frames 0, 1, then again in 3 after a gap.
    const std::string text = std::string(kHeader) + row(0, 2, 10, 10) + row(1, 2, 12, 11) +
                             row(3, 7, 100, 50) + row(3, 2, 20, 20) + row(4, 7, 104, 52);
    const TrailPlot plot = buildTrailPlot(text, false);
    ASSERT_TRUE(plot.ok) << plot.message;
    EXPECT_EQ(plot.maxFrame, 4);
    EXPECT_EQ(plot.maxId, 7);
    EXPECT_TRUE(plot.strokesUpTo(0).empty()); // frame 0 draws nothing of its own
    EXPECT_EQ(list(plot.strokesOfFrame(1)), (std::vector<PlotStroke>{line(1, 2, 10, 10, 12, 11)}));
    EXPECT_TRUE(plot.strokesOfFrame(2).empty());
    // At frame 3 only the dot of trail 7; trail 2 begins again with a dot.
    EXPECT_EQ(list(plot.strokesOfFrame(3)),
              (std::vector<PlotStroke>{dot(3, 2, 20, 20), dot(3, 7, 100, 50)}));
    EXPECT_EQ(list(plot.strokesUpTo(4)),
              (std::vector<PlotStroke>{line(1, 2, 10, 10, 12, 11), dot(3, 2, 20, 20),
                                       dot(3, 7, 100, 50), line(4, 7, 100, 50, 104, 52)}));
    EXPECT_EQ(plot.strokesUpTo(4).size(), plot.strokesUpTo(99).size());
}

TEST(TrailPlot, IdPrintedFromItsTenthStepAtTheEndOfItsFirstStep) {
    std::string text = kHeader;
    for (int f = 5; f <= 15; ++f) // 10 steps: frames 6 .. 15
        text += row(f, 33, 100 + f, 200);
    for (int f = 5; f <= 13; ++f) // 8 steps only
        text += row(f, 4, 300 + f, 200);
    const TrailPlot plot = buildTrailPlot(text, false);
    ASSERT_TRUE(plot.ok) << plot.message;
    EXPECT_TRUE(plot.labelsAt(14).empty());
    const std::vector<PlotLabel> at15 = plot.labelsAt(15);
    EXPECT_EQ(at15, (std::vector<PlotLabel>{{33, 106, 200, TrackColor(33), "33"}}));
}

TEST(TrailPlot, SingleAnimalTakesTheLastRowOfEachFrame) {
    const std::string text = std::string(kHeader) + row(1, 0, 10, 10) + row(1, 5, 50, 50) +
                             row(2, 9, 60, 60) + row(2, 3, 70, 70);
    const TrailPlot plot = buildTrailPlot(text, true);
    ASSERT_TRUE(plot.ok);
    EXPECT_EQ(plot.maxId, 0);
    EXPECT_EQ(list(plot.strokesUpTo(2)),
              (std::vector<PlotStroke>{dot(1, 0, 50, 50), line(2, 0, 50, 50, 70, 70)}));
}

TEST(TrailPlot, TablesSizedFromTheFile) {
    // Trail ids up to 32000 and frame numbers of a day-long run are drawn, not refused.
    const std::string text = std::string(kHeader) + row(86399, 32000, 1, 2) +
                             row(86400, 32000, 3, 4) + row(600, 999, 5, 5);
    const TrailPlot plot = buildTrailPlot(text, false);
    ASSERT_TRUE(plot.ok) << plot.message;
    EXPECT_EQ(plot.maxFrame, 86400);
    EXPECT_EQ(plot.maxId, 32000);
    EXPECT_EQ(list(plot.strokesOfFrame(86400)),
              (std::vector<PlotStroke>{line(86400, 32000, 1, 2, 3, 4)}));
    EXPECT_EQ(plot.strokesUpTo(86400).size(), 3u);
    // A row that cannot be read ends the plot with a message naming its line.
    const TrailPlot bad =
        buildTrailPlot(std::string(kHeader) + row(1, 1, 1, 1) + row(2, 32001, 1, 1), false);
    EXPECT_FALSE(bad.ok);
    EXPECT_NE(bad.message.find("line 3"), std::string::npos) << bad.message;
    EXPECT_FALSE(buildTrailPlot(std::string(kHeader) + row(-1, 1, 1, 1), false).ok);
}

TEST(TrailPlot, FramesWithoutTheirImageAreSkippedWhole) {
    TempFolder acq;
    std::filesystem::create_directories(acq.file("img"));
    for (int f : {0, 1, 3})
        writeFile(acq.file("img/c192_168_4_1f" + std::to_string(f) + ".jpg"), "");
    writeFile(acq.file("img/c192_168_4_1f2m.jpg"), ""); // frame 2 marked bad
    writeFile(acq.file("worm_trails.csv"),
              std::string(kHeader) + row(1, 1, 1, 1) + row(2, 1, 2, 2) + row(3, 1, 3, 3));
    const TrailPlot plot = loadTrailPlot(acq.path(), false);
    ASSERT_TRUE(plot.ok) << plot.message;
    PlotOptions o{acq.path(), "192.168.4.1", false, true};
    EXPECT_FALSE(plotFrame(plot, 2, o).drawn);
    const PlotFrame f3 = plotFrame(plot, 3, o);
    EXPECT_TRUE(f3.drawn);
    EXPECT_TRUE(f3.showImage);
    EXPECT_EQ(f3.imagePath, acq.file("img/c192_168_4_1f3.jpg"));
    EXPECT_EQ(f3.strokes.size(), 3u); // frames 1 to 3 again
    o.whiteBackground = true;
    EXPECT_FALSE(plotFrame(plot, 3, o).showImage);

    // Only the header: frame 0 is shown without a trail.
    writeFile(acq.file("worm_trails.csv"), kHeader);
    const TrailPlot empty = loadTrailPlot(acq.path(), false);
    ASSERT_TRUE(empty.ok);
    EXPECT_EQ(empty.maxFrame, 0);
    const PlotFrame f0 = plotFrame(empty, 0, {acq.path(), "192.168.4.1", false, true});
    EXPECT_TRUE(f0.drawn);
    EXPECT_TRUE(f0.strokes.empty());

    std::filesystem::remove(acq.file("worm_trails.csv"));
    const TrailPlot missing = loadTrailPlot(acq.path(), false);
    EXPECT_TRUE(missing.missing);
    EXPECT_EQ(missing.message, "Track File not found!. Please Reprocess images");
}

TEST(TrailPlot, FrameBeyondTheTimeMarksOfARunIsNamedNotAllocated) {
    const TrailPlot far = buildTrailPlot(std::string(kHeader) + row(2000000000, 1, 1, 1), false);
    EXPECT_FALSE(far.ok);
    EXPECT_EQ(far.message, "worm_trails.csv: frame 2000000000 outside 0 to 8388607");
    const TrailPlot last =
        buildTrailPlot(std::string(kHeader) + row(8388606, 1, 1, 1) + row(8388607, 1, 2, 2), false);
    ASSERT_TRUE(last.ok) << last.message;
    EXPECT_EQ(last.strokesOfFrame(8388607).size(), 1u);
    EXPECT_EQ(last.strokesUpTo(INT32_MAX).size(), 2u);
    // The plot steps over the frames that have rows (and frame 0), not every frame number.
    EXPECT_EQ(last.frames, (std::vector<std::int32_t>{0, 8388606, 8388607}));
    const TrailPlot gaps = buildTrailPlot(
        std::string(kHeader) + row(3, 1, 1, 1) + row(0, 2, 1, 1) + row(3, 2, 1, 1) +
            row(8388607, 1, 2, 2),
        false);
    EXPECT_EQ(gaps.frames, (std::vector<std::int32_t>{0, 3, 8388607}));
}
