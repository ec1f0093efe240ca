// Background boxes, the elliptical grid, the line passes, the gate and the output files.

#include "finder/grid_scan.h"
#include "finder_test_support.h"
#include "formats/image_descriptor_file.h"
#include "formats/position_file.h"

namespace {

using finder_test::Bytes;
using finder_test::Frame;
using finder_test::WorkFolderTest;

class GridScanTest : public WorkFolderTest {};

std::vector<formats::BoxEntry> boxesOf(const finder::SirrexState& s) {
    std::vector<formats::BoxEntry> boxes;
    for (int k = 0; k < s.txt_imgframe_header_counter; ++k) {
        const std::uint8_t* e = s.buffer_boxes_header.data() + 2 + 4 * k;
        boxes.push_back({static_cast<std::uint16_t>(e[0] << 8 | e[1]),
                         static_cast<std::uint16_t>(e[2] << 8 | e[3])});
    }
    return boxes;
}

TEST_F(GridScanTest, DefaultGridHas412BoxesAndTheTable417Entries) {
    finder::SirrexState s;
    Frame(200).load(s);
    finder::analyseFrame(s);
    EXPECT_EQ(s.txt_imgframe_header_counter, 417);
    const auto boxes = boxesOf(s);
    // Background boxes first.
    EXPECT_EQ(boxes[0], (formats::BoxEntry{750, 120}));
    EXPECT_EQ(boxes[1], (formats::BoxEntry{750, 1060}));
    EXPECT_EQ(boxes[2], (formats::BoxEntry{250, 585}));
    EXPECT_EQ(boxes[3], (formats::BoxEntry{375, 292}));
    EXPECT_EQ(boxes[4], (formats::BoxEntry{1000, 876}));
    // The first row (y = 170: Xinit 705, Xfinish 795) has two boxes, at x = 705 and 740.
    EXPECT_EQ(boxes[5], (formats::BoxEntry{722, 187}));
    EXPECT_EQ(boxes[6], (formats::BoxEntry{757, 187}));
    EXPECT_EQ(boxes[7].y, 222);
    EXPECT_EQ(s.worms_found, 0);
}

TEST_F(GridScanTest, HalfStepGridInTheInvariantShapeMode) {
    finder::SirrexState s;
    s.arg_cp = 28662;
    Frame(200).load(s);
    finder::analyseFrame(s);
    EXPECT_EQ(s.txt_imgframe_header_counter, 5 + 1718);
    const auto boxes = boxesOf(s);
    EXPECT_EQ(boxes[5].x, 705 + 17);
    EXPECT_EQ(boxes[6].x, 705 + 17 + 17); // Xinit + bs / 2
    EXPECT_EQ(boxes[5].y, 187);
}

TEST_F(GridScanTest, BackgroundValueIsTheTruncatedMeanOfEverySecondPixel) {
    finder::SirrexState s;
    Frame f(100);
    // Odd columns do not count: make them dark everywhere in the square of (400, 400).
    for (int x = 351; x < 450; x += 2)
        f.fill(x, 350, 1, 100, 0);
    f.fill(350, 350, 1, 1, 101); // one sample of 2500 raises the sum by 1: still 100
    f.load(s);
    EXPECT_EQ(finder::Check_box_Avrg(s, 400, 400), 100);
    f.fill(350, 350, 2, 2, 255);
    f.load(s);
    EXPECT_EQ(finder::Check_box_Avrg(s, 400, 400), 100); // (250000 + 155) / 2500 = 100.06
    // Clamped at 0 top left, not at the right or bottom (pixels beyond read as 0).
    Frame g(200);
    g.load(s);
    EXPECT_EQ(finder::Check_box_Avrg(s, 10, 10), 200);
    EXPECT_EQ(finder::Check_box_Avrg(s, 1599, 600), 104); // 26 of 50 columns inside
    EXPECT_EQ(finder::Check_box_Avrg(s, 1599, 1199), 54); // 26 x 26 samples inside
}

TEST_F(GridScanTest, BoxValueComesFromTheLastSampledRowAndColumnOnly) {
    finder::SirrexState s;
    Frame f(100);
    // First grid box (705, 170), bs 35: sampled lines 0, 8, 16, 24, 32.
    f.fill(705, 170, 35, 32, 20); // rows 0..31 dark: not the last row
    f.fill(705, 202, 35, 1, 180); // row 32
    f.fill(737, 170, 1, 35, 60);  // column 32 (crosses row 32 at one pixel)
    f.load(s);
    finder::analyseFrame(s);
    // Row 32 mean: (34 x 180 + 60) / 35 = 176; column 32 mean: 60; value (176 + 60) / 2.
    EXPECT_EQ(s.buffer_boxes[2 + 5], 118);
}

TEST_F(GridScanTest, UniformFrameGivesAnEmptyBlockAndAFullLine) {
    writeFile("f.pgm", Frame(123).pgm());
    const Run r = sirrex({"f.pgm", "-ti12"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(readBytes("xy_worms.bin"),
              (Bytes{0x02, 0x00, 0x0C, 0x00, 0x05, 0x51, 0x80, 0x00, 0x0C, 0x00, 0x05, 0x51}));
    const Bytes image = readBytes("xy_image.bin");
    ASSERT_EQ(image.size(), 2u + 4 * 417 + 2 + 417);
    EXPECT_EQ(image[0], 0x01); // 417 = 0x01A1
    EXPECT_EQ(image[1], 0xA1);
    EXPECT_EQ(image[2], 0x02); // entry 0: (750, 120)
    EXPECT_EQ(image[3], 0xEE);
    EXPECT_EQ(image[4], 0x00);
    EXPECT_EQ(image[5], 0x78);
    const std::size_t line = 2 + 4 * 417;
    EXPECT_EQ(image[line], 0x00);
    EXPECT_EQ(image[line + 1], 0x0C);
    for (std::size_t k = 0; k < 417; ++k)
        ASSERT_EQ(image[line + 2 + k], 123) << k;
}

TEST_F(GridScanTest, LaterRunsAppendABlockAndALineOnly) {
    writeFile("f.pgm", Frame(90).pgm());
    ASSERT_EQ(sirrex({"f.pgm", "-ti1"}).status, 0);
    ASSERT_EQ(sirrex({"f.pgm", "-ti1"}).status, 0); // the same time mark twice: two blocks
    ASSERT_EQ(sirrex({"f.pgm", "-ti70000"}).status, 0);
    const Bytes worms = readBytes("xy_worms.bin");
    ASSERT_EQ(worms.size(), 36u);
    EXPECT_EQ(worms[0], 0x02);
    EXPECT_EQ(worms[12], 0x00);
    EXPECT_EQ(worms[24], 0x01); // bits 16..22 of 70000
    EXPECT_EQ(worms[30], 0x81);
    const formats::PositionFile decoded = formats::readPositionFile("xy_worms.bin");
    ASSERT_EQ(decoded.blocks.size(), 3u);
    EXPECT_EQ(decoded.blocks[2].timeMark, 70000);

    const formats::ImageDescriptorFile image = formats::readImageDescriptorFile("xy_image.bin");
    EXPECT_EQ(image.boxes.size(), 417u);
    ASSERT_EQ(image.lines.size(), 3u);
    EXPECT_EQ(image.lines[2].timeMark, 70000 & 0xFFFF);
    EXPECT_EQ(image.trailingBytes, 0u);
}

TEST_F(GridScanTest, OneByteFilesCountAsNew) {
    writeFile("f.pgm", Frame(90).pgm());
    writeFile("xy_worms.bin", std::string(1, '\x07'));
    writeFile("xy_image.bin", std::string(1, '\x07'));
    ASSERT_EQ(sirrex({"f.pgm", "-ti3"}).status, 0);
    EXPECT_EQ(readBytes("xy_worms.bin"), (Bytes{0x07, 0x02, 0x00, 0x03, 0x00, 0x05, 0x51, 0x80,
                                                0x00, 0x03, 0x00, 0x05, 0x51}));
    const Bytes image = readBytes("xy_image.bin");
    EXPECT_EQ(image.size(), 1u + 2 + 4 * 417 + 2 + 417);
    EXPECT_EQ(image[1], 0x01);
    EXPECT_EQ(image[2], 0xA1);
}

TEST_F(GridScanTest, FilesAreJudgedNewEachByItsOwnSize) {
    writeFile("f.pgm", Frame(90).pgm());
    ASSERT_EQ(sirrex({"f.pgm"}).status, 0);
    std::filesystem::remove("xy_worms.bin");
    ASSERT_EQ(sirrex({"f.pgm", "-ti2"}).status, 0);
    EXPECT_EQ(readBytes("xy_worms.bin")[0], 0x02);
    EXPECT_EQ(readBytes("xy_image.bin").size(), 2u + 4 * 417 + 2 * (2 + 417));
}

// Another box count on an existing folder is found out before anything is written: the block
// alone would put the position file one frame ahead of the descriptor file.
TEST_F(GridScanTest, ALineThatWouldNotMatchTheTableIsRefusedAndNeitherFileWritten) {
    writeFile("f.pgm", Frame(90).pgm());
    ASSERT_EQ(sirrex({"f.pgm"}).status, 0);
    const Bytes image = readBytes("xy_image.bin");
    const Bytes worms = readBytes("xy_worms.bin");
    const Run r = sirrex({"f.pgm", "-bs30", "-ti1"});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "Cant write File xy_image.bin\n"
                     "the box table of xy_image.bin holds 417 boxes, this frame has 577; "
                     "neither file was written\n");
    EXPECT_EQ(readBytes("xy_image.bin"), image);
    EXPECT_EQ(readBytes("xy_worms.bin"), worms);
}

TEST_F(GridScanTest, AnOutputThatCannotBeWrittenIsReportedAndTheOtherStillWritten) {
    writeFile("f.pgm", Frame(90).pgm());
    std::filesystem::create_directory("xy_worms.bin"); // cannot be opened as a file
    const Run r = sirrex({"f.pgm"});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err.substr(0, r.err.find('\n') + 1), "Cant write File xy_worms.bin\n");
    EXPECT_NE(r.out.find("\n execution in "), std::string::npos);
    EXPECT_EQ(readBytes("xy_image.bin").size(), 2u + 4 * 417 + 2 + 417);

    std::filesystem::remove("xy_worms.bin");
    std::filesystem::remove("xy_image.bin");
    std::filesystem::create_directory("xy_image.bin");
    const Run second = sirrex({"f.pgm"});
    EXPECT_EQ(second.status, 2);
    EXPECT_EQ(second.err.substr(0, second.err.find('\n') + 1), "Cant write File xy_image.bin\n");
    EXPECT_EQ(readBytes("xy_worms.bin").size(), 12u);
}

TEST_F(GridScanTest, MissingProjectFolderIsAWriteFailure) {
    writeFile("run/myimg/f.pgm", Frame(90).pgm());
    const Run r = sirrex({"run/myimg/f.pgm"}); // writes into "run/m", which does not exist
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("Cant write File run/m/xy_worms.bin\n"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("Cant write File run/m/xy_image.bin\n"), std::string::npos) << r.err;
}

TEST_F(GridScanTest, TableStopsAt7499BoxesWhileTheScanGoesOn) {
    finder::SirrexState s;
    s.arg_xs = -100000;
    s.arg_xe = 100000;
    s.arg_ys = -2000;
    s.arg_ye = 3000;
    s.arg_bs = 4;
    s.arg_cp = 1; // step 2
    Frame f(200);
    f.fill(790, 590, 20, 4, 120); // an organism-sized mark inside the image
    f.load(s);
    finder::analyseFrame(s);
    EXPECT_EQ(s.txt_imgframe_header_counter, formats::kMaxBoxEntries);
}

TEST_F(GridScanTest, RectangleBeyondTheImageReadsOutsidePixelsAsZero) {
    writeFile("f.pgm", Frame(200).pgm());
    // Boxes, sweeps and windows reach past every edge; the sanitizers watch the reads.
    const Run r = sirrex({"f.pgm", "-xs-300", "-xe1900", "-ys-200", "-ye1400", "-bs60"});
    EXPECT_EQ(r.status, 0) << r.err;
    const Run cp = sirrex({"f.pgm", "-xs-300", "-xe1900", "-ys-200", "-ye1400", "-bs60", "-cp1"});
    EXPECT_EQ(cp.status, 2); // another grid than the table's: the line is refused
    const Run far = sirrex(
        {"f.pgm", "-xs2000000000", "-xe-2000000000", "-ys-2147483648", "-ye2147483647", "-bs4"});
    EXPECT_EQ(far.status, 2); // completes; only the table does not match
    const Run thin = sirrex({"f.pgm", "-xs600", "-xe606", "-ys-2147483648", "-ye2147483647"});
    EXPECT_EQ(thin.status, 2);
}

} // namespace
