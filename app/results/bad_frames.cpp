#include "app/results/bad_frames.h"

#include "app/results/outlier_frames.h"
#include "app/results/worm_trails_file.h"
#include "formats/image_descriptor_file.h"
#include "formats/regular_file.h"
#include "formats/save_file.h"
#include "formats/text_lines.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <span>
#include <system_error>

namespace results {

namespace fs = std::filesystem;

std::string badFrameCaption(std::int32_t frame) {
    return std::string("#").append(std::to_string(frame));
}

std::string badFrameQuestion(std::int32_t frame) {
    return "Set #" + std::to_string(frame) + " as bad image?";
}

namespace {

char lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool endsWithNoCase(const std::string& text, const std::string& tail) {
    if (text.size() < tail.size())
        return false;
    const std::size_t start = text.size() - tail.size();
    for (std::size_t i = 0; i < tail.size(); ++i) {
        if (lower(text[start + i]) != lower(tail[i]))
            return false;
    }
    return true;
}

std::string joinFrames(const std::vector<std::int32_t>& frames, const char* before,
                       bool separatorFirst) {
    std::string text = before;
    for (std::size_t i = 0; i < frames.size(); ++i) {
        if (separatorFirst || i > 0)
            text += ";";
        text += std::to_string(frames[i]);
    }
    return text;
}

} // namespace

std::string findFrameFile(const std::string& imgFolder, std::int32_t frame) {
    if (imgFolder.empty() || frame < 0)
        return {};
    const std::string tail = std::string("f").append(std::to_string(frame)).append(".jpg");
    std::string first;
    std::error_code ec;
    fs::directory_iterator it(imgFolder, ec);
    if (ec)
        return {};
    for (const fs::directory_entry& entry : it) {
        std::error_code typeError;
        if (!entry.is_regular_file(typeError))
            continue;
        const std::string name = entry.path().filename().string();
        if (endsWithNoCase(name, tail) && (first.empty() || name < first))
            first = name;
    }
    return first;
}

std::string markedFrameName(const std::string& fileName) {
    const std::string base = fileName.size() >= 4 ? fileName.substr(0, fileName.size() - 4) : "";
    return base + "m.jpg";
}

std::string copyCheckAndDelete(const std::string& from, const std::string& to) {
    std::string bytes, error;
    if (!formats::readRegularFile(from, bytes, error))
        return error;
    // The copy takes the new name only when no file has it: a stored picture is never replaced.
    if (std::string saved = formats::saveFileNoReplace(to, bytes); !saved.empty())
        return saved;
    std::error_code ec;
    const std::uintmax_t copySize = fs::file_size(to, ec);
    if (ec || copySize != bytes.size()) {
        std::error_code ignored;
        fs::remove(to, ignored);
        return "Cannot copy " + from + " to " + to + ": the copy is incomplete";
    }
    if (!fs::remove(from, ec)) {
        // The frame stays unmarked rather than present under both names.
        std::error_code ignored;
        fs::remove(to, ignored);
        return "Cannot delete " + from + (ec ? ": " + ec.message() : std::string());
    }
    return {};
}

MarkResult MarkBadFrame(const std::string& folder, std::int32_t frame, bool interactive,
                        const ConfirmBadFrame& confirm) {
    MarkResult out;
    if (folder.empty())
        return out;
    const std::string img = formats::pathInFolder(folder, "img");
    const std::string name = findFrameFile(img, frame);
    if (name.empty())
        return out;
    out.frameFile = formats::pathInFolder(img, name);
    out.markedFile = formats::pathInFolder(img, markedFrameName(name));
    if (interactive && (!confirm || !confirm(out.frameFile, frame)))
        return out;
    // An earlier marked file of the same name is another stored picture: it is never replaced,
    // and the frame then keeps its name.
    const std::string renameError = formats::renameNoReplace(out.frameFile, out.markedFile);
    if (renameError.empty()) {
        out.marked = 1;
        return out;
    }
    std::error_code ec;
    if (fs::exists(fs::symlink_status(out.markedFile, ec))) {
        out.error =
            "Frame " + std::to_string(frame) + " not marked: " + out.markedFile + " already exists";
        return out;
    }
    const std::string copyError = copyCheckAndDelete(out.frameFile, out.markedFile);
    if (copyError.empty()) {
        out.marked = 1;
        return out;
    }
    out.error = "Frame " + std::to_string(frame) + " not marked: " + renameError + "; " + copyError;
    return out;
}

BadFrameFilter FilterBadImages(const std::string& folder, bool interactive,
                               const ConfirmBadFrame& confirm) {
    BadFrameFilter out;
    const OutlierCheck check = checkOutlierFrames(folder);
    out.checked = check.checked;
    out.reason = check.reason;
    if (!check.checked) {
        std::error_code error;
        const fs::path descriptor =
            formats::pathInFolder(folder, formats::kImageDescriptorFileName);
        out.missing = !folder.empty() &&
                      fs::symlink_status(descriptor, error).type() == fs::file_type::not_found;
    }
    out.listed = check.frames;
    if (out.listed.size() > static_cast<std::size_t>(kBadFrameMaxApplied)) {
        out.applied = 0;
        if (interactive)
            out.messages.push_back(kBadFilterNotAppliedMessage);
        return out;
    }
    for (const std::int32_t n : out.listed) {
        out.bad.push_back(n);
        const MarkResult mark = MarkBadFrame(folder, n, interactive, confirm);
        if (mark.marked == 1)
            out.marked.push_back(n);
        else if (!mark.error.empty())
            out.errors.push_back(mark.error);
    }
    if (!out.marked.empty() && interactive)
        out.messages.push_back(joinFrames(out.marked, kFileFilteredPrefix, false));
    return out;
}

bool BackgroundSamples::value(std::int32_t time, std::int32_t box, std::uint8_t& out) const {
    const auto boxes = static_cast<std::int64_t>(points.size());
    if (time < 0 || time >= rows || box < 0 || box >= boxes)
        return false;
    out = values[static_cast<std::size_t>(time * boxes + box)];
    return true;
}

namespace {

// Sum and mean absolute deviation of the grid-box values of one frame's row.
void frameMeasure(std::span<const std::uint8_t> row, double& sum, double& deviation) {
    sum = 0.0;
    deviation = 0.0;
    if (row.size() <= static_cast<std::size_t>(kBackgroundBoxCount))
        return;
    const auto grid = row.subspan(kBackgroundBoxCount);
    for (const std::uint8_t v : grid)
        sum += v;
    const double mean = sum / static_cast<double>(grid.size());
    for (const std::uint8_t v : grid)
        deviation += std::fabs(mean - v);
    deviation /= static_cast<double>(grid.size());
}

void everyFrameUsableBut(BackgroundSamples& out) {
    out.usable.assign(kBadFrameLastFrame + 1, true);
    for (const std::int32_t n : out.filter.bad)
        out.usable[static_cast<std::size_t>(n)] = false;
}

} // namespace

BackgroundSamples FilterBadImagesAndLoadSamples(const std::string& folder, bool interactive,
                                                const ConfirmBadFrame& confirm) {
    BackgroundSamples out;
    const std::string path = formats::pathInFolder(folder, formats::kImageDescriptorFileName);
    std::error_code ec;
    if (folder.empty() || !fs::exists(path, ec)) {
        out.source = BackgroundSamples::Source::Missing;
        out.reason = "no image background file (xy_image.bin)";
        out.scale = -1.0;
        everyFrameUsableBut(out);
        return out;
    }

    out.filter = FilterBadImages(folder, interactive, confirm);

    std::string bytes, error;
    if (!readWholeFile(path, bytes, error)) {
        out.source = BackgroundSamples::Source::Failed;
        out.reason = error;
        out.scale = 0.0;
        everyFrameUsableBut(out);
        return out;
    }
    const auto* data = reinterpret_cast<const std::uint8_t*>(bytes.data());
    // No box table (a zero-filled file among them): no samples, without decoding its lines.
    const formats::ImageDescriptorFile file =
        bytes.size() >= 2 && data[0] == 0 && data[1] == 0
            ? formats::ImageDescriptorFile{}
            : formats::decodeImageDescriptorFile(
                  std::span<const std::uint8_t>(data, bytes.size()));
    if (!file.error.empty() || file.boxes.size() > static_cast<std::size_t>(kMaxSampleBoxes)) {
        out.source = BackgroundSamples::Source::Failed;
        out.reason =
            "xy_image.bin is damaged: " +
            (file.error.empty() ? std::to_string(file.boxes.size()) + " boxes" : file.error);
        out.scale = 0.0;
        everyFrameUsableBut(out);
        return out;
    }
    if (file.boxes.empty() || file.lines.empty()) {
        out.source = BackgroundSamples::Source::Missing;
        out.reason = "xy_image.bin holds no frames";
        out.scale = -1.0;
        everyFrameUsableBut(out);
        return out;
    }

    out.source = BackgroundSamples::Source::Loaded;
    const std::size_t boxes = file.boxes.size();
    out.points.reserve(boxes);
    for (const formats::BoxEntry& b : file.boxes)
        out.points.push_back({b.x, b.y});

    // T: the last line's time mark, or the one before when that is 0.
    const std::size_t lines = file.lines.size();
    out.lastTimeMark = file.lines.timeMark(lines - 1);
    if (out.lastTimeMark == 0 && lines >= 2)
        out.lastTimeMark = file.lines.timeMark(lines - 2);

    std::int32_t highest = -1;
    for (std::size_t i = 0; i < lines; ++i) {
        if (file.lines.timeMark(i) <= kBadFrameLastFrame)
            highest = std::max<std::int32_t>(highest, file.lines.timeMark(i));
    }
    out.rows = highest + 1;
    out.values.assign(static_cast<std::size_t>(out.rows) * boxes, 0);
    out.usable.assign(kBadFrameLastFrame + 1, false);
    std::vector<double> sum(static_cast<std::size_t>(out.rows), 0.0);
    std::vector<double> deviation(static_cast<std::size_t>(out.rows), 0.0);
    auto rowOf = [&](std::int32_t t) {
        return std::span<std::uint8_t>(out.values.data() + static_cast<std::size_t>(t) * boxes,
                                       boxes);
    };

    std::int32_t previous = -1;
    for (std::size_t k = 0; k < lines; ++k) {
        const std::int32_t t = file.lines.timeMark(k);
        const std::span<const std::uint8_t> lineValues = file.lines.values(k);
        if (t > kBadFrameLastFrame || t < previous)
            continue;
        out.usable[static_cast<std::size_t>(t)] = true;
        const std::span<std::uint8_t> row = rowOf(t);
        for (std::size_t i = kBackgroundBoxCount; i < boxes; ++i)
            row[i] = lineValues[i];
        frameMeasure(row, sum[static_cast<std::size_t>(t)], deviation[static_cast<std::size_t>(t)]);
        // Frames missing between two lines take the values of the line before them; they stay
        // unusable.
        if (previous >= 1 && previous < t - 1) {
            for (std::int32_t f = previous + 1; f < t; ++f) {
                const std::span<std::uint8_t> from = rowOf(previous);
                std::copy(from.begin(), from.end(), rowOf(f).begin());
                sum[static_cast<std::size_t>(f)] = sum[static_cast<std::size_t>(previous)];
                deviation[static_cast<std::size_t>(f)] =
                    deviation[static_cast<std::size_t>(previous)];
            }
        }
        previous = t;
    }

    std::vector<bool> bad(kBadFrameLastFrame + 1, false);
    for (const std::int32_t n : out.filter.bad) {
        bad[static_cast<std::size_t>(n)] = true;
        out.usable[static_cast<std::size_t>(n)] = false;
    }
    // The measure: frames 0 .. T-1 without a bad flag and with values.
    const std::int32_t end = std::min(out.lastTimeMark, out.rows);
    double total = 0.0;
    std::int32_t counted = 0;
    for (std::int32_t i = 0; i < end; ++i) {
        const auto k = static_cast<std::size_t>(i);
        if (bad[k] || !(sum[k] > 0.0))
            continue;
        total += deviation[k] / sum[k];
        ++counted;
    }
    out.scale = counted > 0 ? total / counted : 0.0;
    return out;
}

std::string ReportBadImages(const std::string& acquisitionFolder) {
    if (acquisitionFolder.empty())
        return {};
    std::error_code ec;
    if (!fs::exists(formats::pathInFolder(acquisitionFolder, formats::kImageDescriptorFileName),
                    ec))
        return kBackgroundFileMissingMessage;
    const OutlierCheck check = checkOutlierFrames(acquisitionFolder);
    if (!check.checked)
        return check.reason;
    if (check.frames.empty())
        return {};
    return joinFrames(check.frames, kBadFilesPrefix, true);
}

} // namespace results
