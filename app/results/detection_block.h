#pragma once
// One block of detections as the position-file readers hand it to the trackers.

#include <cstdint>
#include <string>
#include <vector>

namespace results {

// Slots of a reader's working table: a record goes to slot (record number - 1).
inline constexpr int kDetectionSlots = 1001;

struct DetectionBlock {
    enum class Status {
        NothingNew, // no file, or the next block is not (completely) there yet; cursor unchanged
        Block,      // a block was read; the cursor moved past it
        Skipped,    // a complete block with values out of range: passed over (cursor moved past
                    // it), nothing returned; `error` says why
        Error,      // the file cannot be read, or the bytes at the cursor are no block header
                    // (a header value out of range): cursor unchanged; `error` says why, for
                    // the caller to report
    };
    Status status = Status::NothingNew;
    std::int32_t timeMark = -1; // the block's time mark; -1 (live) or 0 (stored) when none
    std::int32_t count = 0;     // N of the block header, even when fewer detections were kept
    // count + 1 entries: the kept detections (X > 0 and Y > 0) packed from index 0 in record
    // order, every later entry 0 (and an empty shape text).
    std::vector<std::int16_t> x, y, pixels, xSize, ySize;
    std::vector<std::string> shape; // shape code 0 .. 65535 as decimal text
    std::string error;
    // The block's footer does not match its header; the block was read by its header's count
    // all the same.
    bool footerMismatch = false;
    // The live reader sets it on the first such block of a run only, the stored reader on
    // every such block; for the caller's status text.
    std::string notice;

    bool hasBlock() const { return status == Status::Block; }
};

// A detection of a reader's working table.
struct DetectionSlot {
    std::int32_t x = 0, y = 0, pixels = 0, xSize = 0, ySize = 0;
    std::int32_t shape = 0;
};

// Sizes the result arrays of `block` to count + 1 entries and packs slots 0 .. count - 1 whose
// X and Y are above 0 from index 0.
void packDetections(DetectionBlock& block, const std::vector<DetectionSlot>& slots,
                    std::int32_t count);

} // namespace results
