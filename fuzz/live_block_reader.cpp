// The live position-file reader over arbitrary xy_worms.bin bytes, read once whole and once
// while the file is still growing: both readings must give the same blocks, and the same ones
// as the whole-file walk of the position format.

#include "app/results/live_block_reader.h"
#include "formats/position_file.h"
#include "fuzz/support/scratch_file.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace {

using results::DetectionBlock;

struct Step {
    DetectionBlock::Status status;
    std::int32_t cursor;
    std::int32_t timeMark;
    std::int32_t count;
    std::vector<std::int16_t> x, y, pixels, xSize, ySize;
    std::vector<std::string> shape;
    bool operator==(const Step&) const = default;
};

void checkShape(const DetectionBlock& b) {
    const auto n = static_cast<std::size_t>(b.count) + 1;
    FUZZ_CHECK(b.count >= 0 && b.count <= formats::MAXWORMS);
    FUZZ_CHECK(b.x.size() == n && b.y.size() == n && b.pixels.size() == n);
    FUZZ_CHECK(b.xSize.size() == n && b.ySize.size() == n && b.shape.size() == n);
}

// Reads blocks until the reader stops moving on; appends each step to `steps`.
// Returns the status that stopped it.
DetectionBlock::Status readOn(const std::string& folder, results::LiveReaderState& state,
                              std::size_t fileSize, std::vector<Step>& steps) {
    // Every block that moves the cursor is at least 12 bytes long.
    for (std::size_t guard = 0; guard <= fileSize / 12 + 1; ++guard) {
        const results::LiveReaderState before = state;
        const DetectionBlock b = results::ReadWormBlock(folder, state);
        checkShape(b);
        const bool moved = b.status == DetectionBlock::Status::Block ||
                           b.status == DetectionBlock::Status::Skipped;
        if (!moved) {
            FUZZ_CHECK(state.positionCursor == before.positionCursor);
            FUZZ_CHECK(state.blockNumber == before.blockNumber);
            FUZZ_CHECK(b.timeMark == -1 && b.count == 0);
            FUZZ_CHECK(b.status == DetectionBlock::Status::NothingNew || !b.error.empty());
            return b.status;
        }
        FUZZ_CHECK(state.positionCursor >= before.positionCursor + 12);
        FUZZ_CHECK(static_cast<std::size_t>(state.positionCursor) <= fileSize + 1);
        FUZZ_CHECK(state.ringSlot >= 0 && state.ringSlot < results::kRingSlots);
        if (b.status == DetectionBlock::Status::Skipped) {
            FUZZ_CHECK(state.blockNumber == before.blockNumber);
            FUZZ_CHECK(!b.error.empty());
        } else {
            FUZZ_CHECK(state.blockNumber == before.blockNumber + 1);
            FUZZ_CHECK(b.timeMark >= 0 && b.timeMark < (1 << 23));
        }
        steps.push_back({b.status, state.positionCursor, b.timeMark, b.count, b.x, b.y, b.pixels,
                         b.xSize, b.ySize, b.shape});
    }
    fuzz::fail("the live reader did not come to an end of the file", __FILE__, __LINE__);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string& folder = fuzz::scratchFolder();

    // The whole file at once.
    fuzz::writeScratchFile(formats::kWormPositionsFileName, data, size);
    results::LiveReaderState whole;
    std::vector<Step> wholeSteps;
    const auto wholeEnd = readOn(folder, whole, size, wholeSteps);

    // The same file arriving in two pieces, the reader polling in between.
    std::size_t split = 0;
    for (std::size_t i = 0; i < size; ++i)
        split += data[i];
    split = size == 0 ? 0 : split % (size + 1);
    fuzz::writeScratchFile(formats::kWormPositionsFileName, data, split);
    results::LiveReaderState growing;
    std::vector<Step> growingSteps;
    auto growingEnd = readOn(folder, growing, split, growingSteps);
    if (growingEnd == DetectionBlock::Status::NothingNew) {
        fuzz::writeScratchFile(formats::kWormPositionsFileName, data, size);
        growingEnd = readOn(folder, growing, size, growingSteps);
    }
    FUZZ_CHECK(growingEnd == wholeEnd);
    FUZZ_CHECK(growingSteps == wholeSteps);
    FUZZ_CHECK(growing.positionCursor == whole.positionCursor);

    // The whole-file walk finds a block wherever the live reader read or passed over one, with
    // the same time mark; where the live reader waits for more, the walk stops too.
    const formats::PositionFile walked = formats::decodePositionFile(std::span(data, size));
    const std::size_t common = std::min(walked.blocks.size(), wholeSteps.size());
    std::size_t offset = 0;
    for (std::size_t k = 0; k < common; ++k) {
        FUZZ_CHECK(walked.blocks[k].offset == offset);
        if (wholeSteps[k].status == DetectionBlock::Status::Block)
            FUZZ_CHECK(walked.blocks[k].timeMark == wholeSteps[k].timeMark);
        offset = static_cast<std::size_t>(wholeSteps[k].cursor) - 1;
    }
    // A block whose footer does not match is read by its header's count and passed, where the
    // walk stops: the two agree only on files without such a block.
    if (wholeEnd == DetectionBlock::Status::NothingNew && size > 0 &&
        data[0] == formats::POSITION_LAYOUT_BYTE && whole.footerMismatches == 0) {
        FUZZ_CHECK(walked.error.empty());
        FUZZ_CHECK(walked.blocks.size() == wholeSteps.size());
        FUZZ_CHECK(walked.consumed == static_cast<std::size_t>(whole.positionCursor) - 1);
    }
    return 0;
}
