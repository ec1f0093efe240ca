#include "app/training/training_test.h"

#include "finder/arguments.h"
#include "formats/numbers.h"
#include "formats/position_file.h"
#include "formats/regular_file.h"
#include "formats/training_file.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>

namespace training {

namespace {

constexpr std::size_t kHeaderSize = 6;
constexpr std::size_t kFooterSize = 6;
constexpr std::size_t kFlatRecordSize = 17;
constexpr std::uint8_t kFlatMarker = 255;

int nearestInt(double value) {
    return static_cast<int>(formats::roundHalfEven(value));
}

int signed16(const std::uint8_t* p) {
    return static_cast<std::int16_t>(static_cast<std::uint16_t>((p[0] << 8) | p[1]));
}

// The first block of a header layout: N records of `recordSize` bytes after the 6-byte header,
// then a footer when `footer` is set. Nothing when the block is not all there.
std::vector<TestDetection> firstBlock(std::span<const std::uint8_t> data, std::size_t recordSize,
                                      bool footer) {
    std::vector<TestDetection> found;
    if (data.size() < kHeaderSize)
        return found;
    const std::size_t n = data[3];
    const std::size_t size = kHeaderSize + n * recordSize + (footer ? kFooterSize : 0);
    if (data.size() < size)
        return found;
    for (std::size_t k = 0; k < n; ++k) {
        const std::uint8_t* record = data.data() + kHeaderSize + k * recordSize;
        found.push_back({signed16(record + 1), signed16(record + 3)});
    }
    return found;
}

} // namespace

std::string finderOutputFolder(const std::string& imagePath) {
    auto state = std::make_unique<finder::SirrexState>();
    std::ostringstream out;
    std::ostringstream err;
    finder::load_arguments(*state, {"Sirrex", imagePath}, out, err);
    return state->project_folder;
}

std::string testFolderRefusal(const std::string& programFolder, const std::string& outputFolder) {
    const auto clean = [](const std::string& folder) {
        return std::filesystem::path(folder).lexically_normal().string();
    };
    if (clean(programFolder) == clean(outputFolder) ||
        clean(programFolder + "/") == clean(outputFolder + "/"))
        return {};
    return "TEST TRAINING cannot run in the program folder " + programFolder +
           ": its name ends in \"img\", so the finder would write its files into " +
           (outputFolder.empty() ? std::string("the current folder") : outputFolder) +
           ". Move the program into another folder.";
}

std::string previewBase(const std::string& programFolder) {
    return programFolder + "/preview";
}

ProgramCommand testDravelCommand(const std::string& programFolder, const std::string& base) {
    return {programFolder + "/Dravel", {"-grayscale", "-outfile", base + ".pgm", base + ".jpg"}};
}

ProgramCommand testSirrexCommand(const std::string& programFolder, const std::string& base,
                                 const std::string& trainingOptions, bool roundShape,
                                 TrainingWindow window) {
    ProgramCommand command{programFolder + "/Sirrex", {base + ".pgm"}};
    for (std::string& word : formats::splitOptionString(trainingOptions))
        command.arguments.push_back(std::move(word));
    if (roundShape && window == TrainingWindow::Acquisition)
        command.arguments.push_back("-cp28662");
    command.arguments.push_back("-ti0");
    if (roundShape && window == TrainingWindow::Reanalysis)
        command.arguments.push_back("-cp28662");
    return command;
}

TestPositions readTestPositions(std::span<const std::uint8_t> data, TrainingWindow window) {
    TestPositions positions;
    if (window == TrainingWindow::Acquisition) {
        if (data.size() < kHeaderSize || data[1] != 0 || data[2] != 0)
            return positions;
        positions.detections = firstBlock(data, formats::WORM_BUFFER_SIZE, true);
        return positions;
    }
    const std::uint8_t layout = data.size() > 1 ? data[0] : 0;
    if (layout == kFlatMarker) {
        positions.flat = true;
        for (std::size_t at = 0; at + kFlatRecordSize <= data.size(); at += kFlatRecordSize) {
            const std::uint8_t* r = data.data() + at;
            const bool markZero = r[1] == 0 && r[2] == 0 && r[3] == 0 && r[4] == 0;
            if (r[0] == kFlatMarker && markZero)
                positions.detections.push_back({signed16(r + 5), signed16(r + 7)});
        }
        return positions;
    }
    if (layout == 0 || layout == 1)
        positions.detections = firstBlock(data, 13, layout == 1);
    else
        positions.detections = firstBlock(data, formats::WORM_BUFFER_SIZE, true);
    return positions;
}

std::optional<TestPositions> readTestPositionsFile(const std::string& path, TrainingWindow window) {
    std::string bytes, error;
    if (!formats::readRegularFile(path, bytes, error))
        return std::nullopt;
    return readTestPositions(std::span<const std::uint8_t>(
                                 reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()),
                             window);
}

std::vector<TestMark> testMarks(const TestPositions& positions, int markSize, TrainingWindow window,
                                bool roundShape) {
    std::vector<TestMark> marks;
    const double B = markSize;
    const bool reanalysisRound = roundShape && window == TrainingWindow::Reanalysis;
    int number = 0;
    for (const TestDetection& d : positions.detections) {
        TestMark mark;
        mark.size = markSize;
        mark.left = nearestInt(d.x - B / 2.0);
        mark.top = nearestInt(d.y - B / 2.0);
        mark.number = ++number;
        mark.text = formats::formatNumberSigned(mark.number);
        mark.textX = mark.left - B / 2.0;
        if (reanalysisRound && !positions.flat) {
            mark.kind = TestMark::Kind::Cross;
            mark.numbered = false;
            const double l4 = nearestInt(d.x - B / 4.0);
            const double t4 = nearestInt(d.y - B / 4.0);
            mark.lines.push_back({l4, t4, l4 + B / 2.0, t4 + B / 2.0});
            mark.lines.push_back({l4 + B / 2.0, t4, l4, t4 + B / 2.0});
            mark.text.clear();
        } else if (reanalysisRound) {
            mark.kind = TestMark::Kind::Edges;
            const double l = mark.left, t = mark.top;
            mark.lines.push_back({l, t, l, t + B});
            mark.lines.push_back({l, t, l + B, t});
            mark.textY = t;
        } else {
            mark.kind = TestMark::Kind::Square;
            mark.textY = mark.top + B;
        }
        marks.push_back(std::move(mark));
    }
    return marks;
}

} // namespace training
