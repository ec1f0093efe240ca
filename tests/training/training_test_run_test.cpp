#include "app/training/training_test.h"

#include "formats/position_file.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <unistd.h>

using namespace training;

namespace {

using Bytes = std::vector<std::uint8_t>;

void put16(Bytes& out, int value) {
    out.push_back(static_cast<std::uint8_t>((value >> 8) & 0xFF));
    out.push_back(static_cast<std::uint8_t>(value & 0xFF));
}

// A header layout block by hand: header, records of 13 or 14 bytes, footer when asked.
Bytes oldBlock(std::uint8_t byte0, int timeMark, const std::vector<std::pair<int, int>>& xy,
               int recordSize, bool footer) {
    Bytes out{byte0};
    put16(out, timeMark);
    out.push_back(static_cast<std::uint8_t>(xy.size()));
    put16(out, 0x551);
    const Bytes header = out;
    int number = 0;
    for (auto [x, y] : xy) {
        out.push_back(static_cast<std::uint8_t>(++number));
        put16(out, x);
        put16(out, y);
        put16(out, 40);
        put16(out, 5);
        put16(out, 17);
        put16(out, 0x1234);
        if (recordSize == 14)
            out.push_back(90);
    }
    if (footer) {
        out.insert(out.end(), header.begin(), header.end());
        out[out.size() - 6] |= 0x80;
    }
    return out;
}

void putFlat(Bytes& out, std::uint32_t timeMark, int x, int y, std::uint8_t marker = 255) {
    out.push_back(marker);
    for (int shift : {24, 16, 8, 0})
        out.push_back(static_cast<std::uint8_t>((timeMark >> shift) & 0xFF));
    put16(out, x);
    put16(out, y);
    put16(out, 40);
    put16(out, 5);
    put16(out, 17);
    put16(out, 0x1234);
}

Bytes currentFile(std::int32_t timeMark, const std::vector<std::pair<int, int>>& xy) {
    std::vector<formats::WormRecord> records;
    std::uint8_t number = 0;
    for (auto [x, y] : xy) {
        formats::WormRecord r;
        r.number = ++number;
        r.x = static_cast<std::uint16_t>(x);
        r.y = static_cast<std::uint16_t>(y);
        records.push_back(r);
    }
    return formats::encodeBlock(timeMark, records, true);
}

std::vector<std::pair<int, int>> xyOf(const TestPositions& p) {
    std::vector<std::pair<int, int>> out;
    for (const TestDetection& d : p.detections)
        out.emplace_back(d.x, d.y);
    return out;
}

const std::vector<std::pair<int, int>> kThree{{400, 300}, {1000, 700}, {715, 600}};

} // namespace

TEST(TestCommands, DravelAndSirrexCommandLines) {
    const std::string base = previewBase("/opt/vx");
    EXPECT_EQ(base, "/opt/vx/preview");
    const ProgramCommand dravel = testDravelCommand("/opt/vx", base);
    EXPECT_EQ(dravel.program, "/opt/vx/Dravel");
    EXPECT_EQ(dravel.arguments,
              (std::vector<std::string>{"-grayscale", "-outfile", "/opt/vx/preview.pgm",
                                        "/opt/vx/preview.jpg"}));
    const std::string options = " -xs335 -xe1170 -bs35 -mt31.25";
    const ProgramCommand plain =
        testSirrexCommand("/opt/vx", base, options, false, TrainingWindow::Acquisition);
    EXPECT_EQ(plain.program, "/opt/vx/Sirrex");
    EXPECT_EQ(plain.arguments, (std::vector<std::string>{"/opt/vx/preview.pgm", "-xs335", "-xe1170",
                                                         "-bs35", "-mt31.25", "-ti0"}));
    EXPECT_EQ(
        testSirrexCommand("/opt/vx", base, options, false, TrainingWindow::Reanalysis).arguments,
        plain.arguments);
    const auto acqRound =
        testSirrexCommand("/opt/vx", base, options, true, TrainingWindow::Acquisition).arguments;
    const auto reRound =
        testSirrexCommand("/opt/vx", base, options, true, TrainingWindow::Reanalysis).arguments;
    ASSERT_EQ(acqRound.size(), 7u);
    EXPECT_EQ(acqRound[5], "-cp28662");
    EXPECT_EQ(acqRound[6], "-ti0");
    ASSERT_EQ(reRound.size(), 7u);
    EXPECT_EQ(reRound[5], "-ti0");
    EXPECT_EQ(reRound[6], "-cp28662");
    EXPECT_STREQ(kPreTrainingMissingMessage, "Pre-Training file not found. Please entrain again");
}

TEST(TestPositionsReader, CurrentLayoutBothWindows) {
    const Bytes file = currentFile(0, kThree);
    for (TrainingWindow w : {TrainingWindow::Acquisition, TrainingWindow::Reanalysis}) {
        const TestPositions p = readTestPositions(file, w);
        EXPECT_FALSE(p.flat);
        EXPECT_EQ(xyOf(p), kThree);
    }
    // Only the first block: a second block appended later is not drawn.
    Bytes two = file;
    const Bytes next = formats::encodeBlock(0, {}, false);
    two.insert(two.end(), next.begin(), next.end());
    EXPECT_EQ(xyOf(readTestPositions(two, TrainingWindow::Acquisition)), kThree);
    EXPECT_TRUE(
        readTestPositions(currentFile(0, {}), TrainingWindow::Acquisition).detections.empty());
}

TEST(TestPositionsReader, AcquisitionWindowWantsTimeMarkZero) {
    const Bytes file = currentFile(7, kThree);
    EXPECT_TRUE(readTestPositions(file, TrainingWindow::Acquisition).detections.empty());
    // The reanalysis window does not check it.
    EXPECT_EQ(xyOf(readTestPositions(file, TrainingWindow::Reanalysis)), kThree);
}

// A block that Sirrex has not finished writing is not drawn, not even its first records; and
// nothing is read past the end of the file.
TEST(TestPositionsReader, IncompleteBlocksAreNotDrawn) {
    const Bytes file = currentFile(0, kThree);
    for (std::size_t size = 0; size < file.size(); ++size) {
        const Bytes cut(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(size));
        for (TrainingWindow w : {TrainingWindow::Acquisition, TrainingWindow::Reanalysis})
            EXPECT_TRUE(readTestPositions(cut, w).detections.empty()) << size;
    }
    // A count byte larger than what follows.
    Bytes lying = file;
    lying[3] = 200;
    EXPECT_TRUE(readTestPositions(lying, TrainingWindow::Acquisition).detections.empty());
    EXPECT_TRUE(readTestPositions(lying, TrainingWindow::Reanalysis).detections.empty());
}

TEST(TestPositionsReader, ThirteenByteLayouts) {
    // First byte 0: header and 13-byte records, no footer.
    const Bytes noFooter = oldBlock(0, 0, kThree, 13, false);
    ASSERT_EQ(noFooter.size(), 6u + 3 * 13);
    EXPECT_EQ(xyOf(readTestPositions(noFooter, TrainingWindow::Reanalysis)), kThree);
    const Bytes shortOne(noFooter.begin(), noFooter.end() - 1);
    EXPECT_TRUE(readTestPositions(shortOne, TrainingWindow::Reanalysis).detections.empty());
    // First byte 1: 13-byte records and a footer.
    const Bytes withFooter = oldBlock(1, 0, kThree, 13, true);
    EXPECT_EQ(xyOf(readTestPositions(withFooter, TrainingWindow::Reanalysis)), kThree);
    const Bytes footerCut(withFooter.begin(), withFooter.end() - 3);
    EXPECT_TRUE(readTestPositions(footerCut, TrainingWindow::Reanalysis).detections.empty());
    // Read as 14-byte records these would give other positions: the layout byte decides.
    EXPECT_NE(xyOf(readTestPositions(oldBlock(2, 0, kThree, 13, true), TrainingWindow::Reanalysis)),
              kThree);
}

TEST(TestPositionsReader, FlatRecords) {
    Bytes file;
    putFlat(file, 0, 400, 300);
    putFlat(file, 1, 500, 500); // another time mark: passed over
    putFlat(file, 0, 1000, 700);
    putFlat(file, 0, 600, 600, 7); // no marker: passed over
    putFlat(file, 0x10000, 1, 1);  // time mark above 16 bits
    putFlat(file, 0, 715, 600);
    const Bytes whole = file;
    putFlat(file, 0, 900, 900);
    file.resize(file.size() - 3); // a record still being written
    for (const Bytes& f : {whole, file}) {
        const TestPositions p = readTestPositions(f, TrainingWindow::Reanalysis);
        EXPECT_TRUE(p.flat);
        EXPECT_EQ(xyOf(p), kThree);
    }
}

TEST(TestPositionsReader, TinyFiles) {
    for (const Bytes& f : {Bytes{}, Bytes{255}, Bytes{2}, Bytes{2, 0, 0}})
        for (TrainingWindow w : {TrainingWindow::Acquisition, TrainingWindow::Reanalysis})
            EXPECT_TRUE(readTestPositions(f, w).detections.empty());
}

TEST(TestMarks, NumberedSquares) {
    TestPositions p;
    p.detections = {{400, 300}, {401, 300}};
    const auto marks = testMarks(p, 36, TrainingWindow::Acquisition, true);
    ASSERT_EQ(marks.size(), 2u);
    EXPECT_EQ(marks[0].kind, TestMark::Kind::Square);
    EXPECT_EQ(marks[0].left, 382);
    EXPECT_EQ(marks[0].top, 282);
    EXPECT_EQ(marks[0].size, 36); // to (418, 318)
    EXPECT_TRUE(marks[0].numbered);
    EXPECT_DOUBLE_EQ(marks[0].textX, 364);
    EXPECT_DOUBLE_EQ(marks[0].textY, 318);
    EXPECT_EQ(marks[0].text, " 1");
    EXPECT_EQ(marks[1].left, 383);
    EXPECT_EQ(marks[1].text, " 2");
    // B = 35: halves to the even neighbour.
    const auto odd = testMarks(p, 35, TrainingWindow::Reanalysis, false);
    EXPECT_EQ(odd[0].left, 382); // nearest(382.5)
    EXPECT_EQ(odd[1].left, 384); // nearest(383.5)
    EXPECT_DOUBLE_EQ(odd[0].textX, 382 - 17.5);
}

TEST(TestMarks, ReanalysisRoundShapeCrossesAndEdges) {
    TestPositions p;
    p.detections = {{400, 300}};
    const auto cross = testMarks(p, 36, TrainingWindow::Reanalysis, true);
    ASSERT_EQ(cross.size(), 1u);
    EXPECT_EQ(cross[0].kind, TestMark::Kind::Cross);
    EXPECT_FALSE(cross[0].numbered);
    ASSERT_EQ(cross[0].lines.size(), 2u);
    EXPECT_DOUBLE_EQ(cross[0].lines[0].x1, 391);
    EXPECT_DOUBLE_EQ(cross[0].lines[0].y1, 291);
    EXPECT_DOUBLE_EQ(cross[0].lines[0].x2, 409);
    EXPECT_DOUBLE_EQ(cross[0].lines[0].y2, 309);
    EXPECT_DOUBLE_EQ(cross[0].lines[1].x1, 409);
    EXPECT_DOUBLE_EQ(cross[0].lines[1].y1, 291);
    EXPECT_DOUBLE_EQ(cross[0].lines[1].x2, 391);
    EXPECT_DOUBLE_EQ(cross[0].lines[1].y2, 309);

    p.flat = true;
    const auto edges = testMarks(p, 36, TrainingWindow::Reanalysis, true);
    EXPECT_EQ(edges[0].kind, TestMark::Kind::Edges);
    EXPECT_TRUE(edges[0].numbered);
    ASSERT_EQ(edges[0].lines.size(), 2u);
    EXPECT_DOUBLE_EQ(edges[0].lines[0].y2, 318); // left edge down
    EXPECT_DOUBLE_EQ(edges[0].lines[1].x2, 418); // top edge across
    EXPECT_DOUBLE_EQ(edges[0].textY, 282);
    EXPECT_DOUBLE_EQ(edges[0].textX, 364);
    EXPECT_EQ(testMarks(p, 36, TrainingWindow::Reanalysis, false)[0].kind, TestMark::Kind::Square);
}

TEST(TestPositionsReader, FromFile) {
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() / ("vx_training_file_" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
    const std::string path = (folder / "xy_worms.bin").string();
    EXPECT_FALSE(readTestPositionsFile(path, TrainingWindow::Acquisition).has_value());
    const Bytes file = currentFile(0, kThree);
    {
        std::ofstream out(path, std::ios::binary);
        out.write(reinterpret_cast<const char*>(file.data()),
                  static_cast<std::streamsize>(file.size()));
    }
    const auto read = readTestPositionsFile(path, TrainingWindow::Acquisition);
    ASSERT_TRUE(read.has_value());
    EXPECT_EQ(xyOf(*read), kThree);
    std::filesystem::remove_all(folder);
}
