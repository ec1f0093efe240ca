#include "app/results/stored_block_reader.h"

#include "app/results/file_bytes.h"
#include "formats/position_file.h"
#include "formats/text_lines.h"

#include <algorithm>
#include <cstdint>

namespace results {

namespace {

using Status = DetectionBlock::Status;

std::int32_t get16(const std::uint8_t* p) {
    return (p[0] << 8) | p[1];
}

// Reads the six fields that follow a record's first bytes; false when a 16-bit field is out of
// range.
bool readFields(const std::uint8_t* p, DetectionSlot& slot) {
    slot.x = get16(p);
    slot.y = get16(p + 2);
    slot.pixels = get16(p + 4);
    slot.xSize = get16(p + 6);
    slot.ySize = get16(p + 8);
    slot.shape = get16(p + 10);
    return slot.x < 0x8000 && slot.y < 0x8000 && slot.pixels < 0x8000 && slot.xSize < 0x8000 &&
           slot.ySize < 0x8000;
}

ParsedWormBlock parseRuns(std::span<const std::uint8_t> bytes) {
    ParsedWormBlock out;
    if (bytes.size() < static_cast<std::size_t>(kRunRecordSize))
        return out; // not all there yet
    auto timeOf = [](const std::uint8_t* p) {
        return (static_cast<std::uint32_t>(p[1]) << 24) | (static_cast<std::uint32_t>(p[2]) << 16) |
               (static_cast<std::uint32_t>(p[3]) << 8) | p[4];
    };
    const std::uint8_t* first = bytes.data();
    if (first[0] != kRunMarker || timeOf(first) > 0x7FFFFFFFu) {
        out.status = Status::Skipped;
        out.advance = kRunRecordSize;
        out.error =
            first[0] != kRunMarker ? "a record without its marker" : "a time mark beyond 32 bits";
        return out;
    }
    const std::uint32_t time = timeOf(first);
    bool bad = false;
    std::size_t pos = 0;
    while (pos + kRunRecordSize <= bytes.size() && out.slots.size() < kRunMaxDetections) {
        const std::uint8_t* p = bytes.data() + pos;
        if (p[0] != kRunMarker || timeOf(p) != time)
            break; // that record begins the next block
        DetectionSlot slot;
        if (!readFields(p + 5, slot))
            bad = true;
        out.slots.push_back(slot);
        out.records.push_back({0, slot.x, slot.y, slot.pixels, slot.xSize, slot.ySize, slot.shape});
        pos += kRunRecordSize;
    }
    out.timeMark = static_cast<std::int32_t>(time);
    out.count = static_cast<std::int32_t>(out.slots.size());
    out.advance = pos;
    out.status = bad ? Status::Skipped : Status::Block;
    if (bad) {
        out.error = "a value above 32767";
        out.slots.clear();
    }
    return out;
}

ParsedWormBlock parseHeaderBlock(std::span<const std::uint8_t> bytes, bool atFileStart,
                                 int layout) {
    ParsedWormBlock out;
    if (bytes.size() < static_cast<std::size_t>(formats::HEADER_SIZE))
        return out;
    const std::uint8_t* h = bytes.data();
    // A later header of the current layout never has the footer flag: such bytes are no block,
    // whatever follows them (waiting for their records would end the file without a word).
    if (layout == 3 && !atFileStart && (h[0] & formats::FOOTER_FLAG) != 0) {
        out.status = Status::Error;
        out.error = "no block of the current layout here";
        return out;
    }
    const int n = h[3];
    const bool footer = layout != 1;
    const int recordSize = layout == 3 ? formats::WORM_BUFFER_SIZE : kOldRecordSize;
    const std::size_t size = formats::HEADER_SIZE + static_cast<std::size_t>(n) * recordSize +
                             (footer ? formats::FOOTER_SIZE : 0);
    if (bytes.size() < size)
        return out; // the records are not all there yet
    // The footer is not checked: a block whose footer does not repeat its header is read by its
    // header's count all the same (the caller may tell it once).
    if (layout == 3) {
        const std::uint8_t* f = h + size - formats::FOOTER_SIZE;
        out.footerMismatch = (f[0] & formats::FOOTER_FLAG) == 0;
        for (int i = 1; i < formats::HEADER_SIZE; ++i)
            out.footerMismatch = out.footerMismatch || f[i] != h[i];
    }
    out.timeMark = (atFileStart ? 0 : h[0] << 16) | (h[1] << 8) | h[2];
    out.count = n;
    out.advance = size;
    // Only slots 0 .. n - 1 are ever handed on; a record numbered beyond n has no place there.
    out.slots.assign(static_cast<std::size_t>(n), DetectionSlot{});
    out.records.reserve(static_cast<std::size_t>(n));
    const char* fault = nullptr;
    for (int i = 0; i < n; ++i) {
        const std::uint8_t* r = h + formats::HEADER_SIZE + static_cast<std::size_t>(i) * recordSize;
        DetectionSlot slot;
        const bool inRange = readFields(r + 1, slot);
        out.records.push_back({r[0], slot.x, slot.y, slot.pixels, slot.xSize, slot.ySize,
                               slot.shape, layout == 3 ? r[13] : -1});
        if (fault == nullptr && (r[0] < 1 || r[0] > kDetectionSlots || !inRange))
            fault = !inRange ? "a value above 32767" : "detection number 0";
        if (fault == nullptr && r[0] <= n)
            out.slots[r[0] - 1u] = slot;
    }
    if (fault != nullptr) {
        out.status = Status::Skipped;
        out.error = fault;
        out.slots.clear();
        return out;
    }
    out.status = Status::Block;
    return out;
}

} // namespace

int positionLayoutOf(const std::vector<std::uint8_t>& firstBytes, std::uint64_t fileSize) {
    if (fileSize < 2 || firstBytes.empty())
        return 0;
    switch (firstBytes[0]) {
    case 0:
        return 1;
    case 1:
        return 2;
    case 2:
        return 3;
    default:
        return 0;
    }
}

ParsedWormBlock ParseWormBlock(std::span<const std::uint8_t> bytes, bool atFileStart, int layout) {
    if (layout == 0)
        return parseRuns(bytes);
    return parseHeaderBlock(bytes, atFileStart, layout);
}

namespace {

// The most bytes one block of a layout can span from its cursor.
std::uint64_t mostBlockBytes(int layout) {
    return layout == 0 ? static_cast<std::uint64_t>(kRunRecordSize) * kRunMaxDetections
                       : formats::HEADER_SIZE + formats::FOOTER_SIZE +
                             static_cast<std::uint64_t>(formats::MAXWORMS) *
                                 formats::WORM_BUFFER_SIZE;
}

DetectionBlock emptyBlock() {
    DetectionBlock block;
    block.timeMark = 0;
    packDetections(block, {}, 0);
    return block;
}

// The block in `window` (the file's bytes from the cursor on, at most mostBlockBytes) and the
// cursor moved past it.
DetectionBlock blockAtCursor(std::span<const std::uint8_t> window, int layout,
                             StoredReaderState& state, DetectionBlock block) {
    const std::uint64_t offset = static_cast<std::uint64_t>(state.readerCursor) - 1;
    ParsedWormBlock parsed = ParseWormBlock(window, offset == 0, layout);
    if (parsed.status == Status::NothingNew)
        return block;
    if (parsed.status == Status::Error) {
        block.status = Status::Error;
        block.error = "xy_worms.bin at byte " + std::to_string(offset + 1) + ": " + parsed.error;
        return block;
    }
    const std::uint64_t next = static_cast<std::uint64_t>(state.readerCursor) + parsed.advance;
    if (next > 0x7FFFFFFFu) {
        block.status = Status::Error;
        block.error = "xy_worms.bin is too large to read on";
        return block;
    }
    state.readerCursor = static_cast<std::int32_t>(next);
    if (parsed.footerMismatch) {
        block.footerMismatch = true;
        block.notice = "xy_worms.bin: the footer of the block at byte " +
                       std::to_string(offset + 1) +
                       " does not match its header; blocks are read by their header's count";
    }
    if (parsed.status == Status::Skipped) {
        block.status = Status::Skipped;
        block.error = "xy_worms.bin: block at byte " + std::to_string(offset + 1) +
                      " passed over (" + parsed.error + ")";
        return block;
    }
    block.status = Status::Block;
    block.timeMark = parsed.timeMark;
    block.count = parsed.count;
    packDetections(block, parsed.slots, parsed.count);
    return block;
}

} // namespace

DetectionBlock ReadWormBlock(const std::string& acqFolder, StoredReaderState& state) {
    DetectionBlock block = emptyBlock();
    if (acqFolder.empty()) {
        block.status = Status::Error;
        block.error = "no acquisition folder";
        return block;
    }
    const std::string path = formats::pathInFolder(acqFolder, formats::kWormPositionsFileName);
    FileBytes head = readFileBytes(path, 0, 1);
    if (!head.exists)
        return block;
    if (!head.ok) {
        block.status = Status::Error;
        block.error = head.error;
        return block;
    }
    if (state.readerCursor < 1) {
        block.status = Status::Error;
        block.error = "position file cursor out of range";
        return block;
    }
    const int layout = positionLayoutOf(head.bytes, head.size);
    const std::uint64_t offset = static_cast<std::uint64_t>(state.readerCursor) - 1;
    if (head.size <= offset)
        return block; // nothing new
    FileBytes data = readFileBytes(path, offset, mostBlockBytes(layout));
    if (!data.ok) {
        block.status = Status::Error;
        block.error = data.error;
        return block;
    }
    return blockAtCursor(data.bytes, layout, state, std::move(block));
}

StoredPositionFile loadStoredPositionFile(const std::string& acqFolder) {
    StoredPositionFile file;
    if (acqFolder.empty()) {
        file.error = "no acquisition folder";
        return file;
    }
    return storedPositionFileOf(readFileBytes(
        formats::pathInFolder(acqFolder, formats::kWormPositionsFileName), 0, UINT64_MAX));
}

StoredPositionFile storedPositionFileOf(FileBytes&& read) {
    StoredPositionFile file;
    file.exists = read.exists;
    file.ok = read.ok;
    file.error = std::move(read.error);
    file.bytes = std::move(read.bytes);
    file.layout = positionLayoutOf(file.bytes, file.bytes.size());
    return file;
}

DetectionBlock ReadWormBlock(const StoredPositionFile& file, StoredReaderState& state) {
    DetectionBlock block = emptyBlock();
    if (!file.exists)
        return block;
    if (!file.ok) {
        block.status = Status::Error;
        block.error = file.error.empty() ? "xy_worms.bin cannot be read" : file.error;
        return block;
    }
    if (state.readerCursor < 1) {
        block.status = Status::Error;
        block.error = "position file cursor out of range";
        return block;
    }
    const std::uint64_t offset = static_cast<std::uint64_t>(state.readerCursor) - 1;
    if (file.bytes.size() <= offset)
        return block; // nothing new
    const std::span<const std::uint8_t> all(file.bytes);
    const std::span<const std::uint8_t> window =
        all.subspan(offset, std::min<std::uint64_t>(mostBlockBytes(file.layout),
                                                    file.bytes.size() - offset));
    return blockAtCursor(window, file.layout, state, std::move(block));
}

} // namespace results
