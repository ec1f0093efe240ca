// Whole runs on drawn frames and on a real plate: records, duplicates, the record limit and
// unreadable input.

#include "finder_test_support.h"
#include "formats/image_descriptor_file.h"
#include "formats/position_file.h"

#include <cmath>

namespace {

using finder_test::Bytes;
using finder_test::Frame;
using finder_test::WorkFolderTest;

class DetectionTest : public WorkFolderTest {};

// A 20 x 4 worm of grey 150 on 200 across the border of two grid boxes of the row y = 590
// (boxes at x = 324 + 35 k; the border at x = 814).
Frame spotOnTwoBoxes() {
    Frame f(200);
    f.fill(804, 605, 20, 4, 150);
    return f;
}

TEST_F(DetectionTest, ASpotFoundFromTwoBoxesIsRecordedOnce) {
    writeFile("f.pgm", spotOnTwoBoxes().pgm());
    ASSERT_EQ(sirrex({"f.pgm", "-ti9"}).status, 0);
    const formats::PositionFile file = formats::readPositionFile("xy_worms.bin");
    ASSERT_EQ(file.blocks.size(), 1u);
    const formats::PositionBlock& block = file.blocks[0];
    EXPECT_EQ(block.timeMark, 9);
    EXPECT_TRUE(block.checkValueMatches);
    ASSERT_EQ(block.records.size(), 1u);
    formats::WormRecord expected;
    expected.number = 1;
    expected.x = 812; // located from the first box: columns 804..820
    expected.y = 606;
    expected.pixels = 80;
    expected.xSize = 19;
    expected.ySize = 3;
    expected.shape = 0x00F0;
    expected.meanGray = 196;
    EXPECT_EQ(block.records[0], expected);

    // Without the least distance the second box's location (818, 606) is recorded as well.
    std::filesystem::remove("xy_worms.bin");
    ASSERT_EQ(sirrex({"f.pgm", "-ll0", "-ti9"}).status, 0);
    const formats::PositionFile twice = formats::readPositionFile("xy_worms.bin");
    ASSERT_EQ(twice.blocks.size(), 1u);
    ASSERT_EQ(twice.blocks[0].records.size(), 2u);
    EXPECT_EQ(twice.blocks[0].records[1].number, 2);
    EXPECT_EQ(twice.blocks[0].records[1].x, 818);
}

TEST_F(DetectionTest, AcceptedOrganismsStopAt128WhileBoxEntriesGoOn) {
    Frame f(200);
    int drawn = 0;
    for (int y = 250; y <= 950; y += 30)
        for (int x = 400; x <= 1150; x += 45) {
            const double ex = (x - 750) / 400.0, ey = (y - 585) / 380.0;
            if (ex * ex + ey * ey < 0.7) {
                f.fill(x - 10, y - 2, 20, 4, 150);
                ++drawn;
            }
        }
    ASSERT_GT(drawn, 200);
    writeFile("f.pgm", f.pgm());
    ASSERT_EQ(sirrex({"f.pgm"}).status, 0);
    const formats::PositionFile file = formats::readPositionFile("xy_worms.bin");
    ASSERT_EQ(file.blocks.size(), 1u);
    ASSERT_EQ(file.blocks[0].records.size(), 128u);
    EXPECT_TRUE(file.blocks[0].checkValueMatches);
    EXPECT_EQ(file.blocks[0].records[127].number, 128);
    const formats::ImageDescriptorFile image = formats::readImageDescriptorFile("xy_image.bin");
    EXPECT_EQ(image.boxes.size(), 417u);
    ASSERT_EQ(image.lines.size(), 1u);
    EXPECT_EQ(image.lines[0].values.size(), 417u);
}

TEST_F(DetectionTest, InvariantShapeModeFindsTheValley) {
    Frame f(200);
    // A round dark spot, darkest in the middle.
    for (int y = 560; y < 620; ++y)
        for (int x = 770; x < 830; ++x) {
            const int d = std::abs(x - 800) + std::abs(y - 600);
            f.fill(x, y, 1, 1, std::min(200, 60 + 6 * d));
        }
    writeFile("f.pgm", f.pgm());
    ASSERT_EQ(sirrex({"f.pgm", "-ti0", "-cp28662"}).status, 0);
    const formats::PositionFile file = formats::readPositionFile("xy_worms.bin");
    ASSERT_EQ(file.blocks.size(), 1u);
    ASSERT_FALSE(file.blocks[0].records.empty());
    EXPECT_EQ(file.blocks[0].records[0].x, 800);
    EXPECT_EQ(file.blocks[0].records[0].y, 600);
}

// --- unreadable input: a message, status 1, no output file touched ---

class BadInputTest : public WorkFolderTest {
protected:
    void expectRefused(const std::string& path, const std::string& message) {
        const Run r = sirrex({path, "-ti3"});
        EXPECT_EQ(r.status, 1) << path;
        EXPECT_EQ(r.err.substr(0, message.size()), message) << r.err;
        EXPECT_EQ(r.out.find("execution in"), std::string::npos);
        EXPECT_FALSE(exists("xy_worms.bin"));
        EXPECT_FALSE(exists("xy_image.bin"));
    }
};

TEST_F(BadInputTest, MissingFile) {
    expectRefused("nothing.pgm", "Cant open File nothing.pgm\n");
}

TEST_F(BadInputTest, FolderAsPath) {
    std::filesystem::create_directory("frames.pgm");
    expectRefused("frames.pgm", "Cant open File frames.pgm\n");
}

TEST_F(BadInputTest, EmptyFileAndHeaderOnly) {
    writeFile("empty.pgm", "");
    expectRefused("empty.pgm", "Cant read File correctly");
    writeFile("header.pgm", "P5\n1600 1200\n255\n");
    expectRefused("header.pgm", "Cant read File correctly");
}

TEST_F(BadInputTest, TruncatedPixels) {
    const std::string pgm = Frame().pgm();
    writeFile("short.pgm", pgm.substr(0, pgm.size() - 1));
    expectRefused("short.pgm", "Cant read File correctly: short.pgm holds 1919999 of 1920000");
    writeFile("small.pgm", "P5\n640 480\n255\n" + std::string(640 * 480, '\x80'));
    expectRefused("small.pgm", "Cant read File correctly");
}

TEST_F(BadInputTest, VerboseSaysTheFileWasNotReadCorrectly) {
    writeFile("header.pgm", "P5\n1600 1200\n255\n");
    const Run r = sirrex({"header.pgm", "-v"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("Header_size=17\nCant read File correctly\n"), std::string::npos) << r.out;
}

TEST_F(DetectionTest, HeaderWithCommentsReadsTheSamePixels) {
    const Frame f = spotOnTwoBoxes();
    writeFile("plain.pgm", f.pgm());
    writeFile("c/commented.pgm", f.pgm("P5\n# written by a camera\n1600 1200\n# max\n255\n"));
    ASSERT_EQ(sirrex({"plain.pgm"}).status, 0);
    ASSERT_EQ(sirrex({"c/commented.pgm"}).status, 0);
    EXPECT_EQ(readBytes("c/xy_worms.bin"), readBytes("xy_worms.bin"));
    EXPECT_EQ(readBytes("c/xy_image.bin"), readBytes("xy_image.bin"));
}

TEST_F(DetectionTest, HeaderLongerThanTwentyBytesIsCutThere) {
    // 21 bytes of header: the skip stops after 20, so the last line feed counts as a pixel.
    Frame f(200);
    writeFile("long.pgm",
              "P5\n1600    1200\n 255\n" + std::string(f.pixels.begin(), f.pixels.end()));
    const Run r = sirrex({"long.pgm", "-v"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("Header_size=20\n"), std::string::npos);
}

// --- a real plate ---

TEST_F(DetectionTest, RealPlateGivesWellFormedFilesAndDetectionsInsideTheEllipse) {
    const std::string source = std::string(VX_REAL_TESTDATA) + "/plate_dish.pgm";
    if (!std::filesystem::exists(source))
        GTEST_SKIP() << "no real test frames in " << VX_REAL_TESTDATA;
    std::filesystem::create_directories("acq/img");
    std::filesystem::copy_file(source, "acq/img/c10_0_0_5f7.pgm");
    const std::vector<std::string> args{
        "acq/img/c10_0_0_5f7.pgm", "-xs250", "-xe1350", "-ys140", "-ye1080", "-ti7"};
    ASSERT_EQ(sirrex(args).status, 0);
    ASSERT_EQ(sirrex(args).status, 0);

    const formats::PositionFile file = formats::readPositionFile("acq/xy_worms.bin");
    EXPECT_EQ(file.error, "");
    EXPECT_EQ(file.layoutByte, 2);
    ASSERT_EQ(file.blocks.size(), 2u);
    EXPECT_EQ(file.consumed, readBytes("acq/xy_worms.bin").size());
    EXPECT_EQ(file.blocks[0].records, file.blocks[1].records); // the same frame, the same result
    const auto& records = file.blocks[0].records;
    EXPECT_GE(records.size(), 3u);
    const double cx = 800, cy = 610, a = 550, b = 470, margin = 35;
    for (std::size_t i = 0; i < records.size(); ++i) {
        const auto& r = records[i];
        EXPECT_EQ(r.number, i + 1);
        const double ex = (r.x - cx) / (a + margin), ey = (r.y - cy) / (b + margin);
        EXPECT_LE(ex * ex + ey * ey, 1.0) << "detection " << i + 1 << " at " << r.x << "," << r.y;
        EXPECT_GT(r.pixels, 4);
    }
    for (const auto& block : file.blocks) {
        EXPECT_TRUE(block.checkValueMatches);
        EXPECT_TRUE(block.footerMatches);
        EXPECT_EQ(block.timeMark, 7);
    }

    const formats::ImageDescriptorFile image = formats::readImageDescriptorFile("acq/xy_image.bin");
    EXPECT_EQ(image.error, "");
    EXPECT_EQ(image.trailingBytes, 0u);
    ASSERT_EQ(image.lines.size(), 2u);
    EXPECT_EQ(image.lines[0].values, image.lines[1].values);
    EXPECT_GT(image.boxes.size(), 5u);
}

} // namespace
