#include "app/results/live_block_reader.h"
#include "app/results/stored_block_reader.h"

#include "formats/position_file.h"
#include "temp_folder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <iterator>
#include <vector>

using namespace results;
using namespace results_test;
using Bytes = std::vector<std::uint8_t>;
using Status = DetectionBlock::Status;

namespace {

void put16(Bytes& b, int v) {
    b.push_back(static_cast<std::uint8_t>((v >> 8) & 0xFF));
    b.push_back(static_cast<std::uint8_t>(v & 0xFF));
}

// A record of the current layout (14 bytes) or of layouts 1 and 2 (13 bytes).
Bytes record(int number, int x, int y, int pixels, int xSize, int ySize, int shape,
             bool withGray = true) {
    Bytes b{static_cast<std::uint8_t>(number)};
    for (int v : {x, y, pixels, xSize, ySize, shape})
        put16(b, v);
    if (withGray)
        b.push_back(110);
    return b;
}

Bytes header(int byte0, int timeMark, int count) {
    return {static_cast<std::uint8_t>(byte0),
            static_cast<std::uint8_t>((timeMark >> 8) & 0xFF),
            static_cast<std::uint8_t>(timeMark & 0xFF),
            static_cast<std::uint8_t>(count),
            0x05,
            0x51};
}

// A block of the current layout through the shared encoder.
Bytes block(int timeMark, const std::vector<formats::WormRecord>& records, bool first) {
    return formats::encodeBlock(timeMark, records, first);
}

formats::WormRecord rec(int n, int x, int y, int shape = 3855) {
    formats::WormRecord r;
    r.number = static_cast<std::uint8_t>(n);
    r.x = static_cast<std::uint16_t>(x);
    r.y = static_cast<std::uint16_t>(y);
    r.pixels = 80;
    r.xSize = 12;
    r.ySize = 9;
    r.shape = static_cast<std::uint16_t>(shape);
    r.meanGray = 110;
    return r;
}

// A layout-0 record: marker, 32-bit time mark, six 16-bit fields.
Bytes runRecord(std::uint32_t time, int x, int y, int shape = 7, std::uint8_t marker = 255) {
    Bytes b{marker, static_cast<std::uint8_t>(time >> 24), static_cast<std::uint8_t>(time >> 16),
            static_cast<std::uint8_t>(time >> 8), static_cast<std::uint8_t>(time)};
    for (int v : {x, y, 40, 5, 6, shape})
        put16(b, v);
    return b;
}

Bytes cat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

} // namespace

// ---- live reader -------------------------------------------------------------------------------

TEST(LiveBlockReader, WorkedExampleBlockIsReadByteForByte) {
    TempFolder dir;
    // Time mark 5, one record, as the first block of a new file.
    writeBytes(dir.file("xy_worms.bin"),
               {0x02, 0x00, 0x05, 0x01, 0x05, 0x38, 0x01, 0x02, 0x00, 0x01, 0x50, 0x00, 0x50,
                0x00, 0x0C, 0x00, 0x09, 0x0F, 0x0F, 0x6E, 0x80, 0x00, 0x05, 0x01, 0x05, 0x38});
    LiveReaderState s;
    const DetectionBlock b = ReadWormBlock(dir.path(), s);
    ASSERT_EQ(b.status, Status::Block) << b.error;
    EXPECT_EQ(b.timeMark, 5);
    EXPECT_EQ(b.count, 1);
    ASSERT_EQ(b.x.size(), 2u);
    EXPECT_EQ(b.x[0], 512);
    EXPECT_EQ(b.y[0], 336);
    EXPECT_EQ(b.pixels[0], 80);
    EXPECT_EQ(b.xSize[0], 12);
    EXPECT_EQ(b.ySize[0], 9);
    EXPECT_EQ(b.shape[0], "3855");
    EXPECT_EQ(b.x[1], 0);
    EXPECT_EQ(b.shape[1], "");
    EXPECT_EQ(s.positionCursor, 27);
}

TEST(LiveBlockReader, TwoRecordBlockAtCursorOneThenOneBlockPerCall) {
    TempFolder dir;
    const std::string path = dir.file("xy_worms.bin");
    writeBytes(path, cat({block(300, {rec(1, 100, 200), rec(2, 300, 400, 65535)}, true),
                          block(301, {}, false), block(302, {rec(1, 5, 6)}, false)}));
    LiveReaderState s;
    DetectionBlock b = ReadWormBlock(dir.path(), s);
    ASSERT_EQ(b.status, Status::Block);
    EXPECT_EQ(b.timeMark, 300); // byte 0 (the layout byte 2) is not part of it
    EXPECT_EQ(b.count, 2);
    EXPECT_EQ(b.shape[1], "65535");
    EXPECT_EQ(s.positionCursor, 41);
    EXPECT_EQ(s.blockNumber, 2);
    EXPECT_EQ(s.ringSlot, 1);
    b = ReadWormBlock(dir.path(), s);
    EXPECT_EQ(b.timeMark, 301);
    EXPECT_EQ(b.count, 0);
    EXPECT_EQ(b.x.size(), 1u);
    EXPECT_EQ(s.positionCursor, 53);
    b = ReadWormBlock(dir.path(), s);
    EXPECT_EQ(b.timeMark, 302);
    EXPECT_EQ(s.blockNumber, 4);
    // File length reached: nothing new, nothing changes.
    b = ReadWormBlock(dir.path(), s);
    EXPECT_EQ(b.status, Status::NothingNew);
    EXPECT_EQ(b.timeMark, -1);
    EXPECT_EQ(b.count, 0);
    EXPECT_EQ(b.x.size(), 1u);
    EXPECT_EQ(s.positionCursor, 53 + 26);
    EXPECT_EQ(s.blockNumber, 4);
}

TEST(LiveBlockReader, KeptDetectionsArePackedInRecordNumberOrder) {
    TempFolder dir;
    // Records out of order, one at X = 0, one at Y = 0, one number given twice.
    writeBytes(dir.file("xy_worms.bin"), block(7,
                                               {rec(3, 30, 33), rec(1, 10, 11), rec(2, 0, 22),
                                                rec(4, 40, 0), rec(5, 99, 99), rec(5, 50, 55)},
                                               true));
    LiveReaderState s;
    const DetectionBlock b = ReadWormBlock(dir.path(), s);
    ASSERT_EQ(b.status, Status::Block);
    EXPECT_EQ(b.count, 6);
    EXPECT_EQ(b.x, (std::vector<std::int16_t>{10, 30, 50, 0, 0, 0, 0}));
    EXPECT_EQ(b.y, (std::vector<std::int16_t>{11, 33, 55, 0, 0, 0, 0}));
    EXPECT_EQ(b.shape[2], "3855");
    EXPECT_EQ(b.shape[3], "");
}

TEST(LiveBlockReader, TimeMarksBeyond16BitsOfLongRuns) {
    TempFolder dir;
    writeBytes(dir.file("xy_worms.bin"),
               cat({block(1, {}, true), block(70000, {}, false), block(86400, {}, false)}));
    LiveReaderState s;
    EXPECT_EQ(ReadWormBlock(dir.path(), s).timeMark, 1);
    EXPECT_EQ(ReadWormBlock(dir.path(), s).timeMark, 70000);
    EXPECT_EQ(ReadWormBlock(dir.path(), s).timeMark, 86400);
}

TEST(LiveBlockReader, RingSlotWrapsAfterSixty) {
    TempFolder dir;
    Bytes all = block(0, {}, true);
    for (int t = 1; t <= 61; ++t) {
        const Bytes b = block(t, {}, false);
        all.insert(all.end(), b.begin(), b.end());
    }
    writeBytes(dir.file("xy_worms.bin"), all);
    LiveReaderState s;
    for (int i = 0; i < 60; ++i)
        ReadWormBlock(dir.path(), s);
    EXPECT_EQ(s.ringSlot, 60);
    ReadWormBlock(dir.path(), s);
    EXPECT_EQ(s.ringSlot, 0);
    EXPECT_EQ(s.blockNumber, 62);
}

TEST(LiveBlockReader, IncompleteBlockIsNothingNewUntilItIsWhole) {
    TempFolder dir;
    const std::string path = dir.file("xy_worms.bin");
    const Bytes whole = block(9, {rec(1, 100, 100), rec(2, 200, 200)}, true);
    LiveReaderState s;
    EXPECT_EQ(ReadWormBlock(dir.path(), s).status, Status::NothingNew); // no file
    for (std::size_t cut :
         {std::size_t{1}, std::size_t{5}, std::size_t{6}, std::size_t{19}, whole.size() - 1}) {
        writeBytes(path, Bytes(whole.begin(), whole.begin() + static_cast<long>(cut)));
        const DetectionBlock b = ReadWormBlock(dir.path(), s);
        EXPECT_EQ(b.status, Status::NothingNew) << cut;
        EXPECT_EQ(b.timeMark, -1);
        EXPECT_EQ(s.positionCursor, 1);
        EXPECT_EQ(s.blockNumber, 1);
    }
    writeBytes(path, whole);
    EXPECT_EQ(ReadWormBlock(dir.path(), s).timeMark, 9);
}

TEST(LiveBlockReader, OutOfRangeBlockIsPassedOverOnce) {
    TempFolder dir;
    writeBytes(dir.file("xy_worms.bin"),
               cat({block(1, {rec(0, 100, 100)}, true), block(2, {rec(1, 40000, 100)}, false),
                    block(3, {rec(1, 10, 10)}, false)}));
    LiveReaderState s;
    DetectionBlock b = ReadWormBlock(dir.path(), s);
    EXPECT_EQ(b.status, Status::Skipped);
    EXPECT_EQ(b.timeMark, -1);
    EXPECT_EQ(b.error, "xy_worms.bin: block of time mark 1 passed over (record number 0)");
    EXPECT_EQ(s.positionCursor, 27);
    EXPECT_EQ(s.blockNumber, 1);
    b = ReadWormBlock(dir.path(), s);
    EXPECT_EQ(b.status, Status::Skipped);
    EXPECT_EQ(s.positionCursor, 53);
    b = ReadWormBlock(dir.path(), s);
    EXPECT_EQ(b.status, Status::Block);
    EXPECT_EQ(b.timeMark, 3);
    EXPECT_EQ(s.blockNumber, 2);
}

TEST(LiveBlockReader, BytesThatAreNoBlockAreAnErrorAndTheCursorStays) {
    TempFolder dir;
    const std::string path = dir.file("xy_worms.bin");
    LiveReaderState s;
    // A later block that starts with a footer byte.
    Bytes bad = block(1, {}, true);
    const Bytes footer(bad.end() - 6, bad.end());
    bad.insert(bad.end(), footer.begin(), footer.end());
    bad.insert(bad.end(), footer.begin(), footer.end());
    writeBytes(path, bad);
    ReadWormBlock(dir.path(), s);
    DetectionBlock b = ReadWormBlock(dir.path(), s);
    EXPECT_EQ(b.status, Status::Error);
    EXPECT_EQ(b.error, "xy_worms.bin: no block header at byte 13");
    EXPECT_EQ(s.positionCursor, 13);
    LiveReaderState t;
    // No run folder: an error, never a file of the working folder.
    EXPECT_EQ(ReadWormBlock("", t).status, Status::Error);
    // The position file is a folder.
    TempFolder other;
    std::filesystem::create_directories(other.file("xy_worms.bin"));
    EXPECT_EQ(ReadWormBlock(other.path(), t).status, Status::Error);
}

TEST(LiveBlockReader, FirstByteOfTheFileIsNotLookedAt) {
    TempFolder dir;
    const std::string path = dir.file("xy_worms.bin");
    for (std::uint8_t first : {std::uint8_t{0}, std::uint8_t{1}, std::uint8_t{3},
                               std::uint8_t{0x85}, std::uint8_t{0xFF}}) {
        Bytes bytes = cat({block(300, {rec(1, 100, 200)}, true), block(301, {}, false)});
        bytes[0] = first;
        writeBytes(path, bytes);
        LiveReaderState s;
        DetectionBlock b = ReadWormBlock(dir.path(), s);
        ASSERT_EQ(b.status, Status::Block) << int(first) << " " << b.error;
        EXPECT_EQ(b.timeMark, 300);
        EXPECT_EQ(b.x[0], 100);
        EXPECT_EQ(s.positionCursor, 27);
        b = ReadWormBlock(dir.path(), s);
        EXPECT_EQ(b.timeMark, 301);
    }
}

TEST(LiveBlockReader, FooterThatDoesNotMatchIsReadByTheHeaderCountAndToldOnce) {
    TempFolder dir;
    Bytes second = block(2, {rec(1, 20, 21), rec(2, 30, 31)}, false);
    second[second.size() - 4] ^= 0xFF; // footer count byte
    Bytes third = block(3, {rec(1, 40, 41)}, false);
    third[third.size() - 6] = 0x00; // footer flag missing
    Bytes first = block(1, {rec(1, 5, 5)}, true);
    first[first.size() - 1] ^= 0x01; // footer check value
    writeBytes(dir.file("xy_worms.bin"),
               cat({first, second, third, block(4, {rec(1, 50, 51)}, false)}));
    LiveReaderState s;
    DetectionBlock b = ReadWormBlock(dir.path(), s);
    ASSERT_EQ(b.status, Status::Block) << b.error;
    EXPECT_EQ(b.timeMark, 1);
    EXPECT_TRUE(b.footerMismatch);
    EXPECT_EQ(b.notice, "xy_worms.bin: the footer of the block at byte 1 does not match its "
                        "header; blocks are read by their header's count");
    EXPECT_EQ(s.footerMismatches, 1);
    EXPECT_EQ(s.positionCursor, 27);
    b = ReadWormBlock(dir.path(), s);
    ASSERT_EQ(b.status, Status::Block);
    EXPECT_EQ(b.timeMark, 2);
    EXPECT_EQ(b.count, 2);
    EXPECT_EQ(b.x, (std::vector<std::int16_t>{20, 30, 0}));
    EXPECT_TRUE(b.footerMismatch);
    EXPECT_EQ(b.notice, ""); // told once per run
    EXPECT_EQ(s.footerMismatches, 2);
    b = ReadWormBlock(dir.path(), s);
    ASSERT_EQ(b.status, Status::Block);
    EXPECT_EQ(b.timeMark, 3);
    EXPECT_EQ(s.footerMismatches, 3);
    b = ReadWormBlock(dir.path(), s);
    ASSERT_EQ(b.status, Status::Block);
    EXPECT_EQ(b.timeMark, 4);
    EXPECT_FALSE(b.footerMismatch);
    EXPECT_EQ(b.x[0], 50);
    EXPECT_EQ(s.footerMismatches, 3);
    EXPECT_EQ(s.blockNumber, 5);
    // A new run starts with fresh state and tells it again.
    LiveReaderState again;
    EXPECT_FALSE(ReadWormBlock(dir.path(), again).notice.empty());
}

// ---- stored reader -----------------------------------------------------------------------------

TEST(StoredBlockReader, LayoutCodeFromTheFirstByte) {
    EXPECT_EQ(positionLayoutOf({255}, 20), 0);
    EXPECT_EQ(positionLayoutOf({0}, 20), 1);
    EXPECT_EQ(positionLayoutOf({1}, 20), 2);
    EXPECT_EQ(positionLayoutOf({2}, 20), 3);
    EXPECT_EQ(positionLayoutOf({7}, 20), 0);
    EXPECT_EQ(positionLayoutOf({2}, 1), 0);
    EXPECT_EQ(positionLayoutOf({}, 0), 0);
}

TEST(StoredBlockReader, CurrentLayoutBlocks) {
    TempFolder dir;
    writeBytes(dir.file("xy_worms.bin"),
               cat({block(0x1234, {rec(1, 100, 100), rec(2, 0, 5), rec(3, 300, 301)}, true),
                    block(2, {}, false)}));
    StoredReaderState s;
    DetectionBlock b = ReadWormBlock(dir.path(), s);
    ASSERT_EQ(b.status, Status::Block) << b.error;
    EXPECT_EQ(b.timeMark, 0x1234);
    EXPECT_EQ(b.count, 3);
    EXPECT_EQ(b.x, (std::vector<std::int16_t>{100, 300, 0, 0}));
    EXPECT_EQ(b.shape, (std::vector<std::string>{"3855", "3855", "", ""}));
    EXPECT_EQ(s.readerCursor, 1 + 12 + 42);
    b = ReadWormBlock(dir.path(), s);
    EXPECT_EQ(b.timeMark, 2);
    EXPECT_EQ(b.count, 0);
    EXPECT_EQ(s.readerCursor, 1 + 54 + 12);
    b = ReadWormBlock(dir.path(), s);
    EXPECT_EQ(b.status, Status::NothingNew);
    EXPECT_EQ(b.timeMark, 0);
}

TEST(StoredBlockReader, AFlaggedLaterHeaderIsAnErrorNotTheEndOfTheFile) {
    // A later header with the footer flag that claims more records than the file holds: the
    // file does not end there, it is damaged, and both readers say so.
    TempFolder dir;
    Bytes bytes = block(0x11, {rec(1, 100, 100)}, true);
    const Bytes flagged = {0x80, 0x00, 0x12, 0x05, 0x00, 0x00};
    bytes.insert(bytes.end(), flagged.begin(), flagged.end());
    writeBytes(dir.file("xy_worms.bin"), bytes);
    StoredReaderState stored;
    ASSERT_EQ(ReadWormBlock(dir.path(), stored).status, Status::Block);
    const DetectionBlock b = ReadWormBlock(dir.path(), stored);
    EXPECT_EQ(b.status, Status::Error);
    EXPECT_FALSE(b.error.empty());
    LiveReaderState live;
    ASSERT_EQ(ReadWormBlock(dir.path(), live).status, Status::Block);
    EXPECT_EQ(ReadWormBlock(dir.path(), live).status, Status::Error);
}

TEST(StoredBlockReader, OlderLayoutsWithThirteenByteRecords) {
    TempFolder dir;
    const std::string path = dir.file("xy_worms.bin");
    // Layout 1: header and records, no footer.
    writeBytes(path, cat({header(0, 17, 2), record(1, 10, 11, 5, 1, 2, 9, false),
                          record(2, 20, 21, 5, 1, 2, 8, false), header(1, 18, 1),
                          record(1, 30, 31, 5, 1, 2, 7, false)}));
    StoredReaderState s;
    DetectionBlock b = ReadWormBlock(dir.path(), s);
    ASSERT_EQ(b.status, Status::Block) << b.error;
    EXPECT_EQ(b.timeMark, 17);
    EXPECT_EQ(b.x, (std::vector<std::int16_t>{10, 20, 0}));
    EXPECT_EQ(s.readerCursor, 1 + 6 + 26);
    b = ReadWormBlock(dir.path(), s);
    EXPECT_EQ(b.timeMark, 65536 + 18); // later header byte 0 is bits 16 to 23
    EXPECT_EQ(b.shape[0], "7");
    EXPECT_EQ(s.readerCursor, 1 + 32 + 19);

    // Layout 2: the same with a footer.
    const Bytes f2 = header(0x80, 17, 2);
    writeBytes(path, cat({header(1, 17, 2), record(1, 10, 11, 5, 1, 2, 9, false),
                          record(2, 20, 21, 5, 1, 2, 8, false), f2, header(0, 40000, 0), f2}));
    StoredReaderState t;
    b = ReadWormBlock(dir.path(), t);
    EXPECT_EQ(b.timeMark, 17);
    EXPECT_EQ(t.readerCursor, 1 + 12 + 26);
    b = ReadWormBlock(dir.path(), t);
    EXPECT_EQ(b.status, Status::Block);
    EXPECT_EQ(b.timeMark, 40000); // a low byte 1 of 128 or more is no overflow
    EXPECT_EQ(t.readerCursor, 1 + 38 + 12);
}

TEST(StoredBlockReader, RunLayoutSplitsAtOneThousandAndAtANewTimeMark) {
    TempFolder dir;
    Bytes all;
    for (int i = 0; i < 1200; ++i) {
        const Bytes r = runRecord(70000, 100 + i % 500, 200);
        all.insert(all.end(), r.begin(), r.end());
    }
    const Bytes next = runRecord(70001, 5, 6, 1234);
    all.insert(all.end(), next.begin(), next.end());
    writeBytes(dir.file("xy_worms.bin"), all);
    StoredReaderState s;
    DetectionBlock b = ReadWormBlock(dir.path(), s);
    ASSERT_EQ(b.status, Status::Block) << b.error;
    EXPECT_EQ(b.timeMark, 70000);
    EXPECT_EQ(b.count, 1000);
    EXPECT_EQ(s.readerCursor, 1 + 17000);
    b = ReadWormBlock(dir.path(), s);
    EXPECT_EQ(b.timeMark, 70000);
    EXPECT_EQ(b.count, 200);
    EXPECT_EQ(b.x[0], 100 + 1000 % 500);
    b = ReadWormBlock(dir.path(), s);
    EXPECT_EQ(b.timeMark, 70001);
    EXPECT_EQ(b.count, 1);
    EXPECT_EQ(b.shape[0], "1234");
    EXPECT_EQ(ReadWormBlock(dir.path(), s).status, Status::NothingNew);
}

TEST(StoredBlockReader, RunRecordWithoutMarkerIsPassedOverNotReadForever) {
    TempFolder dir;
    writeBytes(dir.file("xy_worms.bin"),
               cat({runRecord(3, 10, 10), runRecord(3, 11, 11, 7, 0x44), runRecord(4, 12, 12),
                    runRecord(0x80000000u, 1, 1), runRecord(5, 13, 13)}));
    StoredReaderState s;
    DetectionBlock b = ReadWormBlock(dir.path(), s);
    EXPECT_EQ(b.count, 1); // the unmarked record ends the block
    b = ReadWormBlock(dir.path(), s);
    EXPECT_EQ(b.status, Status::Skipped);
    EXPECT_EQ(s.readerCursor, 1 + 34);
    b = ReadWormBlock(dir.path(), s);
    EXPECT_EQ(b.timeMark, 4);
    b = ReadWormBlock(dir.path(), s);
    EXPECT_EQ(b.status, Status::Skipped); // a time mark beyond 32 bits
    b = ReadWormBlock(dir.path(), s);
    EXPECT_EQ(b.timeMark, 5);
}

TEST(StoredBlockReader, TornBlocksOfEveryLayoutAreNothingNew) {
    TempFolder dir;
    const std::string path = dir.file("xy_worms.bin");
    const std::vector<Bytes> files = {
        cat({header(0, 5, 2), record(1, 10, 11, 5, 1, 2, 9, false),
             record(2, 20, 21, 5, 1, 2, 8, false)}),
        cat({header(1, 5, 2), record(1, 10, 11, 5, 1, 2, 9, false),
             record(2, 20, 21, 5, 1, 2, 8, false), header(0x80, 5, 2)}),
        block(5, {rec(1, 10, 11), rec(2, 20, 21)}, true), runRecord(5, 10, 11)};
    for (const Bytes& whole : files) {
        for (std::size_t cut = 2; cut < whole.size(); cut += 3) {
            writeBytes(path, Bytes(whole.begin(), whole.begin() + static_cast<long>(cut)));
            StoredReaderState s;
            const DetectionBlock b = ReadWormBlock(dir.path(), s);
            EXPECT_EQ(b.status, Status::NothingNew) << "cut " << cut;
            EXPECT_EQ(s.readerCursor, 1);
        }
        writeBytes(path, whole);
        StoredReaderState s;
        const DetectionBlock b = ReadWormBlock(dir.path(), s);
        EXPECT_EQ(b.status, Status::Block);
        EXPECT_EQ(b.timeMark, 5);
        EXPECT_EQ(s.readerCursor, 1 + static_cast<std::int32_t>(whole.size()));
    }
}

TEST(StoredBlockReader, OutOfRangeBlocksArePassedOver) {
    TempFolder dir;
    const std::string path = dir.file("xy_worms.bin");
    writeBytes(path, cat({block(1, {rec(0, 10, 10)}, true), block(2, {rec(1, 10, 0x8000)}, false),
                          block(3, {rec(1, 10, 10)}, false)}));
    StoredReaderState s;
    DetectionBlock b = ReadWormBlock(dir.path(), s);
    EXPECT_EQ(b.status, Status::Skipped);
    EXPECT_EQ(b.error, "xy_worms.bin: block at byte 1 passed over (detection number 0)");
    b = ReadWormBlock(dir.path(), s);
    EXPECT_EQ(b.status, Status::Skipped);
    EXPECT_EQ(b.count, 0);
    b = ReadWormBlock(dir.path(), s);
    EXPECT_EQ(b.status, Status::Block);
    EXPECT_EQ(b.timeMark, 3);
    EXPECT_EQ(ReadWormBlock("", s).status, Status::Error);
}

TEST(StoredBlockReader, FooterIsNotCheckedAndTheFileIsReadOnceAlike) {
    // Block 2's footer is damaged (its count byte and its flag): it is read by its header's
    // count like any other, tells so, and the blocks after it follow, as the live reader
    // reads them.
    TempFolder dir;
    Bytes second = block(2, {rec(1, 20, 21), rec(2, 22, 23)}, false);
    second[second.size() - 3] ^= 0xFF;
    second[second.size() - 6] = 0x00;
    Bytes third = block(3, {rec(1, 30, 31)}, false);
    third[third.size() - 1] ^= 0x01; // footer check value
    const Bytes all = cat({block(1, {rec(1, 10, 11)}, true), second, third});
    writeBytes(dir.file("xy_worms.bin"), all);
    const StoredPositionFile file = loadStoredPositionFile(dir.path());
    ASSERT_TRUE(file.ok);
    StoredReaderState s, once;
    LiveReaderState live;
    const std::vector<std::pair<int, bool>> expected = {{1, false}, {2, true}, {3, true}};
    for (const auto& [time, damaged] : expected) {
        const DetectionBlock b = ReadWormBlock(dir.path(), s);
        ASSERT_EQ(b.status, Status::Block) << b.error;
        EXPECT_EQ(b.timeMark, time);
        EXPECT_EQ(b.x[0], 10 * time);
        EXPECT_EQ(b.footerMismatch, damaged);
        const DetectionBlock c = ReadWormBlock(file, once);
        EXPECT_EQ(c.timeMark, b.timeMark);
        EXPECT_EQ(c.x, b.x);
        EXPECT_EQ(c.footerMismatch, damaged);
        EXPECT_EQ(once.readerCursor, s.readerCursor);
        EXPECT_EQ(ReadWormBlock(dir.path(), live).x, b.x);
        if (time == 2) {
            EXPECT_EQ(b.notice, "xy_worms.bin: the footer of the block at byte 27 does not match "
                                "its header; blocks are read by their header's count");
        }
    }
    EXPECT_EQ(s.readerCursor, 1 + static_cast<std::int32_t>(all.size()));
    EXPECT_EQ(ReadWormBlock(dir.path(), s).status, Status::NothingNew);
    EXPECT_EQ(ReadWormBlock(file, once).status, Status::NothingNew);
}

TEST(StoredBlockReader, ReadingAFileAgainAndAgainKeepsNoDescriptorOpen) {
    // A window steps through a position file one block at a time for hours: every read closes
    // what it opened.
    TempFolder dir;
    writeBytes(dir.file("xy_worms.bin"), block(7, {rec(1, 10, 11)}, true));
    const auto openDescriptors = [] {
        return std::distance(std::filesystem::directory_iterator("/proc/self/fd"),
                             std::filesystem::directory_iterator());
    };
    const auto before = openDescriptors();
    for (int i = 0; i < 200; ++i) {
        StoredReaderState state;
        EXPECT_EQ(ReadWormBlock(dir.path(), state).timeMark, 7);
    }
    EXPECT_EQ(openDescriptors(), before);
}
