// The image-descriptor reader over arbitrary xy_image.bin bytes: what it takes must account
// for every byte and write back as the same bytes.

#include "formats/image_descriptor_file.h"
#include "fuzz/support/scratch_file.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> bytes(data, size);
    const formats::ImageDescriptorFile file = formats::decodeImageDescriptorFile(bytes);
    if (!file.error.empty()) {
        FUZZ_CHECK(file.lines.empty());
        return 0;
    }
    if (size < 2) {
        FUZZ_CHECK(file.boxes.empty() && file.lines.empty() && file.trailingBytes == size);
        return 0;
    }

    // Table, complete lines and the cut-off rest cover the file exactly.
    const std::size_t m = file.boxes.size();
    const std::size_t lineSize = formats::kDescriptorLineHeaderSize + m;
    FUZZ_CHECK(m == static_cast<std::size_t>((data[0] << 8) | data[1]));
    FUZZ_CHECK(file.trailingBytes < lineSize);
    FUZZ_CHECK(2 + 4 * m + file.lines.size() * lineSize + file.trailingBytes == size);
    // The lines take what the file spends on them, whatever they hold.
    FUZZ_CHECK(file.lines.width() == m && file.lines.heldBytes() <= size);

    // Written again, the table and the lines are the file's own bytes.
    std::vector<std::uint8_t> again = formats::encodeBoxTable(file.boxes);
    for (const formats::DescriptorLine& line : file.lines) {
        FUZZ_CHECK(line.values.size() == m);
        const auto encoded = formats::encodeDescriptorLine(line.timeMark, line.values);
        again.insert(again.end(), encoded.begin(), encoded.end());
    }
    FUZZ_CHECK(again.size() + file.trailingBytes == size);
    FUZZ_CHECK(std::equal(again.begin(), again.end(), data));
    return 0;
}
