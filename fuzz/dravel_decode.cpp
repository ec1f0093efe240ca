// Dravel's decoding over arbitrary JPEG bytes at every scale: a decoded frame is a whole PGM
// of the size its header gives, and the whole and the piecewise decodings agree.

#include "fuzz/support/scratch_file.h"
#include "tools/dravel/jpeg_gray.h"

#include <csetjmp>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include <jpeglib.h>

namespace {

// Frames are 1600 x 1200; a header that claims a far bigger picture would only measure the
// memory of the machine (every byte of the picture is held), so such inputs are passed over.
constexpr std::uint64_t kMostPixels = 4u << 20;

struct HeaderErrors {
    jpeg_error_mgr base;
    std::jmp_buf jump;
};

[[noreturn]] void headerError(j_common_ptr info) {
    std::longjmp(reinterpret_cast<HeaderErrors*>(info->err)->jump, 1);
}

// The picture size the stream's header claims, 0 when there is no readable header.
std::uint64_t claimedPixels(std::string_view jpeg) {
    if (jpeg.empty())
        return 0;
    jpeg_decompress_struct info{};
    HeaderErrors errors{};
    info.err = jpeg_std_error(&errors.base);
    errors.base.error_exit = headerError;
    if (setjmp(errors.jump)) {
        jpeg_destroy_decompress(&info);
        return 0;
    }
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, reinterpret_cast<const unsigned char*>(jpeg.data()),
                 static_cast<unsigned long>(jpeg.size()));
    jpeg_read_header(&info, TRUE);
    const std::uint64_t pixels = static_cast<std::uint64_t>(info.image_width) * info.image_height;
    jpeg_destroy_decompress(&info);
    return pixels;
}

bool collect(void* context, const char* data, std::size_t size) {
    auto* text = static_cast<std::string*>(context);
    FUZZ_CHECK(size <= 65536);
    text->append(data, size);
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1)
        return 0;
    // The first byte picks the scale; the rest is the file.
    const int denominator = 1 << (data[0] % 4);
    const std::string_view jpeg(reinterpret_cast<const char*>(data + 1), size - 1);
    if (claimedPixels(jpeg) > kMostPixels)
        return 0;

    dravel::GrayImage image;
    std::string error;
    const bool whole = dravel::decodeJpegGray(jpeg, denominator, image, error);
    if (whole) {
        FUZZ_CHECK(image.width > 0 && image.height > 0);
        const std::string header = dravel::pgmHeader(image.width, image.height);
        FUZZ_CHECK(image.pgm.size() ==
                   header.size() + static_cast<std::size_t>(image.width) * image.height);
        FUZZ_CHECK(image.pgm.compare(0, header.size(), header) == 0);
    } else {
        FUZZ_CHECK(!error.empty());
        FUZZ_CHECK(image.pgm.empty());
    }

    std::string pieces;
    std::string pieceError;
    const bool piecewise =
        dravel::decodeJpegGrayTo(jpeg, denominator, collect, &pieces, pieceError);
    FUZZ_CHECK(piecewise == whole);
    if (whole)
        FUZZ_CHECK(pieces == image.pgm);
    else
        FUZZ_CHECK(!pieceError.empty());
    return 0;
}
