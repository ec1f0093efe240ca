#pragma once
// The live reader of the position file (xy_worms.bin) during a run: one block per call, the one
// at the cursor, and only once all of its bytes are there.

#include "app/results/detection_block.h"

#include <cstdint>
#include <string>

namespace results {

// Reader part of the live tracker's state; the run start sets it back to these values.
struct LiveReaderState {
    std::int32_t positionCursor = 1;   // 1-based byte position of the next unread block
    std::int32_t blockNumber = 1;      // + 1 for every block read
    std::int16_t ringSlot = 0;         // + 1 for every block read, 0 after 60
    std::int32_t footerMismatches = 0; // blocks read whose footer did not match their header
};

inline constexpr int kRingSlots = 61; // history slots 0 .. 60

// Reads the block at state.positionCursor of runFolder + "/xy_worms.bin". Only the current
// layout is read; the file's first byte (the layout byte) is not looked at.
// - Block: the time mark (first block: 256 x byte 1 + byte 2, later blocks: 23 bits), the
//   header's count and the kept detections; the cursor moves by 12 + 14 x N, blockNumber and
//   ringSlot by one. A block whose footer does not match its header is read by the header's
//   count all the same: footerMismatch is set, state.footerMismatches counts such blocks, and
//   the first of them in a run carries a `notice` for the caller's status text.
// - NothingNew (time mark -1, count 0): no file, or the block's header or records are not all
//   there yet; nothing changes.
// - Skipped: a complete block whose record number or a 16-bit field is out of range; the
//   cursor moves past it, blockNumber and ringSlot stay, nothing is returned (time mark -1).
// - Error: the file cannot be read, or a later block's header byte 0 has bit 7 set (the bytes
//   at the cursor are no header); nothing changes and `error` says why.
DetectionBlock ReadWormBlock(const std::string& runFolder, LiveReaderState& state);

} // namespace results
