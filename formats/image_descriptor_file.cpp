#include "formats/image_descriptor_file.h"

#include "formats/regular_file.h"

#include <algorithm>

namespace formats {

namespace {

void put16(std::vector<std::uint8_t>& out, std::uint32_t value) {
    out.push_back(static_cast<std::uint8_t>((value >> 8) & 0xFF));
    out.push_back(static_cast<std::uint8_t>(value & 0xFF));
}

std::uint16_t get16(const std::uint8_t* bytes) {
    return static_cast<std::uint16_t>((bytes[0] << 8) | bytes[1]);
}

} // namespace

std::vector<std::uint8_t> encodeBoxTable(std::span<const BoxEntry> boxes) {
    std::vector<std::uint8_t> out;
    out.reserve(2 + kBoxTableEntrySize * boxes.size());
    put16(out, static_cast<std::uint32_t>(boxes.size()));
    for (const BoxEntry& b : boxes) {
        put16(out, b.x);
        put16(out, b.y);
    }
    return out;
}

std::vector<std::uint8_t> encodeDescriptorLine(std::int32_t timeMark,
                                               std::span<const std::uint8_t> values) {
    std::vector<std::uint8_t> out;
    out.reserve(kDescriptorLineHeaderSize + values.size());
    put16(out, descriptorLineTimeMark(timeMark));
    out.insert(out.end(), values.begin(), values.end());
    return out;
}

ImageDescriptorFile decodeImageDescriptorFile(std::span<const std::uint8_t> data) {
    ImageDescriptorFile file;
    if (data.size() < 2) {
        file.trailingBytes = data.size();
        return file;
    }
    const std::size_t count = get16(data.data());
    const std::size_t tableSize = 2 + kBoxTableEntrySize * count;
    if (data.size() < tableSize) {
        file.error = "box table is cut short";
        return file;
    }
    file.boxes.reserve(count);
    for (std::size_t k = 0; k < count; ++k) {
        const std::uint8_t* e = data.data() + 2 + kBoxTableEntrySize * k;
        file.boxes.push_back({get16(e), get16(e + 2)});
    }
    const std::size_t lineSize = kDescriptorLineHeaderSize + count;
    const std::size_t lineCount = (data.size() - tableSize) / lineSize;
    std::vector<std::uint16_t> marks(lineCount);
    std::vector<std::uint8_t> values(lineCount * count);
    const std::uint8_t* line = data.data() + tableSize;
    for (std::size_t i = 0; i < lineCount; ++i, line += lineSize) {
        marks[i] = get16(line);
        std::copy(line + 2, line + lineSize, values.begin() + static_cast<std::ptrdiff_t>(i * count));
    }
    file.lines = DescriptorLines(count, std::move(marks), std::move(values));
    file.trailingBytes = data.size() - tableSize - lineCount * lineSize;
    return file;
}

ImageDescriptorFile readImageDescriptorFile(const std::string& path) {
    std::string bytes, error;
    if (!readRegularFile(path, bytes, error)) {
        ImageDescriptorFile file;
        file.error = error;
        return file;
    }
    return decodeImageDescriptorFile(std::span<const std::uint8_t>(
        reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()));
}

} // namespace formats
