#include "formats/image_descriptor_file.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

TEST(ImageDescriptorFileTest, TableAndLineBytes) {
    const std::vector<formats::BoxEntry> boxes{{750, 120}, {0x1234, 0xFFFF}};
    EXPECT_EQ(formats::encodeBoxTable(boxes),
              (Bytes{0x00, 0x02, 0x02, 0xEE, 0x00, 0x78, 0x12, 0x34, 0xFF, 0xFF}));
    const Bytes values{7, 255};
    // Only the low 16 bits of the time mark are kept.
    EXPECT_EQ(formats::encodeDescriptorLine(0x10203, values), (Bytes{0x02, 0x03, 7, 255}));
}

TEST(ImageDescriptorFileTest, DecodesTableLinesAndAnIncompleteTail) {
    const std::vector<formats::BoxEntry> boxes{{1, 2}, {3, 4}, {5, 6}};
    Bytes file = formats::encodeBoxTable(boxes);
    for (std::uint16_t t : {0, 1, 300}) {
        const Bytes line =
            formats::encodeDescriptorLine(t, Bytes{1, 2, static_cast<std::uint8_t>(t)});
        file.insert(file.end(), line.begin(), line.end());
    }
    file.push_back(0x00);
    const formats::ImageDescriptorFile decoded = formats::decodeImageDescriptorFile(file);
    EXPECT_EQ(decoded.error, "");
    EXPECT_EQ(decoded.boxes, boxes);
    ASSERT_EQ(decoded.lines.size(), 3u);
    EXPECT_EQ(decoded.lines[2].timeMark, 300);
    EXPECT_EQ(decoded.lines[2].values, (Bytes{1, 2, 44}));
    EXPECT_EQ(decoded.trailingBytes, 1u);
}

TEST(ImageDescriptorFileTest, LinesTakeNoMoreMemoryThanTheFileWhateverTheyHold) {
    // Zero-filled: no boxes, a line every two bytes. One box: a line every three bytes.
    Bytes oneBox = formats::encodeBoxTable(std::vector<formats::BoxEntry>{{10, 20}});
    oneBox.resize(oneBox.size() + 3 * 100000, 7);
    for (const Bytes& file : {Bytes(1 << 20, 0), oneBox}) {
        const formats::ImageDescriptorFile decoded = formats::decodeImageDescriptorFile(file);
        ASSERT_EQ(decoded.error, "");
        EXPECT_EQ(decoded.lines.size(), (file.size() - 2 - 4 * decoded.boxes.size()) /
                                            (2 + decoded.boxes.size()));
        EXPECT_LE(decoded.lines.heldBytes(), file.size());
    }
}

TEST(ImageDescriptorFileTest, ACutTableIsAnError) {
    EXPECT_NE(formats::decodeImageDescriptorFile(Bytes{0x00, 0x02, 0, 1, 0, 2}).error, "");
    EXPECT_TRUE(formats::imageDescriptorFileIsNew(1));
    EXPECT_FALSE(formats::imageDescriptorFileIsNew(2));
}

} // namespace
