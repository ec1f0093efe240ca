#pragma once
// The image-descriptor file (xy_image.bin): a box table written once by the finder run that
// creates the file, then one line of box brightness values per analysed frame.
//
// Table: M (big-endian 16-bit), then M entries of X and Y (each big-endian 16-bit): the box
//        centres, the five background boxes first, then the scan grid in scan order.
// Line:  the low 16 bits of the time mark (big-endian), then M bytes, one value per box.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace formats {

inline constexpr int MAXBOXES = 15000;            // bytes of the line buffer
inline constexpr int kBoxTableBufferSize = 30001; // bytes of the table buffer
inline constexpr int kMaxBoxEntries = 7499;       // boxes per run (2 + 4 x 7499 <= 30001)
inline constexpr int kBoxTableEntrySize = 4;
inline constexpr int kDescriptorLineHeaderSize = 2;
inline constexpr char kImageDescriptorFileName[] = "xy_image.bin";

struct BoxEntry {
    std::uint16_t x = 0; // centre column (low 16 bits)
    std::uint16_t y = 0; // centre row
    bool operator==(const BoxEntry&) const = default;
};

// A descriptor file is new, for the writer, while it holds at most one byte.
inline bool imageDescriptorFileIsNew(std::uint64_t size) {
    return size <= 1;
}

// 2 + 4 x M bytes.
std::vector<std::uint8_t> encodeBoxTable(std::span<const BoxEntry> boxes);
// 2 + M bytes.
std::vector<std::uint8_t> encodeDescriptorLine(std::int32_t timeMark,
                                               std::span<const std::uint8_t> values);

// The mark a descriptor line keeps of a frame's time mark: its low 16 bits.
inline std::uint16_t descriptorLineTimeMark(std::int32_t timeMark) {
    return static_cast<std::uint16_t>(static_cast<std::uint32_t>(timeMark) & 0xFFFF);
}

struct DescriptorLine {
    // descriptorLineTimeMark of the frame's time mark. A reader that joins lines to position
    // blocks pairs them by this mark, never by their places in the two files: an append that
    // failed or was cut off leaves one file a frame ahead of the other.
    std::uint16_t timeMark = 0;
    std::vector<std::uint8_t> values; // M values in table order
};

// The lines of a file held compactly, whatever their number and width: their time marks in
// one table and their values in another, about the size of the file's lines together.
// Element access copies a line out as a DescriptorLine; timeMark(i) and values(i) do not.
class DescriptorLines {
public:
    DescriptorLines() = default;
    DescriptorLines(std::size_t width, std::vector<std::uint16_t> timeMarks,
                    std::vector<std::uint8_t> values)
        : m_width(width), m_timeMarks(std::move(timeMarks)), m_values(std::move(values)) {}

    std::size_t size() const { return m_timeMarks.size(); }
    bool empty() const { return m_timeMarks.empty(); }
    std::size_t width() const { return m_width; } // M
    std::uint16_t timeMark(std::size_t i) const { return m_timeMarks[i]; }
    std::span<const std::uint8_t> values(std::size_t i) const {
        return std::span<const std::uint8_t>(m_values).subspan(i * m_width, m_width);
    }
    // The memory the lines take: about 2 + M bytes a line, what the file spends on them.
    std::size_t heldBytes() const { return 2 * m_timeMarks.capacity() + m_values.capacity(); }
    DescriptorLine operator[](std::size_t i) const {
        const auto v = values(i);
        return {timeMark(i), std::vector<std::uint8_t>(v.begin(), v.end())};
    }

    class const_iterator {
    public:
        using value_type = DescriptorLine;
        using difference_type = std::ptrdiff_t;
        const_iterator() = default;
        const_iterator(const DescriptorLines* lines, std::size_t i) : m_lines(lines), m_i(i) {}
        DescriptorLine operator*() const { return (*m_lines)[m_i]; }
        const_iterator& operator++() {
            ++m_i;
            return *this;
        }
        bool operator==(const const_iterator&) const = default;

    private:
        const DescriptorLines* m_lines = nullptr;
        std::size_t m_i = 0;
    };
    const_iterator begin() const { return {this, 0}; }
    const_iterator end() const { return {this, size()}; }

private:
    std::size_t m_width = 0;
    std::vector<std::uint16_t> m_timeMarks;
    std::vector<std::uint8_t> m_values; // size() x width, line after line
};

struct ImageDescriptorFile {
    std::vector<BoxEntry> boxes;
    DescriptorLines lines;         // every complete line
    std::size_t trailingBytes = 0; // bytes of an incomplete last line
    std::string error;             // empty, or why the file could not be read
};

ImageDescriptorFile decodeImageDescriptorFile(std::span<const std::uint8_t> data);
ImageDescriptorFile readImageDescriptorFile(const std::string& path);

} // namespace formats
