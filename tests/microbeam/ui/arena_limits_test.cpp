// The limits and outline logic of the Microbeam window, and the names LOAD works out.

#include "app/microbeam/arena_limits.h"
#include "app/microbeam/frame_load.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

namespace {

using microbeam::ApplyLimitKey;
using microbeam::ArenaLimitTexts;
using microbeam::arenaOutline;
using microbeam::OutlineStroke;

void write(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

TEST(ApplyLimitKey, SetsTheBoxOfItsKeyWithPointsForCommas) {
    ArenaLimitTexts limits;
    std::string key = " x s ";
    EXPECT_EQ(ApplyLimitKey(key, " 12,5", limits), 0u);
    EXPECT_EQ(key, "xs");
    EXPECT_EQ(limits[0], " 12.5");
    for (const auto& [name, index] : {std::pair{"xe", 1u}, {"ys", 2u}, {"ye", 3u}}) {
        std::string k = name;
        EXPECT_EQ(ApplyLimitKey(k, "1,2,3", limits), index);
        EXPECT_EQ(limits[index], "1.2.3");
    }
    // Other keys, and other cases, change nothing.
    for (const char* other : {"XS", "bs", "x", "xs1", ""}) {
        std::string k = other;
        const ArenaLimitTexts before = limits;
        EXPECT_FALSE(ApplyLimitKey(k, "9", limits).has_value()) << other;
        EXPECT_EQ(limits, before);
    }
}

class ArenaLimitsFiles : public ::testing::Test {
protected:
    std::string path(const char* relative) const {
        return QDir(dir.path()).filePath(relative).toStdString();
    }
    void SetUp() override {
        QDir(dir.path()).mkpath("program");
        QDir(dir.path()).mkpath("frames");
    }
    QTemporaryDir dir;
};

TEST_F(ArenaLimitsFiles, FolderThenProgramFolderThenDefaults) {
    auto load = microbeam::LoadArenaLimits(path("frames"), path("program"));
    EXPECT_TRUE(load.defaults);
    EXPECT_FALSE(load.failed);
    EXPECT_EQ(load.folder, path("program"));
    EXPECT_EQ(load.limits, (ArenaLimitTexts{"335", "1170", "215", "1035"}));

    write(QString::fromStdString(path("program/training.dat")), "xs 1\r\nye 4\r\n");
    load = microbeam::LoadArenaLimits(path("frames"), path("program"));
    EXPECT_FALSE(load.defaults);
    EXPECT_EQ(load.folder, path("program"));
    EXPECT_EQ(load.limits, (ArenaLimitTexts{"1", std::nullopt, std::nullopt, "4"}));

    // A key line without a blank, or beginning with one, is skipped; the last of a key wins;
    // further blanks after the first stay in the value; LF line ends read too.
    write(QString::fromStdString(path("frames/training.dat")),
          "xs 10\nxe\n ys 30\nys  3,25\nxs 11\nmm 35\n");
    load = microbeam::LoadArenaLimits(path("frames"), path("program"));
    EXPECT_EQ(load.folder, path("frames"));
    EXPECT_EQ(load.limits, (ArenaLimitTexts{"11", std::nullopt, " 3.25", std::nullopt}));
}

TEST_F(ArenaLimitsFiles, AnUnreadableFileFailsWithoutFallingBack) {
    write(QString::fromStdString(path("program/training.dat")), "xs 1\r\n");
    QDir(dir.path()).mkpath("frames/training.dat");
    const auto load = microbeam::LoadArenaLimits(path("frames"), path("program"));
    EXPECT_TRUE(load.failed);
    EXPECT_FALSE(load.defaults);
    EXPECT_EQ(load.folder, path("frames"));
    EXPECT_EQ(load.limits, ArenaLimitTexts{});
}

TEST(LimitValue, LeadingNumberToTheNearest16BitInteger) {
    EXPECT_EQ(microbeam::limitValue(" 335"), 335);
    EXPECT_EQ(microbeam::limitValue("17.5"), 18);
    EXPECT_EQ(microbeam::limitValue("18.5"), 18);
    EXPECT_EQ(microbeam::limitValue("txt_x1"), 0);
    EXPECT_EQ(microbeam::limitValue("-32768"), -32768);
    EXPECT_FALSE(microbeam::limitValue("32768").has_value());
}

TEST(ArenaOutline, RowsOfASmallEllipse) {
    // w = 8, h = 4, a = 4. Rows i = 0..4: d = 2, 1, 0, 1, 2; r = 0, 2 (sqrt 3), 2, 2, 0;
    // s = 2 x r = 0, 4, 4, 4, 0.
    const auto outline = arenaOutline(10, 18, 20, 24);
    EXPECT_FALSE(outline.overflow);
    const std::vector<OutlineStroke> expected = {
        {14, 15, 20}, {14, 13, 20}, {10, 11, 21}, {18, 17, 21}, {10, 11, 22},
        {18, 17, 22}, {10, 11, 23}, {18, 17, 23}, {14, 15, 24}, {14, 13, 24}};
    EXPECT_EQ(outline.strokes, expected);
}

TEST(ArenaOutline, HalvesGoToTheEvenNeighbour) {
    // w = 5: a = 2.5 -> 2. h = 2: row 1 has r = 1 and s = 2.5 -> 2.
    auto outline = arenaOutline(0, 5, 0, 2);
    ASSERT_EQ(outline.strokes.size(), 6u);
    EXPECT_EQ(outline.strokes[2], (OutlineStroke{0, 1, 1}));
    EXPECT_EQ(outline.strokes[3], (OutlineStroke{4, 3, 1}));
    // w = 7: a = 3.5 -> 4; row 1: s = 3.5 -> 4.
    outline = arenaOutline(0, 7, 0, 2);
    EXPECT_EQ(outline.strokes[2], (OutlineStroke{0, 1, 1}));
    EXPECT_EQ(outline.strokes[3], (OutlineStroke{8, 7, 1}));
}

TEST(ArenaOutline, NoRowsWithoutHeightAndNothingPast16Bits) {
    EXPECT_TRUE(arenaOutline(335, 1170, 600, 600).strokes.empty());
    EXPECT_TRUE(arenaOutline(335, 1170, 700, 600).strokes.empty());
    // A width that leaves 16 bits draws nothing.
    auto outline = arenaOutline(-30000, 30000, 0, 10);
    EXPECT_TRUE(outline.overflow);
    EXPECT_TRUE(outline.strokes.empty());
    // A row whose position leaves 16 bits ends the outline there.
    // w = 767, h = 10, a = 384: row 3 has s = 384 and its right stroke at 32768.
    outline = arenaOutline(32000, 32767, 0, 10);
    EXPECT_TRUE(outline.overflow);
    EXPECT_EQ(outline.strokes.size(), 6u);
    outline = arenaOutline(0, 10, 32760, 32767);
    EXPECT_FALSE(outline.overflow);
    EXPECT_EQ(outline.strokes.size(), 16u);
    EXPECT_EQ(outline.strokes.back().y, 32767);
}

TEST(FrameLoad, FirstFrameNameLimitsFolderAndPrefix) {
    EXPECT_TRUE(microbeam::matchesFramePattern("c1_2f0.jpg"));
    EXPECT_TRUE(microbeam::matchesFramePattern("f9.jpg"));
    EXPECT_FALSE(microbeam::matchesFramePattern("c1_2f10.jpg"));
    EXPECT_FALSE(microbeam::matchesFramePattern("c1_2f0.pgm"));
    EXPECT_FALSE(microbeam::matchesFramePattern("c1_2g0.jpg"));

    QTemporaryDir dir;
    const std::string folder = dir.path().toStdString();
    EXPECT_FALSE(microbeam::firstFrameName(folder).has_value());
    for (const char* name : {"c9f12.jpg", "c2f3.jpg", "c1f5.jpg", "notes.txt"})
        write(dir.filePath(name), "x");
    QDir(dir.path()).mkpath("c0f1.jpg"); // a folder is no frame
    EXPECT_EQ(microbeam::firstFrameName(folder), "c1f5.jpg");
    EXPECT_FALSE(microbeam::firstFrameName(folder + "/missing").has_value());

    EXPECT_EQ(microbeam::limitsFolder("/p/run/img"), "/p/run");
    EXPECT_EQ(microbeam::limitsFolder("/p/run/IMG"), "/p/run/IMG");
    EXPECT_EQ(microbeam::limitsFolder("/p/run/imgs"), "/p/run/imgs");
    EXPECT_EQ(microbeam::limitsFolder("/p/run/xmg"), "/p/run/xmg");
    EXPECT_EQ(microbeam::framePrefix("/p/img", "c10_0_0_7f3.jpg"), "/p/img/c10_0_0_7f");
    EXPECT_EQ(microbeam::framePath("/p/img/c1f", 12), "/p/img/c1f12.jpg");
}

} // namespace
