// Files written by the project's own finder on synthetic plates, read back by both position-file
// readers and the outlier finder.

#include "app/results/live_block_reader.h"
#include "app/results/outlier_frames.h"
#include "app/results/stored_block_reader.h"

#include "finder/sirrex.h"
#include "formats/position_file.h"
#include "temp_folder.h"
#include "tools/plate/plate.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

using namespace results;
using namespace results_test;
using Status = DetectionBlock::Status;

namespace {

constexpr int kFrames = 4;

// Runs the finder on frames 1 .. kFrames of a plate, with the frame number as time mark.
void runFinderOnPlate(const std::string& acqFolder) {
    std::filesystem::create_directories(acqFolder + "/img");
    plate::PlateOptions options;
    options.worms = 12;
    options.seed = 7;
    for (int t = 1; t <= kFrames; ++t) {
        const std::string pgm = acqFolder + "/img/c1_2_3_4f" + std::to_string(t) + ".pgm";
        writeFile(pgm, plate::toPgm(plate::drawPlate(options, t)));
        std::ostringstream out, err;
        std::istringstream in;
        const int status = finder::runSirrex(
            {"Sirrex",  pgm,      "-xs335", "-xe1170",  "-ys215",
             "-ye1035", "-bs35",  "-pl26",  "-ph76",    "-pt20",
             "-tl6.8",  "-th9.5", "-tt20",  "-ll16",    "-lh25",
             "-lt20",   "-al10",  "-at50",  "-mt31.25", "-ti" + std::to_string(t)},
            out, err, in);
        ASSERT_EQ(status, finder::SIRREX_OK) << err.str();
    }
}

} // namespace

TEST(FinderRoundTrip, BothReadersReadWhatTheFinderWrote) {
    TempFolder dir;
    const std::string acq = dir.file("20240131_0915_plate");
    runFinderOnPlate(acq);
    ASSERT_TRUE(exists(acq + "/xy_worms.bin"));

    const formats::PositionFile file = formats::readPositionFile(acq + "/xy_worms.bin");
    ASSERT_TRUE(file.error.empty()) << file.error;
    ASSERT_EQ(file.blocks.size(), static_cast<std::size_t>(kFrames));

    LiveReaderState live;
    StoredReaderState stored;
    int detections = 0;
    for (int t = 1; t <= kFrames; ++t) {
        const DetectionBlock a = ReadWormBlock(acq, live);
        const DetectionBlock b = ReadWormBlock(acq, stored);
        ASSERT_EQ(a.status, Status::Block) << a.error;
        ASSERT_EQ(b.status, Status::Block) << b.error;
        EXPECT_EQ(a.timeMark, t);
        EXPECT_EQ(b.timeMark, t);
        const formats::PositionBlock& expected = file.blocks[static_cast<std::size_t>(t - 1)];
        EXPECT_EQ(a.count, static_cast<int>(expected.records.size()));
        EXPECT_EQ(a.count, b.count);
        EXPECT_EQ(a.x, b.x);
        EXPECT_EQ(a.y, b.y);
        EXPECT_EQ(a.pixels, b.pixels);
        EXPECT_EQ(a.xSize, b.xSize);
        EXPECT_EQ(a.ySize, b.ySize);
        EXPECT_EQ(a.shape, b.shape);
        // The kept detections are the records with X and Y above 0, in record order.
        std::size_t next = 0;
        for (const formats::WormRecord& r : expected.records) {
            if (r.x == 0 || r.y == 0)
                continue;
            ASSERT_LT(next, a.x.size());
            EXPECT_EQ(a.x[next], r.x);
            EXPECT_EQ(a.y[next], r.y);
            EXPECT_EQ(a.shape[next], std::to_string(r.shape));
            ++next;
        }
        detections += static_cast<int>(next);
        EXPECT_EQ(live.positionCursor, stored.readerCursor);
    }
    EXPECT_GT(detections, 0);
    EXPECT_EQ(ReadWormBlock(acq, live).status, Status::NothingNew);
    EXPECT_EQ(ReadWormBlock(acq, stored).status, Status::NothingNew);
    EXPECT_EQ(static_cast<std::uint64_t>(live.positionCursor) - 1,
              std::filesystem::file_size(acq + "/xy_worms.bin"));

    // The descriptor file of the same runs can be checked.
    const OutlierCheck outliers = checkOutlierFrames(acq);
    EXPECT_TRUE(outliers.checked) << outliers.reason;
}
