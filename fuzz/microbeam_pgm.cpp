// The Microbeam run's raw PGM reading over arbitrary bytes, from memory and from a file, and the
// activity measure over a ring cut from the pixels read. The first byte picks the geometry and
// how the ring is cut; the rest is the file.

#include "app/microbeam/block_activity.h"
#include "app/microbeam/pgm_pixels.h"
#include "fuzz/support/scratch_file.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace {

// Where the pixels begin: after the third line feed, or nowhere.
std::size_t pixelStart(std::string_view bytes) {
    int lineFeeds = 0;
    for (std::size_t i = 0; i < bytes.size(); ++i)
        if (bytes[i] == '\n' && ++lineFeeds == 3)
            return i + 1;
    return std::string_view::npos;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    const std::uint8_t control = data[0];
    const std::string_view bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
    // Both run geometries, and small ones that reach the end of a row and of the frame often.
    static constexpr microbeam::FrameSize kSizes[4] = {{200, 150}, {160, 120}, {7, 3}, {1, 1}};
    const microbeam::FrameSize frameSize = kSizes[control & 3];

    const microbeam::FramePixels pixels = microbeam::pgmPixelsFromBytes(bytes, frameSize);
    const std::size_t most = static_cast<std::size_t>(frameSize.width) * frameSize.height;
    FUZZ_CHECK(pixels.size() <= most);
    const std::size_t start = pixelStart(bytes);
    if (start == std::string_view::npos) {
        FUZZ_CHECK(pixels.empty());
    } else {
        FUZZ_CHECK(pixels.size() == std::min(most, bytes.size() - start));
        FUZZ_CHECK(pixels.empty() ||
                   std::memcmp(pixels.data(), bytes.data() + start, pixels.size()) == 0);
    }

    const std::string path = fuzz::writeScratchFile("preview.pgm", data + 1, size - 1);
    std::string error;
    const microbeam::FramePixels fromFile = microbeam::pgmPixelsFromFile(path, frameSize, &error);
    FUZZ_CHECK(error.empty());
    FUZZ_CHECK(fromFile == pixels);
    (void)microbeam::isStorableFrame(pixels);

    // A ring of ten frames cut from the pixels at lengths the input chooses, so that frames
    // longer than the one before, empty frames and short ones all occur.
    if ((control & 4) != 0 && !pixels.empty()) {
        microbeam::FrameRing ring;
        for (int k = 0; k < microbeam::kRingSlots; ++k) {
            const std::size_t length =
                (pixels[static_cast<std::size_t>(k) % pixels.size()] * pixels.size()) / 255;
            ring.frames[k].assign(pixels.begin(),
                                  pixels.begin() + static_cast<std::ptrdiff_t>(length));
            // The frames differ a little, so that steps change.
            for (std::size_t i = 0; i < ring.frames[k].size(); i += 7)
                ring.frames[k][i] = static_cast<std::uint8_t>(ring.frames[k][i] + k * 9);
        }
        const microbeam::FrameRing before = ring;
        microbeam::ActivityMask mask;
        mask.fill(-1);
        const microbeam::BlockResult result = microbeam::BlockActivity(ring, mask, frameSize.width);
        if (result.failed) {
            FUZZ_CHECK(result.activity == 0);
            FUZZ_CHECK(!result.reason.empty());
            for (int k = 0; k < microbeam::kRingSlots; ++k)
                FUZZ_CHECK(ring.frames[k] == before.frames[k]);
            for (std::int16_t m : mask)
                FUZZ_CHECK(m == -1);
        } else {
            FUZZ_CHECK(result.total >= 0 && result.total <= 9 * microbeam::kLastPixel);
            FUZZ_CHECK(mask[0] == -1 && mask[27648] == -1 && mask[27649] == -1);
            std::int32_t total = 0;
            for (int p = 1; p <= microbeam::kLastPixel; ++p) {
                FUZZ_CHECK(mask[p] >= 0 && mask[p] <= 9);
                total += mask[p];
            }
            FUZZ_CHECK(total == result.total);
            FUZZ_CHECK(static_cast<std::int64_t>(result.activity) * result.activity <=
                       static_cast<std::int64_t>(total) + result.activity);
        }
    }
    return 0;
}
