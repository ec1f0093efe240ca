#include "app/results/worm_trails_file.h"

#include "app/results/live_tracker.h"

#include "temp_folder.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

using namespace results;
using namespace results_test;

TEST(WormTrailsFile, WritesHeaderAndRowsWithCrLf) {
    TempFolder dir;
    const std::string path = dir.file("worm_trails.csv");
    ASSERT_EQ(writeWormTrailsFile(
                  path, {{0, 0, 512, 336, 0, 80, 12, 9, 3855}, {0, 1, 700, 20, 0, 31, 4, 5, 0}}),
              "");
    EXPECT_EQ(readFile(path), "FRAME;ID;X;Y;LOST_COUNT;#PIX;X_SIZE;Y_SIZE;SHAPE\r\n"
                              "0;0;512;336;0;80;12;9;3855\r\n"
                              "0;1;700;20;0;31;4;5;0\r\n");
    ASSERT_EQ(appendWormTrailRows(
                  path, {{3, 0, 515, 338, 0, 81, 12, 9, 65535}, {3, 1, 700, 20, 1, 31, 4, 5, -2}}),
              "");
    EXPECT_EQ(readFile(path), "FRAME;ID;X;Y;LOST_COUNT;#PIX;X_SIZE;Y_SIZE;SHAPE\r\n"
                              "0;0;512;336;0;80;12;9;3855\r\n"
                              "0;1;700;20;0;31;4;5;0\r\n"
                              "3;0;515;338;0;81;12;9;65535\r\n"
                              "3;1;700;20;1;31;4;5;-2\r\n");
    const WormTrailsRead back = readWormTrailsFile(path);
    ASSERT_TRUE(back.ok()) << back.error;
    ASSERT_EQ(back.rows.size(), 4u);
    EXPECT_EQ(back.rows[3], (WormTrailRow{3, 1, 700, 20, 1, 31, 4, 5, -2}));
}

TEST(WormTrailsFile, AppendNeverCreatesAHeaderlessFile) {
    TempFolder dir;
    const std::string path = dir.file("worm_trails.csv");
    EXPECT_NE(appendWormTrailRows(path, {{1, 0, 1, 1, 0, 0, 0, 0, 0}}), "");
    EXPECT_FALSE(exists(path));
}

TEST(WormTrailsFile, WriteFailureIsReported) {
    TempFolder dir;
    EXPECT_NE(writeWormTrailsFile(dir.file("missing/worm_trails.csv"), {}), "");
    const std::string path = dir.file("worm_trails.csv");
    ASSERT_EQ(writeWormTrailsFile(path, {}), "");
    ::chmod(path.c_str(), 0444);
    if (::geteuid() != 0) {
        EXPECT_NE(appendWormTrailRows(path, {{1, 0, 1, 1, 0, 0, 0, 0, 0}}), "");
    }
}

TEST(WormTrailsFile, ReaderHandlesTornAndHostileText) {
    // LF lines, a blank line, a short row (missing fields read 0), a torn last line.
    WormTrailsRead r = parseWormTrailsText("FRAME;ID;X;Y;LOST_COUNT;#PIX;X_SIZE;Y_SIZE;SHAPE\n"
                                           "1;2;3;4;5;6;7;8;9\n"
                                           "\r\n"
                                           "2;3;x\n"
                                           "3;4;5;6;0;1;2;3");
    ASSERT_TRUE(r.ok()) << r.error;
    ASSERT_EQ(r.rows.size(), 2u);
    EXPECT_EQ(r.rows[0], (WormTrailRow{1, 2, 3, 4, 5, 6, 7, 8, 9}));
    EXPECT_EQ(r.rows[1], (WormTrailRow{2, 3, 0, 0, 0, 0, 0, 0, 0}));
    // A last line with all nine fields but no line end (a hand-edited file) is a row.
    r = parseWormTrailsText("H\r\n1;2;3;4;5;6;7;8;9\r\n3;4;5;6;0;1;2;3;4");
    ASSERT_TRUE(r.ok()) << r.error;
    ASSERT_EQ(r.rows.size(), 2u);
    EXPECT_EQ(r.rows[1], (WormTrailRow{3, 4, 5, 6, 0, 1, 2, 3, 4}));
    r = parseWormTrailsText("H\r\n3;4;5;6;0;1;2;3;4\r");
    ASSERT_EQ(r.rows.size(), 1u);
    EXPECT_EQ(r.rows[0], (WormTrailRow{3, 4, 5, 6, 0, 1, 2, 3, 4}));
    // A ninth field not begun yet: still being written.
    r = parseWormTrailsText("H\r\n3;4;5;6;0;1;2;3;");
    EXPECT_TRUE(r.rows.empty());

    r = parseWormTrailsText("H\r\n1;32001;0;0;0;0;0;0;0\r\n");
    EXPECT_EQ(r.status, WormTrailsRead::Status::Failed);
    EXPECT_EQ(r.error, "worm_trails.csv line 2: trail id 32001 outside 0 to 32000");
    EXPECT_TRUE(r.rows.empty());

    r = parseWormTrailsText("H\r\n1;0;0;0;0;0;0;0;1e99\r\n");
    EXPECT_EQ(r.status, WormTrailsRead::Status::Failed);
    EXPECT_EQ(r.error, "worm_trails.csv line 2: SHAPE value out of range");

    TempFolder dir;
    EXPECT_EQ(readWormTrailsFile(dir.file("none.csv")).status, WormTrailsRead::Status::Missing);
    EXPECT_EQ(readWormTrailsFile(dir.path()).status, WormTrailsRead::Status::Failed);
}

TEST(WormTrailsFile, LiveTrackerRowsMatchTheFileFormat) {
    LiveTrack track;
    track.last = {512, 336, 80, 12, 9, 3855};
    track.lostCount = 4;
    EXPECT_EQ(liveTrailRow(7, 31999, track),
              formatWormTrailRow({7, 31999, 512, 336, 4, 80, 12, 9, 3855}) + "\r\n");
    // What the live tracker writes, the analysis reads back.
    const WormTrailsRead back =
        parseWormTrailsText(formatWormTrailsFile({}) + liveTrailRow(7, 31999, track));
    ASSERT_TRUE(back.ok());
    ASSERT_EQ(back.rows.size(), 1u);
    EXPECT_EQ(back.rows[0], (WormTrailRow{7, 31999, 512, 336, 4, 80, 12, 9, 3855}));
}

TEST(WormTrailsFile, LiveBlocksCreateThenAppendTheFile) {
    TempFolder dir;
    const std::string path = dir.file("worm_trails.csv");
    // A later block never creates a file without its header line.
    EXPECT_FALSE(writeLiveTrailRows(path, "1;0;5;5;0;9;3;3;1\r\n", false).empty());
    const std::string first = formatWormTrailsFile({{0, 0, 5, 5, 0, 9, 3, 3, 1}});
    EXPECT_EQ(writeLiveTrailRows(path, first, true), "");
    EXPECT_EQ(writeLiveTrailRows(path, "1;0;6;5;0;9;3;3;1\r\n", false), "");
    const WormTrailsRead back = readWormTrailsFile(path);
    ASSERT_TRUE(back.ok());
    EXPECT_EQ(back.rows, (std::vector<WormTrailRow>{{0, 0, 5, 5, 0, 9, 3, 3, 1},
                                                    {1, 0, 6, 5, 0, 9, 3, 3, 1}}));
    // A new run's first block starts the file afresh.
    EXPECT_EQ(writeLiveTrailRows(path, first, true), "");
    EXPECT_EQ(readWormTrailsFile(path).rows.size(), 1u);
}
