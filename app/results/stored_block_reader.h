#pragma once
// The stored-acquisition reader of the position file (xy_worms.bin): one block per call at the
// reanalysis window's cursor. It reads the current layout and three older ones, told apart by
// the first byte of the file.

#include "app/results/detection_block.h"
#include "app/results/file_bytes.h"

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace results {

// Layout codes by the first byte of the file: 255 (or any other value, or a file of 0 or 1
// bytes) layout 0; 0 layout 1; 1 layout 2; 2 layout 3 (the one the finder writes).
//   layout 0: runs of 17-byte records with one time mark (255, 32-bit time mark, X, Y, count,
//             X size, Y size, shape); no header or footer
//   layout 1: 6-byte header, N records of 13 bytes (no mean grey), no footer
//   layout 2: 6-byte header, N records of 13 bytes, 6-byte footer
//   layout 3: 6-byte header, N records of 14 bytes, 6-byte footer
int positionLayoutOf(const std::vector<std::uint8_t>& firstBytes, std::uint64_t fileSize);

inline constexpr int kOldRecordSize = 13;       // records of layouts 1 and 2
inline constexpr int kRunRecordSize = 17;       // records of layout 0
inline constexpr std::uint8_t kRunMarker = 255; // first byte of every layout-0 record
inline constexpr int kRunMaxDetections = 1000;  // layout 0: detections per call

struct StoredReaderState {
    std::int32_t readerCursor = 1; // 1-based byte position of the next block; 1 before tracking
};

// One detection record as stored, in file order (the exports list them unchanged).
struct StoredWormRecord {
    std::int32_t number = 0; // detection number (layout 0: 0, the records carry none)
    std::int32_t x = 0, y = 0, pixels = 0, xSize = 0, ySize = 0; // 0 .. 65535 as stored
    std::int32_t shape = 0;                                      // 0 .. 65535
    std::int32_t meanGray = -1; // layout 3 only; -1 in the older layouts
};

// What the byte work found at the cursor.
struct ParsedWormBlock {
    DetectionBlock::Status status = DetectionBlock::Status::NothingNew;
    std::int32_t timeMark = 0;
    std::int32_t count = 0;
    std::vector<DetectionSlot> slots; // slot = detection number - 1 (layout 0: in file order)
    std::uint64_t advance = 0;        // bytes to move the cursor on (Block and Skipped)
    bool footerMismatch = false;      // layout 3: the footer does not repeat the header
    std::string error;
    std::vector<StoredWormRecord> records; // Block and Skipped: every record, in file order
};

// Parses the block that starts at `bytes` (the file's bytes from the cursor to its end, or as
// many as were read: at most 12 + 14 x 255 for layouts 1 to 3, 17 x 1000 for layout 0).
// `atFileStart` says that the cursor is 1, where header byte 0 is the layout byte.
ParsedWormBlock ParseWormBlock(std::span<const std::uint8_t> bytes, bool atFileStart, int layout);

// Reads the block at state.readerCursor of acqFolder + "/xy_worms.bin".
// - Block: time mark (32-bit), the block's count and the kept detections; the cursor moves on.
// - NothingNew (time mark 0, count 0): no file, the cursor at or past its end, or a block whose
//   header or records are not all there; the cursor stays.
// - Skipped: a complete block with values out of range (a detection number of 0 or above
//   1001, a 16-bit field above 32767, a layout-0 record without its marker or with a time mark
//   beyond 32 bits): passed over, the cursor moves past it, nothing returned.
// - Error: the file cannot be read, or the bytes at the cursor are no block (layout 3: a later
//   header byte 0 with bit 7 set); the cursor stays.
// The footer and the check value are not tested: a block whose footer does not repeat its
// header is read by its header's count, with footerMismatch and a notice set.
DetectionBlock ReadWormBlock(const std::string& acqFolder, StoredReaderState& state);

// The position file of an acquisition read once, for a pass over all of its blocks.
struct StoredPositionFile {
    bool exists = false; // false: no position file (every read is NothingNew)
    bool ok = false;     // it could be read
    int layout = 0;      // positionLayoutOf its first byte
    std::vector<std::uint8_t> bytes;
    std::string error;
};
StoredPositionFile loadStoredPositionFile(const std::string& acqFolder);
// The same from bytes read already (readFileBytes or FileReadInPieces of the position file).
StoredPositionFile storedPositionFileOf(FileBytes&& read);

// ReadWormBlock over a file read once: the same blocks, statuses and cursor moves.
DetectionBlock ReadWormBlock(const StoredPositionFile& file, StoredReaderState& state);

} // namespace results
