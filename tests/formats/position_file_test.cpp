#include "formats/position_file.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

formats::WormRecord exampleRecord() {
    formats::WormRecord r;
    r.number = 1;
    r.x = 512;
    r.y = 336;
    r.pixels = 80;
    r.xSize = 12;
    r.ySize = 9;
    r.shape = 0x0F0F;
    r.meanGray = 110;
    return r;
}

TEST(PositionFileTest, RecordBytesAndCheckValueOfTheWorkedExample) {
    Bytes record;
    formats::encodeRecord(exampleRecord(), record);
    EXPECT_EQ(record, (Bytes{0x01, 0x02, 0x00, 0x01, 0x50, 0x00, 0x50, 0x00, 0x0C, 0x00, 0x09, 0x0F,
                             0x0F, 0x6E}));
    EXPECT_EQ(formats::get_output_hash(record.data(), record.size()), 0x69);
    EXPECT_EQ(formats::blockCheckValue(record), 0x0538);
    EXPECT_EQ(formats::decodeRecord(record.data()), exampleRecord());
}

TEST(PositionFileTest, WorkedExampleBlockInALaterAndInTheFirstPlace) {
    const std::vector<formats::WormRecord> records{exampleRecord()};
    const Bytes body{0x01, 0x02, 0x00, 0x01, 0x50, 0x00, 0x50,
                     0x00, 0x0C, 0x00, 0x09, 0x0F, 0x0F, 0x6E};
    Bytes later{0x00, 0x00, 0x05, 0x01, 0x05, 0x38};
    later.insert(later.end(), body.begin(), body.end());
    later.insert(later.end(), {0x80, 0x00, 0x05, 0x01, 0x05, 0x38});
    EXPECT_EQ(formats::encodeBlock(5, records, false), later);

    Bytes first = later;
    first[0] = 0x02; // the layout byte; the footer keeps 0x80
    EXPECT_EQ(formats::encodeBlock(5, records, true), first);
}

TEST(PositionFileTest, EmptyBlockIsTwelveBytes) {
    EXPECT_EQ(formats::encodeBlock(300, {}, false),
              (Bytes{0x00, 0x01, 0x2C, 0x00, 0x05, 0x51, 0x80, 0x01, 0x2C, 0x00, 0x05, 0x51}));
    EXPECT_EQ(formats::encodeBlock(300, {}, true),
              (Bytes{0x02, 0x01, 0x2C, 0x00, 0x05, 0x51, 0x80, 0x01, 0x2C, 0x00, 0x05, 0x51}));
}

TEST(PositionFileTest, HighTimeMarkBitsGoIntoByteZeroOfLaterBlocksOnly) {
    const Bytes later = formats::encodeBlock(0x12345, {}, false);
    EXPECT_EQ(later[0], 0x01);
    EXPECT_EQ(later[1], 0x23);
    EXPECT_EQ(later[2], 0x45);
    EXPECT_EQ(later[6], 0x81);
    // Bit 23 and up are not kept; bit 7 of byte 0 stays clear.
    EXPECT_EQ(formats::encodeBlock(0xFF0001, {}, false)[0], 0x7F);
}

TEST(PositionFileTest, DecodesAFileOfSeveralBlocks) {
    Bytes file = formats::encodeBlock(5, std::vector{exampleRecord()}, true);
    const Bytes second = formats::encodeBlock(70000, {}, false);
    file.insert(file.end(), second.begin(), second.end());
    formats::WormRecord other = exampleRecord();
    other.number = 2;
    other.x = 0xFFFF;
    const Bytes third = formats::encodeBlock(6, std::vector{exampleRecord(), other}, false);
    file.insert(file.end(), third.begin(), third.end());

    const formats::PositionFile decoded = formats::decodePositionFile(file);
    EXPECT_EQ(decoded.error, "");
    EXPECT_EQ(decoded.layoutByte, 2);
    ASSERT_EQ(decoded.blocks.size(), 3u);
    EXPECT_EQ(decoded.blocks[0].timeMark, 5); // the layout byte is no part of it
    EXPECT_EQ(decoded.blocks[1].timeMark, 70000);
    EXPECT_EQ(decoded.blocks[2].timeMark, 6);
    EXPECT_EQ(decoded.blocks[2].records[1], other);
    for (const auto& b : decoded.blocks) {
        EXPECT_TRUE(b.checkValueMatches);
        EXPECT_TRUE(b.footerMatches);
    }
    EXPECT_EQ(decoded.consumed, file.size());
}

TEST(PositionFileTest, AnIncompleteLastBlockIsLeftForLater) {
    Bytes file = formats::encodeBlock(1, std::vector{exampleRecord()}, true);
    const std::size_t complete = file.size();
    const Bytes next = formats::encodeBlock(2, std::vector{exampleRecord()}, false);
    file.insert(file.end(), next.begin(), next.end() - 1);
    const formats::PositionFile decoded = formats::decodePositionFile(file);
    EXPECT_EQ(decoded.error, "");
    EXPECT_EQ(decoded.blocks.size(), 1u);
    EXPECT_EQ(decoded.consumed, complete);
    EXPECT_FALSE(formats::decodeBlockAt(file, complete, false).has_value());
    EXPECT_EQ(formats::blockSizeAt(file, complete), 26u);
    EXPECT_FALSE(formats::blockSizeAt(file, file.size() - 2).has_value());
}

TEST(PositionFileTest, DamageIsSeen) {
    Bytes file = formats::encodeBlock(1, std::vector{exampleRecord()}, true);
    file[10] ^= 0x01; // a record byte
    auto block = formats::decodeBlockAt(file, 0, true);
    ASSERT_TRUE(block.has_value());
    EXPECT_FALSE(block->checkValueMatches);
    EXPECT_TRUE(block->footerMatches);

    file[file.size() - 1] ^= 0x01; // the footer
    const formats::PositionFile decoded = formats::decodePositionFile(file);
    EXPECT_TRUE(decoded.blocks.empty());
    EXPECT_NE(decoded.error, "");
    EXPECT_NE(formats::decodePositionFile(Bytes{0x00, 0x00}).error, "");
}

TEST(PositionFileTest, NewnessCountsAOneByteFileAsNew) {
    EXPECT_TRUE(formats::positionFileIsNew(0));
    EXPECT_TRUE(formats::positionFileIsNew(1));
    EXPECT_FALSE(formats::positionFileIsNew(2));
}

} // namespace
