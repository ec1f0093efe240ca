#include "app/results/outlier_frames.h"

#include "app/results/worm_trails_file.h"
#include "formats/image_descriptor_file.h"
#include "formats/text_lines.h"

#include <array>
#include <cmath>
#include <span>

namespace results {

OutlierCheck checkOutlierFrames(const std::string& folder) {
    OutlierCheck out;
    const std::string path = formats::pathInFolder(folder, formats::kImageDescriptorFileName);
    std::string bytes, error;
    bool missing = false;
    if (folder.empty() || !readWholeFile(path, bytes, error, &missing)) {
        out.reason = folder.empty() || missing ? "Image background file not found" : error;
        return out;
    }
    if (bytes.size() < 2) {
        out.reason = "Image background file holds no frames";
        return out;
    }
    const auto* data = reinterpret_cast<const std::uint8_t*>(bytes.data());
    // Too few boxes in a whole table: said before any line is decoded.
    const std::size_t boxCount = (static_cast<std::size_t>(data[0]) << 8) | data[1];
    if (boxCount < static_cast<std::size_t>(kOutlierBackgroundBoxes) &&
        bytes.size() >= 2 + formats::kBoxTableEntrySize * boxCount) {
        out.reason = "Image background file has fewer than five background boxes";
        return out;
    }
    const formats::ImageDescriptorFile file =
        formats::decodeImageDescriptorFile(std::span<const std::uint8_t>(data, bytes.size()));
    if (!file.error.empty()) {
        out.reason = "Image background file is damaged: " + file.error;
        return out;
    }
    // Box counts are signed 16-bit numbers: 32768 or more is no count. Any lower count is read,
    // more boxes than a finder run makes included.
    if (file.boxes.size() > static_cast<std::size_t>(kOutlierMaxBoxes)) {
        out.reason =
            "Image background file is damaged: " + std::to_string(file.boxes.size()) + " boxes";
        return out;
    }
    if (file.boxes.size() < static_cast<std::size_t>(kOutlierBackgroundBoxes)) {
        out.reason = "Image background file has fewer than five background boxes";
        return out;
    }

    using Values = std::array<int, kOutlierBackgroundBoxes>;
    std::vector<bool> present(kOutlierLastFrame + 1, false);
    std::vector<Values> values(kOutlierLastFrame + 1);
    for (std::size_t i = 0; i < file.lines.size(); ++i) {
        const std::uint16_t t = file.lines.timeMark(i);
        if (t > kOutlierLastFrame) {
            out.reason = "frame " + std::to_string(t) + " lies beyond frame " +
                         std::to_string(kOutlierLastFrame);
            return out;
        }
        present[t] = true; // a frame on several lines keeps its last line
        const std::span<const std::uint8_t> line = file.lines.values(i);
        for (int k = 0; k < kOutlierBackgroundBoxes; ++k)
            values[t][static_cast<std::size_t>(k)] = line[static_cast<std::size_t>(k)];
    }

    constexpr int groups = kOutlierLastFrame / 100 + 1;
    std::array<std::array<double, kOutlierBackgroundBoxes>, groups> mean{};
    std::array<std::array<double, kOutlierBackgroundBoxes>, groups> tolerance{};
    std::array<int, groups> count{};
    for (int f = 0; f <= kOutlierLastFrame; ++f) {
        if (!present[static_cast<std::size_t>(f)])
            continue;
        const int g = f / 100;
        ++count[static_cast<std::size_t>(g)];
        for (int k = 0; k < kOutlierBackgroundBoxes; ++k)
            mean[g][k] += values[static_cast<std::size_t>(f)][static_cast<std::size_t>(k)];
    }
    for (int g = 0; g < groups; ++g) {
        if (count[static_cast<std::size_t>(g)] == 0)
            continue;
        for (int k = 0; k < kOutlierBackgroundBoxes; ++k) {
            mean[g][k] /= count[static_cast<std::size_t>(g)];
            tolerance[g][k] = std::max(mean[g][k] * kOutlierShare, kOutlierMinTolerance);
        }
    }
    for (int f = 0; f <= kOutlierLastFrame; ++f) {
        if (!present[static_cast<std::size_t>(f)])
            continue;
        const int g = f / 100;
        bool outlier = false;
        for (int k = 0; k < kOutlierBackgroundBoxes; ++k) {
            const double v = values[static_cast<std::size_t>(f)][static_cast<std::size_t>(k)];
            if (std::fabs(mean[g][k] - v) > tolerance[g][k])
                outlier = true;
        }
        if (outlier) {
            if (!out.text.empty())
                out.text += ";";
            out.text += std::to_string(f);
            out.frames.push_back(f);
        }
    }
    out.checked = true;
    return out;
}

std::string FindOutlierFrames(const std::string& folder) {
    return checkOutlierFrames(folder).text;
}

} // namespace results
