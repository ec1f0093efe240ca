// Sirrex's frame input over arbitrary file bytes: the header skip, and the frame taken from
// memory and from a file (mapped) giving the same result and the same pixels.

#include "finder/grid_scan.h"
#include "finder/image_input.h"
#include "finder/sirrex_state.h"
#include "fuzz/support/scratch_file.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <sstream>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> bytes(data, size);
    const std::size_t header = finder::pgmHeaderSize(bytes);
    FUZZ_CHECK(header <= size);

    std::ostringstream out;
    std::ostringstream err;
    finder::SirrexState fromMemory;
    fromMemory.verbose = size > 0 && (data[0] & 1) != 0;
    const finder::ImageReadResult memoryResult = finder::takeImage(fromMemory, bytes, out, err);

    finder::SirrexState fromFile;
    fromFile.verbose = fromMemory.verbose;
    fromFile.nfile = fuzz::writeScratchFile("frame.pgm", data, size);
    const finder::ImageReadResult fileResult = finder::read_image(fromFile, out, err);

    if (size == 0) {
        FUZZ_CHECK(memoryResult == finder::ImageReadResult::NoPixels);
        FUZZ_CHECK(fileResult == finder::ImageReadResult::NoPixels);
        return 0;
    }
    FUZZ_CHECK(memoryResult == fileResult);
    const std::size_t pixels = size - header;
    if (pixels == 0)
        FUZZ_CHECK(memoryResult == finder::ImageReadResult::NoPixels);
    else if (pixels < static_cast<std::size_t>(finder::MAXCHANNELS))
        FUZZ_CHECK(memoryResult == finder::ImageReadResult::Truncated);
    else
        FUZZ_CHECK(memoryResult == finder::ImageReadResult::Ok);
    if (memoryResult != finder::ImageReadResult::Ok) {
        const std::size_t n = pixels < 4096 ? pixels : 4096;
        FUZZ_CHECK(std::memcmp(fromMemory.buffer.data(), data + header, n) == 0);
        return 0;
    }
    FUZZ_CHECK(std::memcmp(fromMemory.buffer.data(), fromFile.buffer.data(), finder::MAXCHANNELS) ==
               0);
    finder::analyseFrame(fromFile);
    FUZZ_CHECK(fromFile.worms_found <= formats::MAX_NUMBER_OF_WORMS);
    return 0;
}
