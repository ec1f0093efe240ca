#include "app/results/live_tracker.h"

#include <gtest/gtest.h>

#include <sstream>

using namespace results;

namespace {

LiveDetection det(int x, int y, int shape = 0) {
    LiveDetection d;
    d.x = x;
    d.y = y;
    d.pixels = 40;
    d.xSize = 12;
    d.ySize = 5;
    d.shape = shape;
    return d;
}

// Reads one block the way the run does: the reader advances the block number first.
LiveBlockResult feed(LiveTrackerState& s, int timeMark, const std::vector<LiveDetection>& dets,
                     double maxTravel = 30) {
    s.advanceBlock();
    return trackLiveBlock(s, timeMark, dets, maxTravel, 100, 50, [](LiveTrackerState&) {});
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::size_t start = 0;
    while (start < text.size()) {
        const auto end = text.find("\r\n", start);
        out.push_back(text.substr(start, end - start));
        start = end + 2;
    }
    return out;
}

} // namespace

TEST(LiveTracker, FirstBlockOpensOneTrackPerEntryAndWritesFrameZero) {
    LiveTrackerState s;
    s.reset(20, 20);
    // Two kept detections and the reader's trailing zero entry.
    const LiveBlockResult r = feed(s, 1, {det(500, 400, 3855), det(700, 600), LiveDetection{}});
    EXPECT_TRUE(r.firstBlock);
    EXPECT_EQ(s.trackCount, 3);
    EXPECT_EQ(s.lastTimeMark, 1);
    EXPECT_EQ(r.rows, "FRAME;ID;X;Y;LOST_COUNT;#PIX;X_SIZE;Y_SIZE;SHAPE\r\n"
                      "0;0;500;400;0;40;12;5;3855\r\n"
                      "0;1;700;600;0;40;12;5;0\r\n");
    EXPECT_TRUE(r.trailMap.empty());
    EXPECT_TRUE(r.recentPath.empty());
    EXPECT_FALSE(r.labelsDue);
    EXPECT_EQ(s.tracks[0].motion.midX, 0);
}

TEST(LiveTracker, LaterBlocksAreNumberedFromThreeAndNewTracksTakeTheNextIds) {
    LiveTrackerState s;
    s.reset(20, 20);
    feed(s, 1, {det(500, 400), det(700, 600)});
    LiveBlockResult r = feed(s, 2, {det(503, 401), det(900, 900), det(702, 600)});
    EXPECT_EQ(r.frame, 3);
    EXPECT_EQ(s.trackCount, 3);
    EXPECT_EQ(s.matchedCount, 2);
    EXPECT_EQ(lines(r.rows),
              (std::vector<std::string>{"3;0;503;401;0;40;12;5;0", "3;1;702;600;0;40;12;5;0",
                                        "3;2;900;900;0;40;12;5;0"}));
    EXPECT_EQ(s.tracks[2].motion.midX, 900);
    r = feed(s, 3, {det(504, 402)});
    EXPECT_EQ(r.frame, 4);
    EXPECT_EQ(lines(r.rows),
              (std::vector<std::string>{"4;0;504;402;0;40;12;5;0", "4;1;702;600;1;40;12;5;0",
                                        "4;2;900;900;1;40;12;5;0"}));
}

TEST(LiveTracker, ContestedDetectionGoesToTheNearestAndTiesToTheLowerId) {
    LiveTrackerState s;
    s.reset(20, 20);
    feed(s, 1, {det(100, 100), det(120, 100), det(300, 300), det(311, 300)});
    // Detection at 110: equal distance 10 from tracks 0 and 1. Detection at 305: 5 from track 2,
    // 6 from track 3.
    LiveBlockResult r = feed(s, 2, {det(110, 100), det(305, 300)});
    EXPECT_EQ(s.tracks[0].lostCount, 0);
    EXPECT_EQ(s.tracks[1].lostCount, 1);
    EXPECT_EQ(s.tracks[1].last.x, 120); // written again at its old position
    EXPECT_EQ(s.tracks[2].lostCount, 0);
    EXPECT_EQ(s.tracks[3].lostCount, 1);
    EXPECT_EQ(s.trackCount, 4);
    EXPECT_EQ(s.matchedCount, 2);
    EXPECT_NE(r.rows.find("3;1;120;100;1;"), std::string::npos);
}

TEST(LiveTracker, NearTieKeepsTheEarlierDetectionBelowTheRoundedBest) {
    // A track 5.4 px from detection 0 and 5.2 px from detection 1 keeps detection 0.
    std::int32_t best = 0;
    const std::vector<LiveDetection> dets = {det(105, 102), det(105, 99)};
    // distances from (100, 100): sqrt(25+4)=5.385, sqrt(25+1)=5.099
    EXPECT_EQ(nearestDetection(100, 100, dets, best), 0);
    EXPECT_EQ(best, 5);
    // Strictly below: 4.47 beats the rounded 5; exactly 5 does not.
    EXPECT_EQ(nearestDetection(100, 100, {det(105, 102), det(104, 103)}, best), 0);
    EXPECT_EQ(nearestDetection(100, 100, {det(105, 102), det(104, 102)}, best), 1);
    EXPECT_EQ(nearestDetection(100, 100, {}, best), -1);
    EXPECT_EQ(best, 9999);
}

TEST(LiveTracker, MaxTravelIsExclusiveAndZeroOpensTracksForEverything) {
    LiveTrackerState s;
    s.reset(20, 20);
    feed(s, 1, {det(100, 100)});
    feed(s, 2, {det(110, 100)}, 10); // exactly at maxTravel: not taken
    EXPECT_EQ(s.tracks[0].lostCount, 1);
    EXPECT_EQ(s.trackCount, 2);
    LiveTrackerState z;
    z.reset(20, 20);
    feed(z, 1, {det(100, 100)});
    feed(z, 2, {det(100, 100)}, 0);
    EXPECT_EQ(z.trackCount, 2);
    EXPECT_EQ(z.matchedCount, 0);
}

TEST(LiveTracker, ATrackLostTenBlocksEndsForGood) {
    LiveTrackerState s;
    s.reset(20, 20);
    feed(s, 1, {det(100, 100)});
    for (int b = 0; b < 9; ++b)
        feed(s, 2 + b, {});
    EXPECT_EQ(s.tracks[0].lostCount, 9);
    LiveBlockResult r = feed(s, 11, {});
    EXPECT_EQ(s.tracks[0].lostCount, 10);
    EXPECT_EQ(r.rows, "");
    // Never matched again; a detection at its place opens a new id.
    r = feed(s, 12, {det(100, 100)});
    EXPECT_EQ(s.tracks[0].lostCount, 10);
    EXPECT_EQ(s.trackCount, 2);
    EXPECT_EQ(lines(r.rows), (std::vector<std::string>{"13;1;100;100;0;40;12;5;0"}));
}

TEST(LiveTracker, TrailMapTakesStepsAboveTwoPixels) {
    LiveTrackerState s;
    s.reset(20, 20);
    feed(s, 1, {det(200, 200), det(400, 400)});
    feed(s, 2, {det(202, 200), det(402, 401)}); // history starts: no previous slot yet
    LiveBlockResult r = feed(s, 3, {det(204, 200), det(404, 401)});
    // Track 0 moved exactly 2.0 px: no segment. Track 1 moved 2.0 px too.
    EXPECT_TRUE(r.trailMap.empty());
    r = feed(s, 4, {det(204, 200), det(406, 402)}); // 2.24 px
    ASSERT_EQ(r.trailMap.size(), 1u);
    EXPECT_EQ(r.trailMap[0].id, 1);
    EXPECT_DOUBLE_EQ(r.trailMap[0].x1, 406 - 100);
    EXPECT_DOUBLE_EQ(r.trailMap[0].y1, 402 - 50);
    EXPECT_DOUBLE_EQ(r.trailMap[0].x2, 404 - 100);
    EXPECT_DOUBLE_EQ(r.trailMap[0].y2, 401 + 1 - 50);
    // Recent path: offsets +10 and +11.
    bool found = false;
    for (const LiveSegment& seg : r.recentPath)
        if (seg.id == 1 && seg.x1 == 416 && seg.y1 == 412 && seg.x2 == 415 && seg.y2 == 412)
            found = true;
    EXPECT_TRUE(found);
}

TEST(LiveTracker, RingOfSixtyOneSlotsAfterSixtyBlocks) {
    LiveTrackerState s;
    s.reset(20, 20);
    feed(s, 1, {det(100, 100)});
    LiveBlockResult r;
    for (int b = 0; b < 80; ++b)
        r = feed(s, 2 + b, {det(100 + 3 * ((b + 1) % 200), 100)}, 50);
    EXPECT_EQ(s.blockNumber(), 82);
    EXPECT_EQ(s.ringSlot(), 81 % 61);
    // 59 distinct segments of the last 60 blocks.
    int ofTrack0 = 0;
    for (const LiveSegment& seg : r.recentPath)
        if (seg.id == 0)
            ++ofTrack0;
    EXPECT_EQ(ofTrack0, 59);
}

TEST(LiveTracker, TrackIdsStopAt32000WithOneReport) {
    LiveTrackerState s;
    s.reset(20, 20);
    feed(s, 1, {});
    int reports = 0;
    // Every block brings 250 detections far from everything: each opens a track.
    for (int b = 0; b < 140; ++b) {
        std::vector<LiveDetection> dets;
        for (int i = 0; i < 250; ++i)
            dets.push_back(det(100 + (i % 50) * 25, 100 + (i / 50) * 25 + (b % 2) * 500));
        const LiveBlockResult r = feed(s, 2 + b, dets, 0);
        if (r.trackLimitReached)
            ++reports;
    }
    EXPECT_EQ(s.trackCount, kLiveMaxTracks);
    EXPECT_EQ(reports, 1);
}

TEST(LiveTracker, MotionGrowsOverTheRun) {
    LiveTrackerState s;
    s.reset(10, 10);
    feed(s, 1, {det(100, 100)});
    for (int b = 0; b < 30; ++b)
        feed(s, 2 + b, {det(100 + 20 * (b + 1), 100)}, 30);
    EXPECT_EQ(s.tracks[0].lostCount, 0);
    EXPECT_GE(s.tracks[0].motion.frameCount, 20);
    EXPECT_GT(s.tracks[0].motion.travelMm, 10.0);
}
