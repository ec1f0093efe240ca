#pragma once
// Decoding of a JPEG frame into 8-bit gray pixels, optionally reduced while decoding.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace dravel {

struct GrayImage {
    int width = 0;
    int height = 0;
    std::string pgm; // the whole PGM file: "P5\n<w> <h>\n255\n" and width x height bytes
};

// The largest frame converted: a header that claims more is refused before any picture
// memory is taken.
inline constexpr unsigned MAX_FRAME_SIDE = 16384;
inline constexpr unsigned long long MAX_FRAME_PIXELS = 64ULL * 1024 * 1024;

// The PGM header of a width x height 8-bit image.
std::string pgmHeader(int width, int height);

// Decodes `jpeg` into gray at scale 1/`denominator` (1, 2, 4 or 8), using the decoder's own
// reduced inverse transform. A missing, corrupt or cut-off stream, or a frame larger than
// MAX_FRAME_SIDE on a side or MAX_FRAME_PIXELS in all, gives false and a message.
bool decodeJpegGray(std::string_view jpeg, int denominator, GrayImage& image, std::string& error);

// Receives the bytes of the PGM file in order, the header first; false stops the decoding.
using PgmSink = bool (*)(void* context, const char* data, std::size_t size);

// The same decoding, handing the PGM file to `sink` in pieces of at most 64 KiB instead of
// holding the whole picture. False with a message on a broken stream or when the sink refused;
// what the sink received by then is then to be thrown away.
bool decodeJpegGrayTo(std::string_view jpeg, int denominator, PgmSink sink, void* context,
                      std::string& error);

} // namespace dravel
