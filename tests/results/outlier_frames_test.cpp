#include "app/results/outlier_frames.h"

#include "formats/image_descriptor_file.h"
#include "temp_folder.h"

#include <gtest/gtest.h>

#include <map>

using namespace results;
using namespace results_test;
using Bytes = std::vector<std::uint8_t>;

namespace {

// A descriptor file with `boxes` boxes and one line per frame: the five background values given,
// the grid values 200.
Bytes descriptor(int boxes, const std::vector<std::pair<int, std::vector<int>>>& frames) {
    std::vector<formats::BoxEntry> table;
    for (int k = 0; k < boxes; ++k)
        table.push_back({static_cast<std::uint16_t>(10 * k), static_cast<std::uint16_t>(5 * k)});
    Bytes out = formats::encodeBoxTable(table);
    for (const auto& [frame, values] : frames) {
        std::vector<std::uint8_t> line(static_cast<std::size_t>(boxes), 200);
        for (std::size_t k = 0; k < values.size() && k < line.size(); ++k)
            line[k] = static_cast<std::uint8_t>(values[k]);
        const Bytes l = formats::encodeDescriptorLine(frame, line);
        out.insert(out.end(), l.begin(), l.end());
    }
    return out;
}

std::vector<std::pair<int, std::vector<int>>> allFrames(int value,
                                                        std::map<int, std::vector<int>> special) {
    std::vector<std::pair<int, std::vector<int>>> frames;
    for (int f = 0; f <= 300; ++f) {
        auto it = special.find(f);
        frames.push_back({f, it != special.end() ? it->second : std::vector<int>(5, value)});
    }
    return frames;
}

OutlierCheck check(const Bytes& bytes) {
    TempFolder dir;
    writeBytes(dir.file("xy_image.bin"), bytes);
    return checkOutlierFrames(dir.path());
}

} // namespace

TEST(OutlierFrames, OneDarkBackgroundBoxIsListed) {
    const OutlierCheck c = check(descriptor(12, allFrames(40, {{57, {40, 40, 0, 40, 40}}})));
    ASSERT_TRUE(c.checked) << c.reason;
    EXPECT_EQ(c.text, "57");
    EXPECT_EQ(c.frames, (std::vector<std::int32_t>{57}));
}

TEST(OutlierFrames, FrameThreeHundredAndSingleFrameGroupsAreNeverListed) {
    const OutlierCheck c = check(descriptor(5, allFrames(40, {{300, {255, 0, 255, 0, 255}}})));
    ASSERT_TRUE(c.checked);
    EXPECT_EQ(c.text, "");
    const OutlierCheck single =
        check(descriptor(5, {{150, {0, 0, 0, 0, 0}}, {10, {40, 40, 40, 40, 40}}}));
    EXPECT_TRUE(single.checked);
    EXPECT_EQ(single.text, "");
}

TEST(OutlierFrames, DifferenceEqualToTheToleranceIsNoOutlier) {
    // Mean 100, tolerance 6.
    std::vector<std::pair<int, std::vector<int>>> frames;
    frames.push_back({0, {106, 100, 100, 100, 100}});
    frames.push_back({1, {94, 100, 100, 100, 100}});
    for (int f = 2; f < 10; ++f)
        frames.push_back({f, {100, 100, 100, 100, 100}});
    EXPECT_EQ(check(descriptor(6, frames)).text, "");
    frames[0].second[0] = 107;
    frames[1].second[0] = 93;
    const OutlierCheck c = check(descriptor(6, frames));
    EXPECT_TRUE(c.checked);
    EXPECT_EQ(c.text, "0;1");
}

TEST(OutlierFrames, ToleranceIsNeverBelowThreeGreyLevels) {
    // Mean 40: 6 % would be 2.4; the tolerance is 3.
    std::vector<std::pair<int, std::vector<int>>> frames;
    frames.push_back({20, {40, 40, 40, 44, 40}});
    frames.push_back({21, {40, 40, 40, 36, 40}});
    for (int f = 22; f < 30; ++f)
        frames.push_back({f, {40, 40, 40, 40, 40}});
    EXPECT_EQ(check(descriptor(5, frames)).text, "20;21");
    frames[0].second[3] = 43;
    frames[1].second[3] = 37;
    EXPECT_EQ(check(descriptor(5, frames)).text, "");
}

TEST(OutlierFrames, ListIsAscendingWithoutBlanksOrTrailingSeparator) {
    std::vector<std::pair<int, std::vector<int>>> frames;
    // Written out of order; frame 5 twice: its last line counts.
    frames.push_back({120, {90, 90, 90, 90, 90}});
    frames.push_back({5, {40, 40, 40, 40, 40}});
    for (int f = 0; f < 200; ++f)
        if (f != 120 && f != 5)
            frames.push_back({f, {40, 40, 40, 40, 40}});
    frames.push_back({5, {40, 90, 40, 40, 40}});
    const OutlierCheck c = check(descriptor(8, frames));
    ASSERT_TRUE(c.checked);
    EXPECT_EQ(c.text, "5;120");
}

TEST(OutlierFrames, WhatCannotBeCheckedIsToldApartFromNoOutliers) {
    TempFolder dir;
    OutlierCheck c = checkOutlierFrames(dir.path());
    EXPECT_FALSE(c.checked);
    EXPECT_EQ(c.reason, "Image background file not found");
    EXPECT_EQ(c.text, "");
    EXPECT_EQ(FindOutlierFrames(dir.path()), "");
    EXPECT_FALSE(checkOutlierFrames("").checked);

    // Fewer than five boxes, however wild the values.
    c = check(descriptor(4, allFrames(40, {{3, {0, 0, 0, 0}}})));
    EXPECT_FALSE(c.checked);
    EXPECT_EQ(c.text, "");
    // Frames beyond 300: nothing listed, and not reported as "no outliers".
    c = check([] {
        auto frames = allFrames(40, {{3, {0, 0, 0, 0, 0}}});
        frames.push_back({301, {40, 40, 40, 40, 40}});
        return descriptor(5, frames);
    }());
    EXPECT_FALSE(c.checked);
    EXPECT_EQ(c.reason, "frame 301 lies beyond frame 300");
    EXPECT_EQ(c.text, "");
    // More boxes than any finder run makes (a count of 32768 or more included).
    Bytes huge{0x80, 0x00};
    huge.resize(2 + 4 * 0x8000 + 2 * (2 + 0x8000), 40);
    EXPECT_FALSE(check(huge).checked);
    // Empty, one byte, a table cut short, a folder in place of the file.
    EXPECT_FALSE(check({}).checked);
    EXPECT_FALSE(check({0x00}).checked);
    EXPECT_FALSE(check({0x00, 0x05, 0x00, 0x01}).checked);
    TempFolder other;
    std::filesystem::create_directories(other.file("xy_image.bin"));
    EXPECT_FALSE(checkOutlierFrames(other.path()).checked);
    // A table without lines is checked and has no outliers.
    c = check(descriptor(5, {}));
    EXPECT_TRUE(c.checked);
    EXPECT_EQ(c.text, "");
}

TEST(OutlierFrames, AnyBoxCountBelow32768IsChecked) {
    for (int boxes : {7500, 32767}) {
        std::vector<std::pair<int, std::vector<int>>> frames;
        for (int f = 0; f < 10; ++f)
            frames.push_back(
                {f, f == 4 ? std::vector<int>{40, 40, 40, 10, 40} : std::vector<int>(5, 40)});
        const OutlierCheck c = check(descriptor(boxes, frames));
        ASSERT_TRUE(c.checked) << boxes << " " << c.reason;
        EXPECT_EQ(c.text, "4") << boxes;
    }
}

TEST(OutlierFrames, TornLastLineIsLeftOut) {
    Bytes bytes = descriptor(7, {{1, {40, 40, 40, 40, 40}},
                                 {2, {40, 40, 40, 40, 40}},
                                 {3, {40, 40, 40, 40, 40}},
                                 {4, {0, 0, 0, 0, 0}}});
    bytes.resize(bytes.size() - 2);
    const OutlierCheck c = check(bytes);
    ASSERT_TRUE(c.checked);
    EXPECT_EQ(c.text, "");
}
