#include "app/results/live_labels.h"

#include <gtest/gtest.h>

using namespace results;

TEST(CountedSpeedHistogram, BinCountFromTheNumberOfCountedTrails) {
    // 44 and 45 trails give 4 bins (4.5 rounds to even), 55 give 6, 95 give 10.
    for (auto [trails, bins] : {std::pair{44, 4}, {45, 4}, {55, 6}, {95, 10}, {0, 4}, {400, 10}}) {
        std::vector<double> speeds(static_cast<std::size_t>(trails));
        for (int i = 0; i < trails; ++i)
            speeds[static_cast<std::size_t>(i)] = 0.7 * (i + 0.5) / trails;
        const SpeedHistogram h = countedSpeedHistogram(speeds);
        EXPECT_EQ(h.nb, bins) << trails;
        ASSERT_EQ(h.bins.size(), static_cast<std::size_t>(bins + 1));
        int total = 0;
        for (int c : h.bins)
            total += c;
        EXPECT_EQ(total + h.still, trails) << trails; // every speed below 0.7 lies in a bin
    }
    // 95 trails at evenly spread speeds: about 9.5 per bin of width 0.06615; the top speed
    // starts the last bin.
    std::vector<double> speeds;
    for (int i = 0; i < 95; ++i)
        speeds.push_back(0.0035 + 0.007 * i); // 0.0035 .. 0.6615
    const SpeedHistogram h = countedSpeedHistogram(speeds);
    EXPECT_DOUBLE_EQ(h.width, 0.6615 / 10);
    EXPECT_EQ(h.bins, (std::vector<int>{9, 10, 9, 10, 9, 10, 9, 10, 9, 9, 1}));
    EXPECT_EQ(h.still, 0);
    EXPECT_EQ(h.cmax, 10);
    EXPECT_EQ(h.binLabels.front(), "0.00");
    EXPECT_EQ(h.binLabels.back(), "0.66");
}

TEST(CountedSpeedHistogram, AllStillAndCutAtSevenTenths) {
    const SpeedHistogram still = countedSpeedHistogram({0.0, -1.0, 0.0});
    EXPECT_EQ(still.still, 3);
    EXPECT_EQ(still.bins, (std::vector<int>{0, 0, 0, 0, 0}));
    EXPECT_EQ(still.cmax, 10);
    EXPECT_EQ(still.yLab, 2);
    for (const std::string& l : still.binLabels)
        EXPECT_EQ(l, "0.00");
    // Ten bins of 0.07: 0.9 lies at or beyond 0.77 and counts nowhere.
    std::vector<double> speeds(95, 0.1);
    speeds[0] = 0.9;
    const SpeedHistogram cut = countedSpeedHistogram(speeds);
    EXPECT_DOUBLE_EQ(cut.width, 0.07);
    EXPECT_EQ(cut.bins[1], 94);
    int total = 0;
    for (int c : cut.bins)
        total += c;
    EXPECT_EQ(total, 94);
}

TEST(LiveLabels, ChartHoldsTheSpeedsOfTheCountedTracksWhateverTheirIds) {
    // Tracks 0 to 2 never reached 10 steps; tracks 5 and 6 did.
    LiveTrackerState s;
    s.reset(20, 20);
    s.tracks.resize(8);
    s.trackCount = 8;
    s.reader.blockNumber = 20;
    s.matchedCount = 2;
    for (int id : {0, 1, 2}) {
        s.tracks[static_cast<std::size_t>(id)].motion.frameCount = 3;
        s.tracks[static_cast<std::size_t>(id)].motion.speedMm = 0.6;
    }
    for (int id : {5, 6}) {
        s.tracks[static_cast<std::size_t>(id)].motion.frameCount = 40;
        s.tracks[static_cast<std::size_t>(id)].motion.travelMm = 4.0;
        s.tracks[static_cast<std::size_t>(id)].motion.speedMm = 0.1;
    }
    const LiveLabels l = updateLiveLabels(s);
    ASSERT_TRUE(l.histogram.has_value());
    EXPECT_EQ(l.counted, 2);
    EXPECT_EQ(l.histogram->still, 0);
    EXPECT_DOUBLE_EQ(l.histogram->width, 0.025); // top 0.1, not 0.6 of the uncounted tracks
    EXPECT_EQ(l.histogram->bins, (std::vector<int>{0, 0, 0, 0, 2}));
}
