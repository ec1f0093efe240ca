#pragma once
// The position file (xy_worms.bin): one block per analysed frame, appended by the organism
// finder and read by the trackers, the training test and the exports.
//
// Block: a 6-byte header, N records of 14 bytes and a 6-byte footer (12 + 14 x N bytes).
//   header byte 0   bits 16..22 of the time mark; the layout byte 2 in the first block of a file
//   header byte 1-2 bits 8..15 and 0..7 of the time mark
//   header byte 3   N, the number of records
//   header byte 4-5 check value, big-endian: (XOR of all record bytes) XOR HASH_SEED
//   footer          the header again, byte 0 = (bits 16..22 of the time mark) | 0x80
// Record: number (1 byte, 1..N), X, Y, dark-pixel count, X size, Y size, shape code (each
// big-endian 16-bit), mean grey (1 byte). Every multi-byte number is big-endian.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace formats {

inline constexpr int HEADER_SIZE = 6;
inline constexpr int FOOTER_SIZE = 6;
inline constexpr int WORM_BUFFER_SIZE = 14;     // bytes of one record
inline constexpr int MAX_NUMBER_OF_WORMS = 128; // records the finder puts into one block
inline constexpr int MAXWORMS = 255;            // what the count byte could hold
inline constexpr int OUTPUT_BUFFER_SIZE =
    HEADER_SIZE + MAX_NUMBER_OF_WORMS * WORM_BUFFER_SIZE + FOOTER_SIZE; // 1798
inline constexpr std::uint16_t HASH_SEED = 0x551;
inline constexpr std::uint8_t POSITION_LAYOUT_BYTE = 2; // first byte of a file: 14-byte records
inline constexpr std::uint8_t FOOTER_FLAG = 0x80;
inline constexpr std::int32_t kMaxTimeMark = 0x7FFFFF; // the 23 bits a block header holds
inline constexpr char kWormPositionsFileName[] = "xy_worms.bin";

// One detection record. Fields are stored as 16-bit values; a negative value is stored as its
// low 16 bits (two's complement).
struct WormRecord {
    std::uint8_t number = 0;   // 1..N in the order of acceptance
    std::uint16_t x = 0;       // image column of the centre
    std::uint16_t y = 0;       // image row of the centre
    std::uint16_t pixels = 0;  // dark-pixel count
    std::uint16_t xSize = 0;   // last minus first column of the dark pixels
    std::uint16_t ySize = 0;   // last minus first row of the dark pixels
    std::uint16_t shape = 0;   // 4 x 4 shape code
    std::uint8_t meanGray = 0; // truncated mean grey of the candidate window

    bool operator==(const WormRecord&) const = default;
};

// The 14 bytes of one record, appended to `out`.
void encodeRecord(const WormRecord& record, std::vector<std::uint8_t>& out);
WormRecord decodeRecord(const std::uint8_t* bytes14);

// XOR of the first `len` bytes of `buffer` (0..255).
std::uint16_t get_output_hash(const std::uint8_t* buffer, std::size_t len);

// The block's check value: get_output_hash over the record bytes XOR HASH_SEED.
std::uint16_t blockCheckValue(std::span<const std::uint8_t> recordBytes);

// A whole block. `firstBlockOfFile` puts the layout byte into header byte 0.
// At most MAXWORMS records fit the count byte; the caller keeps to MAX_NUMBER_OF_WORMS.
std::vector<std::uint8_t> encodeBlock(std::int32_t timeMark, std::span<const WormRecord> records,
                                      bool firstBlockOfFile);
// The same from record bytes already laid out (14 x count bytes).
std::vector<std::uint8_t> encodeBlockFromRecordBytes(std::int32_t timeMark, int count,
                                                     std::span<const std::uint8_t> recordBytes,
                                                     bool firstBlockOfFile);

// A position file is new, for the writer, while it holds at most one byte.
inline bool positionFileIsNew(std::uint64_t size) {
    return size <= 1;
}

struct PositionBlock {
    std::size_t offset = 0;    // where the block starts in the file
    std::int32_t timeMark = 0; // 256 x b1 + b2 in the first block, + 65536 x b0 in later ones
    std::uint8_t headerByte0 = 0;
    std::uint16_t checkValue = 0; // as stored
    bool checkValueMatches = false;
    bool footerMatches = false; // footer bytes 1..5 equal the header's, footer byte 0 has bit 7
    std::vector<WormRecord> records;
};

// The size in bytes of the block that starts at `offset`, or nothing when the header is not
// complete yet. The block itself may still be incomplete (compare with the data size).
std::optional<std::size_t> blockSizeAt(std::span<const std::uint8_t> data, std::size_t offset);

// Decodes the block at `offset` when all of its bytes are present. `firstBlockOfFile` says how
// to read header byte 0 (offset 0 of a file whose first byte is the layout byte).
std::optional<PositionBlock> decodeBlockAt(std::span<const std::uint8_t> data, std::size_t offset,
                                           bool firstBlockOfFile);

struct PositionFile {
    std::uint8_t layoutByte = 0;       // first byte of the file (0 when empty)
    std::vector<PositionBlock> blocks; // every complete block, in file order
    std::size_t consumed = 0;          // bytes covered by the complete blocks
    std::string error;                 // empty, or why the walk stopped early
};

// Walks a whole file's bytes block by block. An incomplete last block is left out (consumed
// stops before it) without an error; a block whose footer does not match stops the walk with
// an error. Only files of layout 2 are walked.
PositionFile decodePositionFile(std::span<const std::uint8_t> data);
// Reads and decodes the file at `path`; a file that cannot be read gives an error.
PositionFile readPositionFile(const std::string& path);

// The time mark of the last complete block of a file's bytes, found by stepping from block to
// block over their headers; nothing when the file holds no complete block of layout 2 or the
// last one found has no matching footer.
std::optional<std::int32_t> lastBlockTimeMark(std::span<const std::uint8_t> data);

} // namespace formats
