#include "app/results/stored_tracker.h"

#include "app/results/live_tracker.h"
#include "app/results/track_color.h"
#include "stored_acquisition.h"
#include "temp_folder.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace results;
using namespace results_test;
namespace fs = std::filesystem;

namespace {

using Blocks = std::vector<std::pair<int, std::vector<Det>>>;

StoredTrackResult track(const TempFolder& dir, const Blocks& blocks, double maxTravel = 30,
                        bool filter = false) {
    writeBytes(dir.file("xy_worms.bin"), positionFile(blocks));
    StoredTrackerParams p;
    p.maxTravel = maxTravel;
    p.backgroundFilter = filter;
    return TrackWorms(dir.path(), false, p, "/program");
}

// The rows of one frame as "id:x,y,lost" texts.
std::vector<std::string> frameRows(const StoredTrackResult& r, int frame) {
    std::vector<std::string> out;
    for (const WormTrailRow& row : r.rows) {
        if (row.frame == frame)
            out.push_back(std::to_string(row.id) + ":" + std::to_string(row.x) + "," +
                          std::to_string(row.y) + "," + std::to_string(row.lostCount));
    }
    return out;
}

using Rows = std::vector<std::string>;

} // namespace

TEST(StoredTracker, TrailsFileBytesOfASmallBatch) {
    TempFolder dir;
    const StoredTrackResult r =
        track(dir, {{0, {{999, 999, 5}}},                            // frame 0: passed over
                    {1, {{100, 100, 1}, {200, 200, 2}, {0, 50, 3}}}, // starts the tracks
                    {2, {{103, 104, 4}, {300, 300, 65535}}},
                    {3, {}},
                    {4, {{106, 108, 7}, {201, 200, 8}}}});
    ASSERT_TRUE(r.completed) << r.error;
    EXPECT_EQ(readFile(dir.file("worm_trails.csv")),
              "FRAME;ID;X;Y;LOST_COUNT;#PIX;X_SIZE;Y_SIZE;SHAPE\r\n"
              "0;0;100;100;0;80;12;9;1\r\n"
              "0;1;200;200;0;80;12;9;2\r\n"
              "2;0;103;104;0;80;12;9;4\r\n"
              "2;1;200;200;1;80;12;9;2\r\n"
              "2;3;300;300;0;80;12;9;65535\r\n"
              "3;0;103;104;1;80;12;9;4\r\n"
              "3;1;200;200;2;80;12;9;2\r\n"
              "3;3;300;300;1;80;12;9;65535\r\n"
              "4;0;106;108;0;80;12;9;7\r\n"
              "4;1;201;200;0;80;12;9;8\r\n"
              "4;3;300;300;2;80;12;9;65535\r\n");
    // The detection at X = 0 opened track 2, which never has a row.
    EXPECT_EQ(r.trackCount, 4);
    EXPECT_EQ(r.framesLinked, 4);
    EXPECT_EQ(r.blocksRead, 5);
    EXPECT_EQ(r.blocksPassedOver, 1);
    EXPECT_EQ(r.segments, (std::vector<TrackSegment>{{2, 0, TrackColor(0), 100, 100, 103, 104},
                                                     {4, 0, TrackColor(0), 103, 104, 106, 108},
                                                     {4, 1, TrackColor(1), 200, 200, 201, 200}}));
    EXPECT_TRUE(r.messages.empty());
    EXPECT_TRUE(r.notes.empty());
    EXPECT_EQ(r.backgroundPicture, "/program/preview.jpg");
}

TEST(StoredTracker, RunInStepsGivesTheSameTrailsAndEveryStepIsShort) {
    // Blocks of frames 1 to 40, each step given no time: a step links at most one frame or
    // reads at most 256 blocks, and the trails are those of a run in one go.
    TempFolder dir;
    Blocks blocks;
    for (int f = 1; f <= 40; ++f)
        blocks.push_back({f, {{100 + 2 * f, 100, 1}, {300, 100 + 3 * f, 2}}});
    const StoredTrackResult whole = track(dir, blocks);
    ASSERT_TRUE(whole.completed) << whole.error;
    const std::string trails = readFile(dir.file("worm_trails.csv"));
    fs::remove(dir.file("worm_trails.csv"));
    StoredTrackerRun run = startTrackWorms(dir.path(), false, {30, false}, "/program");
    int steps = 1;
    std::int32_t progress = run.frame();
    while (!run.step(StoredClock::duration::zero())) {
        ++steps;
        EXPECT_GE(run.frame(), progress);
        progress = run.frame();
    }
    EXPECT_GE(steps, 40);
    EXPECT_EQ(run.frame(), 300);
    EXPECT_FALSE(fs::exists(dir.file("worm_trails.csv"))); // written by finish() only
    const StoredTrackResult stepped = run.finish();
    EXPECT_TRUE(stepped.completed);
    EXPECT_EQ(stepped.rows, whole.rows);
    EXPECT_EQ(stepped.segments, whole.segments);
    EXPECT_EQ(readFile(dir.file("worm_trails.csv")), trails);

    // A zero-filled position file: 174,762 blocks of time mark 0, read 256 at a time.
    writeBytes(dir.file("xy_worms.bin"), std::vector<std::uint8_t>(1 << 20, 0));
    StoredTrackerRun zeros = startTrackWorms(dir.path(), false, {30, false}, "/program");
    steps = 1;
    while (!zeros.step(StoredClock::duration::zero()))
        ++steps;
    EXPECT_GE(steps, (1 << 20) / 6 / 256);
    const StoredTrackResult none = zeros.finish();
    EXPECT_TRUE(none.completed) << none.error;
    EXPECT_TRUE(none.rows.empty());
}

TEST(StoredTracker, ContestedDetectionGoesToTheNearerTrackOnly) {
    TempFolder dir;
    // Tracks 0 and 1 lie 3 and 4 pixels from the detection at (100, 100); the one at (92, 100)
    // is within reach of track 1 too, but track 1 chose the contested one and gets nothing.
    const StoredTrackResult r =
        track(dir, {{1, {{103, 100}, {96, 100}}}, {2, {{100, 100}, {92, 100}}}});
    EXPECT_EQ(frameRows(r, 2), (Rows{"0:100,100,0", "1:96,100,1", "2:92,100,0"}));
    EXPECT_EQ(r.trackCount, 3);
}

TEST(StoredTracker, MaxTravelIsComparedWithTheRoundedDistance) {
    TempFolder dir;
    // 27.59 rounds to 28: refused with a maximum travel of 28 (a new track takes it).
    StoredTrackResult r = track(dir, {{1, {{100, 100}}}, {2, {{120, 119}}}}, 28);
    EXPECT_EQ(frameRows(r, 2), (Rows{"0:100,100,1", "1:120,119,0"}));
    // 27.46 rounds to 27: taken.
    r = track(dir, {{1, {{100, 100}}}, {2, {{127, 105}}}}, 28);
    EXPECT_EQ(frameRows(r, 2), (Rows{"0:127,105,0"}));
    // A maximum travel of 0 (no number in the box) links nothing.
    r = track(dir, {{1, {{100, 100}}}, {2, {{100, 100}}}}, 0);
    EXPECT_EQ(frameRows(r, 2), (Rows{"0:100,100,1", "1:100,100,0"}));
}

TEST(StoredTracker, TrackLostTenFramesEndsAndANewIdTakesItsPlace) {
    TempFolder dir;
    Blocks blocks = {{1, {{500, 500}, {900, 900}}}};
    for (int f = 2; f <= 11; ++f)
        blocks.push_back({f, {{900, 900}}});
    blocks.push_back({12, {{501, 500}, {900, 900}}});
    const StoredTrackResult r = track(dir, blocks);
    EXPECT_EQ(frameRows(r, 10), (Rows{"0:500,500,9", "1:900,900,0"}));
    EXPECT_EQ(frameRows(r, 11), (Rows{"1:900,900,0"}));
    EXPECT_EQ(frameRows(r, 12), (Rows{"1:900,900,0", "2:501,500,0"}));
}

TEST(StoredTracker, RestartRules) {
    TempFolder dir;
    // The start frame's rows carry frame 0; no row carries frame 1.
    StoredTrackResult r = track(dir, {{1, {{100, 100}}}, {2, {{101, 100}}}});
    EXPECT_EQ(frameRows(r, 0), (Rows{"0:100,100,0"}));
    EXPECT_TRUE(frameRows(r, 1).empty());
    // No block for frame 1: frame 2 opens every track anew and writes its own number.
    r = track(dir, {{0, {{100, 100}}}, {2, {{101, 100}, {300, 300}}}, {3, {{102, 100}}}});
    EXPECT_TRUE(frameRows(r, 0).empty());
    EXPECT_EQ(frameRows(r, 2), (Rows{"0:101,100,0", "1:300,300,0"}));
    EXPECT_EQ(frameRows(r, 3), (Rows{"0:102,100,0", "1:300,300,1"}));
    // The tracks of an earlier run are not carried into the next.
    r = track(dir, {{1, {{700, 700}}}, {2, {{700, 700}}}});
    EXPECT_EQ(r.trackCount, 1);
    EXPECT_EQ(frameRows(r, 2), (Rows{"0:700,700,0"}));
}

TEST(StoredTracker, BlocksFollowTheirFramesPastMarkedAndMissingFrames) {
    TempFolder dir;
    // Frame 3 is an outlier marked bad after the batch wrote its block; frame 5 has no block.
    writeFrame(dir.path(), 3);
    std::vector<int> frames = frameRange(0, 99);
    writeBytes(dir.file("xy_image.bin"),
               descriptorFile(
                   {{1000, 1000}}, frames, [](int, int) { return 100; },
                   [](int f, int box) { return box == 0 && f == 3 ? 150 : 100; }));
    const StoredTrackResult r = track(dir, {{0, {}},
                                            {1, {{100, 100}}},
                                            {2, {{102, 100}}},
                                            {3, {{500, 500}}}, // frame 3: passed over
                                            {4, {{106, 100}}},
                                            {6, {{110, 100}}},
                                            {7, {{112, 100}}}});
    ASSERT_TRUE(r.completed) << r.error;
    EXPECT_TRUE(exists(dir.file("img/c192_168_4_1f3m.jpg")));
    EXPECT_TRUE(frameRows(r, 3).empty());
    EXPECT_EQ(frameRows(r, 4), (Rows{"0:106,100,0"}));
    EXPECT_TRUE(frameRows(r, 5).empty());
    EXPECT_EQ(frameRows(r, 6), (Rows{"0:110,100,0"}));
    EXPECT_EQ(frameRows(r, 7), (Rows{"0:112,100,0"}));
    EXPECT_EQ(r.trackCount, 1);
    EXPECT_EQ(r.blocksPassedOver, 2); // frame 0 and frame 3
    // The background picture is the first of frames 0 to 3 that is there (3 is marked now).
    EXPECT_EQ(r.backgroundPicture, "/program/preview.jpg");
    writeFrame(dir.path(), 2);
    EXPECT_EQ(TrackWorms(dir.path(), false, {30, false}, "/program").backgroundPicture,
              dir.file("img/c192_168_4_1f2.jpg"));
}

TEST(StoredTracker, FramesWithoutDescriptorLinesReadNoBlockAndRepeatedMarksArePassedOver) {
    TempFolder dir;
    writeBytes(dir.file("xy_image.bin"),
               descriptorFile({{1000, 1000}}, {0, 1, 2, 4, 5}, [](int, int) { return 100; }));
    const StoredTrackResult r = track(dir, {{1, {{100, 100}}},
                                            {2, {{102, 100}}},
                                            {2, {{400, 400}}}, // the same frame again
                                            {3, {{104, 100}}}, // no descriptor line
                                            {4, {{106, 100}}},
                                            {5, {{108, 100}}}});
    EXPECT_EQ(frameRows(r, 2), (Rows{"0:102,100,0"}));
    EXPECT_TRUE(frameRows(r, 3).empty());
    EXPECT_EQ(frameRows(r, 4), (Rows{"0:106,100,0"}));
    EXPECT_EQ(frameRows(r, 5), (Rows{"0:108,100,0"}));
    EXPECT_EQ(r.blocksPassedOver, 2);
}

namespace {

// Frames 0 .. 5: the sample box at (520, 500) reads `before` in frame 2 and 100 elsewhere; the
// other grid boxes read 100 and lie far away. The scale comes out below 0.01 and is raised.
void writeFilterSamples(const TempFolder& dir, int before) {
    std::vector<formats::BoxEntry> grid = {{520, 500}};
    for (int i = 0; i < 9; ++i)
        grid.push_back({static_cast<std::uint16_t>(1200 + 20 * i), 1100});
    writeBytes(dir.file("xy_image.bin"),
               descriptorFile(grid, frameRange(0, 5),
                              [before](int f, int g) { return g == 0 && f == 2 ? before : 100; }));
}

} // namespace

TEST(StoredTracker, BackgroundFilterRefusesLongJumpsOntoAnUnchangedBackground) {
    TempFolder dir;
    const Blocks jump20 = {{1, {{500, 500}}}, {2, {{500, 500}}}, {3, {{520, 500}}}};
    writeFilterSamples(dir, 99); // 0.02 x 100 = 2 > |100 - 99|: refused
    StoredTrackResult r = track(dir, jump20, 30, true);
    EXPECT_TRUE(r.backgroundFilterApplied);
    EXPECT_DOUBLE_EQ(r.scale, 0.01);
    EXPECT_EQ(frameRows(r, 3), (Rows{"0:500,500,1", "1:520,500,0"}));
    // Without the filter the jump is taken.
    r = track(dir, jump20, 30, false);
    EXPECT_EQ(frameRows(r, 3), (Rows{"0:520,500,0"}));

    writeFilterSamples(dir, 90); // 2 < 10: accepted
    r = track(dir, jump20, 30, true);
    EXPECT_EQ(frameRows(r, 3), (Rows{"0:520,500,0"}));

    writeFilterSamples(dir, 99); // at 15 pixels no check is made
    r = track(dir, {{1, {{505, 500}}}, {2, {{505, 500}}}, {3, {{520, 500}}}}, 30, true);
    EXPECT_EQ(frameRows(r, 3), (Rows{"0:520,500,0"}));
    r = track(dir, {{1, {{504, 500}}}, {2, {{504, 500}}}, {3, {{520, 500}}}}, 30, true);
    EXPECT_EQ(frameRows(r, 3), (Rows{"0:504,500,1", "1:520,500,0"}));
}

TEST(StoredTracker, BackgroundFilterIsSkippedAndSaysSoWithoutDescriptorData) {
    TempFolder dir;
    const Blocks blocks = {{1, {{500, 500}}}, {2, {{500, 500}}}, {3, {{520, 500}}}};
    StoredTrackResult r = track(dir, blocks, 30, true);
    ASSERT_TRUE(r.completed) << r.error;
    EXPECT_FALSE(r.backgroundFilterApplied);
    EXPECT_EQ(r.notes, (std::vector<std::string>{
                           "Background filter skipped: no image background file (xy_image.bin)"}));
    EXPECT_TRUE(r.messages.empty());
    EXPECT_EQ(frameRows(r, 3), (Rows{"0:520,500,0"}));
    // Without the filter asked for, nothing is said.
    EXPECT_TRUE(track(dir, blocks, 30, false).notes.empty());
    // Samples that do not reach the block's frame refuse nothing either.
    BackgroundSamples samples;
    samples.source = BackgroundSamples::Source::Loaded;
    samples.scale = 0.5;
    samples.usable.assign(301, true);
    samples.points = {{0, 0}, {0, 0}, {0, 0}, {0, 0}, {0, 0}, {520, 500}};
    samples.rows = 3; // frames 0 .. 2 only
    samples.values.assign(3 * 6, 100);
    r = trackStoredAcquisition(dir.path(), {30, true}, samples, "/program");
    EXPECT_TRUE(r.backgroundFilterApplied);
    EXPECT_EQ(frameRows(r, 3), (Rows{"0:520,500,0"}));
}

TEST(StoredTracker, NearestSamplePoint) {
    const std::vector<SamplePoint> points = {{0, 0}, {100, 100}, {110, 100}, {110, 100}};
    EXPECT_EQ(NearestSamplePoint(points, 104, 100), 1);
    EXPECT_EQ(NearestSamplePoint(points, 106, 100), 2); // the first of equally near boxes
    EXPECT_EQ(NearestSamplePoint(points, 1000, 1000), 0);
    EXPECT_EQ(NearestSamplePoint({}, 5, 5), 0);
}

TEST(StoredTracker, UnreadablePositionFileEndsTheRunWithTheRowsSoFar) {
    TempFolder dir;
    std::vector<std::uint8_t> bytes = positionFile({{1, {{100, 100}}}, {2, {{101, 100}}}});
    // A later header with the footer flag: what follows is no block at its place.
    const std::vector<std::uint8_t> flagged = {0x80, 0x00, 0x03, 0x01, 0x00, 0x00};
    bytes.insert(bytes.end(), flagged.begin(), flagged.end());
    const auto more = positionFile({{0, {}}, {3, {{102, 100}}}});
    bytes.insert(bytes.end(), more.begin() + 12, more.end());
    writeBytes(dir.file("xy_worms.bin"), bytes);
    const StoredTrackResult r = TrackWorms(dir.path(), false, {30, false}, "/program");
    EXPECT_FALSE(r.completed);
    EXPECT_FALSE(r.error.empty());
    EXPECT_EQ(r.messages, (std::vector<std::string>{"error processing all routes file"}));
    EXPECT_EQ(readFile(dir.file("worm_trails.csv")),
              "FRAME;ID;X;Y;LOST_COUNT;#PIX;X_SIZE;Y_SIZE;SHAPE\r\n"
              "0;0;100;100;0;80;12;9;0\r\n"
              "2;0;101;100;0;80;12;9;0\r\n");
    // No folder: nothing written anywhere.
    const StoredTrackResult none = TrackWorms("", false, {30, false}, "/program");
    EXPECT_FALSE(none.completed);
    EXPECT_EQ(none.messages, (std::vector<std::string>{"error processing all routes file"}));
}

TEST(StoredTracker, DamagedBlocksArePassedOverAndTold) {
    TempFolder dir;
    std::vector<formats::WormRecord> records(1);
    records[0].number = 0; // no detection number
    records[0].x = 300;
    records[0].y = 300;
    std::vector<std::uint8_t> bytes = positionFile({{1, {{100, 100}}}});
    const auto bad = formats::encodeBlock(2, records, false);
    bytes.insert(bytes.end(), bad.begin(), bad.end());
    const auto later = positionFile({{0, {}}, {3, {{104, 100}}}});
    bytes.insert(bytes.end(), later.begin() + 12, later.end());
    writeBytes(dir.file("xy_worms.bin"), bytes);
    const StoredTrackResult r = TrackWorms(dir.path(), false, {30, false}, "/program");
    ASSERT_TRUE(r.completed) << r.error;
    EXPECT_EQ(frameRows(r, 3), (Rows{"0:104,100,0"}));
    EXPECT_EQ(r.notes, (std::vector<std::string>{
                           "xy_worms.bin: block at byte 27 passed over (detection number 0)"}));
}

TEST(StoredTracker, WithoutAPositionFileTheTrailsFileHoldsItsHeader) {
    TempFolder dir;
    const StoredTrackResult r = TrackWorms(dir.path(), false, {30, false}, "/program");
    EXPECT_TRUE(r.completed);
    EXPECT_EQ(readFile(dir.file("worm_trails.csv")),
              "FRAME;ID;X;Y;LOST_COUNT;#PIX;X_SIZE;Y_SIZE;SHAPE\r\n");
}

TEST(StoredTracker, TrackIdsStopAt32000WithOneNote) {
    TempFolder dir;
    // 255 detections a frame that nothing links (a maximum travel of 0): 255 new ids a frame.
    std::vector<Det> full;
    for (int i = 0; i < 255; ++i)
        full.push_back({100 + 5 * i, 300 + i % 7});
    Blocks blocks;
    for (int f = 1; f <= 130; ++f)
        blocks.push_back({f, full});
    const StoredTrackResult r = track(dir, blocks, 0);
    ASSERT_TRUE(r.completed) << r.error;
    EXPECT_EQ(r.trackCount, 32001);
    EXPECT_EQ(r.notes, (std::vector<std::string>{kTrackIdLimitMessage}));
    EXPECT_EQ(r.rows.back().id, 32000);
}

TEST(StoredTracker, ATrailsFileThatCannotBeWrittenIsAnError) {
    TempFolder dir;
    const StoredTrackResult r = TrackWorms(dir.file("gone"), false, {30, false}, "/program");
    EXPECT_FALSE(r.completed);
    EXPECT_NE(r.error.find("worm_trails.csv"), std::string::npos) << r.error;
    EXPECT_EQ(r.messages, (std::vector<std::string>{"error processing all routes file"}));
}
