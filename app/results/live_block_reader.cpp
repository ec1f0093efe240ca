#include "app/results/live_block_reader.h"

#include "app/results/file_bytes.h"
#include "formats/position_file.h"
#include "formats/text_lines.h"

#include <span>

namespace results {

namespace {

bool fits16(std::uint16_t value) {
    return value < 0x8000;
}

} // namespace

DetectionBlock ReadWormBlock(const std::string& runFolder, LiveReaderState& state) {
    DetectionBlock block;
    block.timeMark = -1;
    packDetections(block, {}, 0);
    if (runFolder.empty()) {
        block.status = DetectionBlock::Status::Error;
        block.error = "no run folder";
        return block;
    }
    if (state.positionCursor < 1) {
        block.status = DetectionBlock::Status::Error;
        block.error = "position file cursor out of range";
        return block;
    }
    const std::string path = formats::pathInFolder(runFolder, formats::kWormPositionsFileName);
    const std::uint64_t offset = static_cast<std::uint64_t>(state.positionCursor) - 1;
    const bool firstBlock = offset == 0;

    FileBytes header = readFileBytes(path, offset, formats::HEADER_SIZE);
    if (!header.exists)
        return block; // no position file yet
    if (!header.ok) {
        block.status = DetectionBlock::Status::Error;
        block.error = header.error;
        return block;
    }
    if (header.bytes.size() < static_cast<std::size_t>(formats::HEADER_SIZE))
        return block; // the next block has not arrived (completely) yet

    // The first byte of the file is the layout byte and is not looked at: only the current
    // layout is read. A later block's byte 0 holds the high bits of its time mark; one with the
    // footer flag set is no header.
    if (!firstBlock && (header.bytes[0] & formats::FOOTER_FLAG) != 0) {
        block.status = DetectionBlock::Status::Error;
        block.error = "xy_worms.bin: no block header at byte " + std::to_string(offset + 1);
        return block;
    }
    const auto size = *formats::blockSizeAt(header.bytes, 0);
    const std::uint64_t nextCursor = static_cast<std::uint64_t>(state.positionCursor) + size;
    if (nextCursor > 0x7FFFFFFFu) {
        block.status = DetectionBlock::Status::Error;
        block.error = "xy_worms.bin is too large to read on";
        return block;
    }
    FileBytes whole = readFileBytes(path, offset, size);
    if (!whole.ok) {
        block.status = DetectionBlock::Status::Error;
        block.error = whole.error;
        return block;
    }
    const std::optional<formats::PositionBlock> decoded =
        formats::decodeBlockAt(whole.bytes, 0, firstBlock);
    if (!decoded)
        return block; // the records or the footer are not all there yet
    // A footer that does not match: the header's count is trusted all the same, so one damaged
    // block does not stop the rest of the run. The first of the run is told once.
    if (!decoded->footerMatches) {
        block.footerMismatch = true;
        state.footerMismatches += 1;
        if (state.footerMismatches == 1)
            block.notice = "xy_worms.bin: the footer of the block at byte " +
                           std::to_string(offset + 1) +
                           " does not match its header; blocks are read by their header's count";
    }

    // The values: record numbers 1 .. 1001, 16-bit fields below 32768.
    std::vector<DetectionSlot> slots(kDetectionSlots);
    std::string bad;
    for (const formats::WormRecord& r : decoded->records) {
        if (r.number < 1 || r.number > kDetectionSlots) {
            bad = "record number " + std::to_string(r.number);
            break;
        }
        if (!fits16(r.x) || !fits16(r.y) || !fits16(r.pixels) || !fits16(r.xSize) ||
            !fits16(r.ySize)) {
            bad = "a value above 32767 in record " + std::to_string(r.number);
            break;
        }
        slots[r.number - 1u] = {r.x, r.y, r.pixels, r.xSize, r.ySize, r.shape};
    }
    state.positionCursor = static_cast<std::int32_t>(nextCursor);
    if (!bad.empty()) {
        block.status = DetectionBlock::Status::Skipped;
        block.error = "xy_worms.bin: block of time mark " + std::to_string(decoded->timeMark) +
                      " passed over (" + bad + ")";
        return block;
    }
    state.blockNumber += 1;
    state.ringSlot =
        static_cast<std::int16_t>(state.ringSlot + 1 >= kRingSlots ? 0 : state.ringSlot + 1);
    block.status = DetectionBlock::Status::Block;
    block.timeMark = decoded->timeMark;
    block.count = static_cast<std::int32_t>(decoded->records.size());
    packDetections(block, slots, block.count);
    return block;
}

} // namespace results
