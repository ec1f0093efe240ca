#pragma once
// Hand-made stored acquisitions: position blocks, descriptor lines and frame files.

#include "formats/image_descriptor_file.h"
#include "formats/position_file.h"
#include "temp_folder.h"

#include <filesystem>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace results_test {

struct Det {
    int x = 0;
    int y = 0;
    int shape = 0;
};

// A position file: one block per (time mark, detections), the first with the layout byte.
inline std::vector<std::uint8_t>
positionFile(const std::vector<std::pair<int, std::vector<Det>>>& blocks) {
    std::vector<std::uint8_t> out;
    for (std::size_t b = 0; b < blocks.size(); ++b) {
        std::vector<formats::WormRecord> records;
        for (std::size_t i = 0; i < blocks[b].second.size(); ++i) {
            const Det& d = blocks[b].second[i];
            formats::WormRecord r;
            r.number = static_cast<std::uint8_t>(i + 1);
            r.x = static_cast<std::uint16_t>(d.x);
            r.y = static_cast<std::uint16_t>(d.y);
            r.pixels = 80;
            r.xSize = 12;
            r.ySize = 9;
            r.shape = static_cast<std::uint16_t>(d.shape);
            r.meanGray = 110;
            records.push_back(r);
        }
        const auto bytes = formats::encodeBlock(blocks[b].first, records, b == 0);
        out.insert(out.end(), bytes.begin(), bytes.end());
    }
    return out;
}

// A descriptor file: five background boxes at the top left, then the grid boxes given; one line
// per frame with the background boxes at 100 and the grid values from `grid`(frame, index).
inline std::vector<std::uint8_t>
descriptorFile(const std::vector<formats::BoxEntry>& gridBoxes, const std::vector<int>& frames,
               const std::function<int(int frame, int gridIndex)>& grid,
               const std::function<int(int frame, int box)>& background = {}) {
    std::vector<formats::BoxEntry> table;
    for (int k = 0; k < 5; ++k)
        table.push_back({static_cast<std::uint16_t>(20 + 10 * k), 20});
    table.insert(table.end(), gridBoxes.begin(), gridBoxes.end());
    std::vector<std::uint8_t> out = formats::encodeBoxTable(table);
    for (const int f : frames) {
        std::vector<std::uint8_t> values;
        for (int k = 0; k < 5; ++k)
            values.push_back(static_cast<std::uint8_t>(background ? background(f, k) : 100));
        for (std::size_t g = 0; g < gridBoxes.size(); ++g)
            values.push_back(static_cast<std::uint8_t>(grid(f, static_cast<int>(g))));
        const auto line = formats::encodeDescriptorLine(f, values);
        out.insert(out.end(), line.begin(), line.end());
    }
    return out;
}

inline std::vector<int> frameRange(int first, int last) {
    std::vector<int> frames;
    for (int f = first; f <= last; ++f)
        frames.push_back(f);
    return frames;
}

// The JPEG file of frame `n` in folder/img, with some content.
inline std::string writeFrame(const std::string& folder, int n,
                              const std::string& address = "192_168_4_1") {
    std::filesystem::create_directories(folder + "/img");
    const std::string path = folder + "/img/c" + address + "f" + std::to_string(n) + ".jpg";
    writeFile(path, "jpeg of frame " + std::to_string(n));
    return path;
}

} // namespace results_test
