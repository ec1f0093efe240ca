#include "formats/position_file.h"

#include "formats/regular_file.h"

namespace formats {

namespace {

void put16(std::vector<std::uint8_t>& out, std::uint16_t value) {
    out.push_back(static_cast<std::uint8_t>((value >> 8) & 0xFF));
    out.push_back(static_cast<std::uint8_t>(value & 0xFF));
}

std::uint16_t get16(const std::uint8_t* bytes) {
    return static_cast<std::uint16_t>((bytes[0] << 8) | bytes[1]);
}

// Header (or footer, with byte0 given) of a block.
void putHeader(std::vector<std::uint8_t>& out, std::uint8_t byte0, std::int32_t timeMark, int count,
               std::uint16_t check) {
    const auto t = static_cast<std::uint32_t>(timeMark);
    out.push_back(byte0);
    out.push_back(static_cast<std::uint8_t>((t >> 8) & 0xFF));
    out.push_back(static_cast<std::uint8_t>(t & 0xFF));
    out.push_back(static_cast<std::uint8_t>(count & 0xFF));
    put16(out, check);
}

} // namespace

void encodeRecord(const WormRecord& record, std::vector<std::uint8_t>& out) {
    out.push_back(record.number);
    put16(out, record.x);
    put16(out, record.y);
    put16(out, record.pixels);
    put16(out, record.xSize);
    put16(out, record.ySize);
    put16(out, record.shape);
    out.push_back(record.meanGray);
}

WormRecord decodeRecord(const std::uint8_t* b) {
    WormRecord r;
    r.number = b[0];
    r.x = get16(b + 1);
    r.y = get16(b + 3);
    r.pixels = get16(b + 5);
    r.xSize = get16(b + 7);
    r.ySize = get16(b + 9);
    r.shape = get16(b + 11);
    r.meanGray = b[13];
    return r;
}

std::uint16_t get_output_hash(const std::uint8_t* buffer, std::size_t len) {
    std::uint8_t hash = 0;
    for (std::size_t i = 0; i < len; ++i)
        hash ^= buffer[i];
    return hash;
}

std::uint16_t blockCheckValue(std::span<const std::uint8_t> recordBytes) {
    return static_cast<std::uint16_t>(get_output_hash(recordBytes.data(), recordBytes.size()) ^
                                      HASH_SEED);
}

std::vector<std::uint8_t> encodeBlockFromRecordBytes(std::int32_t timeMark, int count,
                                                     std::span<const std::uint8_t> recordBytes,
                                                     bool firstBlockOfFile) {
    const auto high =
        static_cast<std::uint8_t>((static_cast<std::uint32_t>(timeMark) >> 16) & 0x7F);
    const std::uint16_t check = blockCheckValue(recordBytes);
    std::vector<std::uint8_t> out;
    out.reserve(HEADER_SIZE + recordBytes.size() + FOOTER_SIZE);
    putHeader(out, firstBlockOfFile ? POSITION_LAYOUT_BYTE : high, timeMark, count, check);
    out.insert(out.end(), recordBytes.begin(), recordBytes.end());
    putHeader(out, static_cast<std::uint8_t>(high | FOOTER_FLAG), timeMark, count, check);
    return out;
}

std::vector<std::uint8_t> encodeBlock(std::int32_t timeMark, std::span<const WormRecord> records,
                                      bool firstBlockOfFile) {
    std::vector<std::uint8_t> bytes;
    bytes.reserve(records.size() * WORM_BUFFER_SIZE);
    for (const WormRecord& r : records)
        encodeRecord(r, bytes);
    return encodeBlockFromRecordBytes(timeMark, static_cast<int>(records.size()), bytes,
                                      firstBlockOfFile);
}

std::optional<std::size_t> blockSizeAt(std::span<const std::uint8_t> data, std::size_t offset) {
    if (offset + HEADER_SIZE > data.size())
        return std::nullopt;
    return static_cast<std::size_t>(HEADER_SIZE + FOOTER_SIZE +
                                    WORM_BUFFER_SIZE * data[offset + 3]);
}

std::optional<PositionBlock> decodeBlockAt(std::span<const std::uint8_t> data, std::size_t offset,
                                           bool firstBlockOfFile) {
    const auto size = blockSizeAt(data, offset);
    if (!size || offset + *size > data.size())
        return std::nullopt;
    const std::uint8_t* h = data.data() + offset;
    const int count = h[3];
    const std::uint8_t* records = h + HEADER_SIZE;
    const std::uint8_t* f = records + static_cast<std::size_t>(count) * WORM_BUFFER_SIZE;

    PositionBlock block;
    block.offset = offset;
    block.headerByte0 = h[0];
    block.timeMark = (firstBlockOfFile ? 0 : (h[0] & 0x7F) << 16) | (h[1] << 8) | h[2];
    block.checkValue = get16(h + 4);
    block.checkValueMatches =
        block.checkValue ==
        blockCheckValue({records, static_cast<std::size_t>(count) * WORM_BUFFER_SIZE});
    block.footerMatches = (f[0] & FOOTER_FLAG) != 0;
    for (int i = 1; i < HEADER_SIZE; ++i)
        block.footerMatches = block.footerMatches && f[i] == h[i];
    block.records.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i)
        block.records.push_back(
            decodeRecord(records + static_cast<std::size_t>(i) * WORM_BUFFER_SIZE));
    return block;
}

PositionFile decodePositionFile(std::span<const std::uint8_t> data) {
    PositionFile file;
    if (data.empty())
        return file;
    file.layoutByte = data[0];
    if (file.layoutByte != POSITION_LAYOUT_BYTE) {
        file.error = "unknown layout byte " + std::to_string(file.layoutByte);
        return file;
    }
    std::size_t offset = 0;
    while (offset < data.size()) {
        auto block = decodeBlockAt(data, offset, offset == 0);
        if (!block)
            break; // incomplete last block: not there yet
        if (!block->footerMatches) {
            file.error = "block at offset " + std::to_string(offset) + " has no matching footer";
            break;
        }
        const auto size = *blockSizeAt(data, offset);
        file.blocks.push_back(std::move(*block));
        offset += size;
        file.consumed = offset;
    }
    return file;
}

std::optional<std::int32_t> lastBlockTimeMark(std::span<const std::uint8_t> data) {
    if (data.empty() || data[0] != POSITION_LAYOUT_BYTE)
        return std::nullopt;
    std::optional<std::size_t> last;
    std::size_t offset = 0;
    while (const auto size = blockSizeAt(data, offset)) {
        if (offset + *size > data.size())
            break; // incomplete last block: not there yet
        last = offset;
        offset += *size;
    }
    if (!last)
        return std::nullopt;
    const auto block = decodeBlockAt(data, *last, *last == 0);
    if (!block || !block->footerMatches)
        return std::nullopt;
    return block->timeMark;
}

PositionFile readPositionFile(const std::string& path) {
    std::string bytes, error;
    if (!readRegularFile(path, bytes, error)) {
        PositionFile file;
        file.error = error;
        return file;
    }
    return decodePositionFile(std::span<const std::uint8_t>(
        reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()));
}

} // namespace formats
