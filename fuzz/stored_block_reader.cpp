// The stored-acquisition position-file reader: its block parser over arbitrary bytes in every
// layout, and the reader itself walking an arbitrary xy_worms.bin to its end, from the file and
// from the file read once alike. On a file of the current layout it must read the same blocks
// as the live reader (both read a block whose footer does not match by its header's count).
// The CSV export of the same bytes ends and writes whole lines.

#include "app/results/csv_exports.h"
#include "app/results/live_block_reader.h"
#include "app/results/stored_block_reader.h"
#include "formats/position_file.h"
#include "fuzz/support/scratch_file.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace {

using results::DetectionBlock;

void checkParsed(const results::ParsedWormBlock& p, std::size_t available) {
    switch (p.status) {
    case DetectionBlock::Status::Block:
        FUZZ_CHECK(p.advance > 0 && p.advance <= available);
        FUZZ_CHECK(p.count >= 0 && static_cast<std::size_t>(p.count) <= p.slots.size());
        FUZZ_CHECK(p.timeMark >= 0);
        break;
    case DetectionBlock::Status::Skipped:
        FUZZ_CHECK(p.advance > 0 && p.advance <= available);
        FUZZ_CHECK(!p.error.empty());
        break;
    case DetectionBlock::Status::NothingNew:
        FUZZ_CHECK(p.advance == 0);
        break;
    case DetectionBlock::Status::Error:
        FUZZ_CHECK(!p.error.empty());
        break;
    }
}

void checkShape(const DetectionBlock& b) {
    FUZZ_CHECK(b.count >= 0 && b.count <= results::kRunMaxDetections);
    const auto n = static_cast<std::size_t>(b.count) + 1;
    FUZZ_CHECK(b.x.size() == n && b.y.size() == n && b.pixels.size() == n);
    FUZZ_CHECK(b.xSize.size() == n && b.ySize.size() == n && b.shape.size() == n);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> bytes(data, size);

    // The parser alone, every layout, at the file start and further on.
    for (int layout = 0; layout <= 3; ++layout) {
        for (bool atFileStart : {true, false})
            checkParsed(results::ParseWormBlock(bytes, atFileStart, layout), size);
    }
    const std::vector<std::uint8_t> head(data, data + (size > 0 ? 1 : 0));
    const int layout = results::positionLayoutOf(head, size);
    FUZZ_CHECK(layout >= 0 && layout <= 3);

    // The reader walking the file as the reanalysis window does, block after block; the live
    // reader walks beside it while the file is of the current layout.
    fuzz::writeScratchFile(formats::kWormPositionsFileName, data, size);
    results::StoredReaderState state, once;
    results::LiveReaderState live;
    const results::StoredPositionFile file = results::loadStoredPositionFile(fuzz::scratchFolder());
    FUZZ_CHECK(file.ok && file.bytes.size() == size && file.layout == layout);
    const bool current = layout == 3;
    // Every step that moves the cursor moves it by at least 6 bytes.
    for (std::size_t guard = 0;; ++guard) {
        FUZZ_CHECK(guard <= size / 6 + 1);
        const std::int32_t before = state.readerCursor;
        const DetectionBlock b = results::ReadWormBlock(fuzz::scratchFolder(), state);
        checkShape(b);
        const DetectionBlock m = results::ReadWormBlock(file, once);
        FUZZ_CHECK(m.status == b.status && once.readerCursor == state.readerCursor);
        FUZZ_CHECK(m.timeMark == b.timeMark && m.count == b.count && m.x == b.x &&
                   m.shape == b.shape && m.footerMismatch == b.footerMismatch);
        if (current) {
            const DetectionBlock l = results::ReadWormBlock(fuzz::scratchFolder(), live);
            FUZZ_CHECK(l.status == b.status);
            FUZZ_CHECK(live.positionCursor == state.readerCursor);
            FUZZ_CHECK(l.footerMismatch == b.footerMismatch);
            if (b.hasBlock()) {
                FUZZ_CHECK(l.timeMark == b.timeMark && l.count == b.count);
                FUZZ_CHECK(l.x == b.x && l.y == b.y && l.pixels == b.pixels);
                FUZZ_CHECK(l.xSize == b.xSize && l.ySize == b.ySize && l.shape == b.shape);
            }
        }
        if (b.status == DetectionBlock::Status::Block ||
            b.status == DetectionBlock::Status::Skipped) {
            FUZZ_CHECK(state.readerCursor > before);
            FUZZ_CHECK(static_cast<std::size_t>(state.readerCursor) <= size + 1);
            continue;
        }
        FUZZ_CHECK(state.readerCursor == before);
        FUZZ_CHECK(b.timeMark == 0 && b.count == 0);
        break;
    }

    const results::CsvText csv = results::wormPositionsCsvText(bytes);
    FUZZ_CHECK(csv.ok != !csv.error.empty());
    FUZZ_CHECK(csv.text.empty() || csv.text.ends_with("\r\n"));
    return 0;
}
