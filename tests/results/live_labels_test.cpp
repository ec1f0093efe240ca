#include "app/results/live_labels.h"

#include <gtest/gtest.h>

using namespace results;

namespace {

LiveTrackerState withTracks(int count) {
    LiveTrackerState s;
    s.reset(20, 20);
    s.tracks.resize(static_cast<std::size_t>(count));
    s.trackCount = count;
    return s;
}

} // namespace

TEST(LiveLabels, ParticleCountIsTheRunningMeanPlusAFifth) {
    LiveTrackerState s = withTracks(7);
    s.reader.blockNumber = 3;
    s.matchedCount = 6;
    LiveLabels l = updateLiveLabels(s);
    EXPECT_EQ(l.particleText, "6");
    EXPECT_FALSE(l.distanceText.has_value()); // no track has 10 counted steps yet
    EXPECT_FALSE(l.speedText.has_value());
    EXPECT_FALSE(l.histogram.has_value());

    // Mean 2.5 shows 3; mean 1.3 shows 2 (1.5 rounds to the even 2).
    LiveTrackerState a = withTracks(3);
    a.matchedCount = 2;
    updateLiveLabels(a);
    a.matchedCount = 3;
    EXPECT_EQ(updateLiveLabels(a).particleText, "3");
    LiveTrackerState b = withTracks(3);
    for (int m : {1, 1, 2, 1, 1, 1, 2, 1, 2, 1}) { // sum 13 over 10
        b.matchedCount = m;
        l = updateLiveLabels(b);
    }
    EXPECT_EQ(l.particleText, "2");
}

TEST(LiveLabels, DistanceSpeedAndChartFromTracksWithTenSteps) {
    LiveTrackerState s = withTracks(4);
    s.reader.blockNumber = 20;
    s.matchedCount = 2;
    s.tracks[0].motion.frameCount = 10;
    s.tracks[0].motion.travelMm = 3.0;
    s.tracks[0].motion.speedMm = 0.3;
    s.tracks[1].motion.frameCount = 20;
    s.tracks[1].motion.travelMm = 2.0;
    s.tracks[1].motion.speedMm = 0.1;
    s.tracks[2].motion.frameCount = 9; // not counted
    s.tracks[2].motion.travelMm = 50.0;
    const LiveLabels l = updateLiveLabels(s);
    EXPECT_EQ(l.particleText, "2");
    EXPECT_EQ(l.counted, 2);
    EXPECT_EQ(l.distanceText, "2.5"); // (3 + 2) / 2
    EXPECT_EQ(l.speedText, "0.20");   // (0.3 + 0.1) / 2
    ASSERT_TRUE(l.histogram.has_value());
    EXPECT_EQ(l.histogram->nb, 4);
}

TEST(LiveLabels, HistogramBins) {
    // Bin counts from n: 45 -> 4, 55 -> 6, 150 -> 10, 3 -> 4.
    LiveTrackerState s = withTracks(200);
    EXPECT_EQ(speedHistogram(s, 45).nb, 4);
    EXPECT_EQ(speedHistogram(s, 55).nb, 6);
    EXPECT_EQ(speedHistogram(s, 150).nb, 10);
    EXPECT_EQ(speedHistogram(s, 3).nb, 4);

    // Top 1.2 is cut to 0.7; nb 4 gives width 0.175: 0.75 in bin 4, 0.9 in no bin.
    LiveTrackerState t = withTracks(6);
    t.tracks[0].motion.speedMm = 1.2;
    t.tracks[1].motion.speedMm = 0.75;
    t.tracks[2].motion.speedMm = 0.9;
    t.tracks[3].motion.speedMm = 0.1;
    t.tracks[4].motion.speedMm = 0.0;
    t.tracks[5].motion.speedMm = 0.175;
    const SpeedHistogram h = speedHistogram(t, 5);
    EXPECT_DOUBLE_EQ(h.width, 0.175);
    EXPECT_EQ(h.bins, (std::vector<int>{1, 1, 0, 0, 1}));
    EXPECT_EQ(h.still, 1);
    EXPECT_EQ(h.cmax, 10);
    EXPECT_EQ(h.yLab, 2); // 10 + 1 + 2 vertical extent
    EXPECT_EQ(h.xLab, 1);
    ASSERT_EQ(h.binLabels.size(), 5u);
    EXPECT_EQ(h.binLabels[0], "0.00");
    EXPECT_EQ(h.binLabels[2], "0.35");
    EXPECT_EQ(h.binLabels[4], "0.70");

    // n beyond the track table counts the missing ids as still.
    LiveTrackerState few = withTracks(2);
    EXPECT_EQ(speedHistogram(few, 5).still, 6);
}
