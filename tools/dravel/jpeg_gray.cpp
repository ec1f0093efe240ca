#include "tools/dravel/jpeg_gray.h"

#include <csetjmp>
#include <cstdio>
#include <vector>

#include <jerror.h>
#include <jpeglib.h>

namespace dravel {

namespace {

struct ErrorManager {
    jpeg_error_mgr base;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

[[noreturn]] void onError(j_common_ptr info) {
    auto* manager = reinterpret_cast<ErrorManager*>(info->err);
    (*info->err->format_message)(info, manager->message);
    std::longjmp(manager->jump, 1);
}

// Warnings about damaged data (a cut-off file above all) end the decoding: a frame that is
// partly grey filler must not pass as a good one. Harmless notes are let through.
void onMessage(j_common_ptr info, int level) {
    if (level >= 0)
        return;
    switch (info->err->msg_code) {
    case JWRN_EXTRANEOUS_DATA:
    case JWRN_JFIF_MAJOR:
    case JWRN_ADOBE_XFORM:
        return;
    default:
        onError(info);
    }
}

bool frameTooLarge(const jpeg_decompress_struct& info) {
    return info.image_width > MAX_FRAME_SIDE || info.image_height > MAX_FRAME_SIDE ||
           static_cast<unsigned long long>(info.image_width) * info.image_height > MAX_FRAME_PIXELS;
}

std::string frameTooLargeMessage(unsigned width, unsigned height) {
    return "the frame is " + std::to_string(width) + " x " + std::to_string(height) +
           " pixels; at most " + std::to_string(MAX_FRAME_SIDE) + " on a side and " +
           std::to_string(MAX_FRAME_PIXELS) + " pixels are converted";
}

} // namespace

std::string pgmHeader(int width, int height) {
    return "P5\n" + std::to_string(width) + " " + std::to_string(height) + "\n255\n";
}

bool decodeJpegGray(std::string_view jpeg, int denominator, GrayImage& image, std::string& error) {
    if (denominator != 1 && denominator != 2 && denominator != 4 && denominator != 8) {
        error = "unsupported scale 1/" + std::to_string(denominator);
        return false;
    }
    if (jpeg.empty()) {
        error = "empty file";
        return false;
    }
    jpeg_decompress_struct info{};
    ErrorManager errors{};
    info.err = jpeg_std_error(&errors.base);
    errors.base.error_exit = onError;
    errors.base.emit_message = onMessage;
    image = GrayImage{};
    // No object with a destructor may be created between setjmp and the last libjpeg call:
    // the jump would skip its destructor.
    std::string header;
    if (setjmp(errors.jump)) {
        error = errors.message;
        jpeg_destroy_decompress(&info);
        image = GrayImage{};
        return false;
    }
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, reinterpret_cast<const unsigned char*>(jpeg.data()),
                 static_cast<unsigned long>(jpeg.size()));
    jpeg_read_header(&info, TRUE);
    if (frameTooLarge(info)) {
        const unsigned width = info.image_width;
        const unsigned height = info.image_height;
        jpeg_destroy_decompress(&info);
        error = frameTooLargeMessage(width, height);
        return false;
    }
    info.out_color_space = JCS_GRAYSCALE;
    info.scale_num = 1;
    info.scale_denom = static_cast<unsigned int>(denominator);
    jpeg_start_decompress(&info);

    const int width = static_cast<int>(info.output_width);
    const int height = static_cast<int>(info.output_height);
    header = pgmHeader(width, height);
    image.pgm.reserve(header.size() + static_cast<std::size_t>(width) * height);
    image.pgm = header;
    image.pgm.resize(header.size() + static_cast<std::size_t>(width) * height);
    auto* base = reinterpret_cast<JSAMPLE*>(image.pgm.data() + header.size());
    while (info.output_scanline < info.output_height) {
        JSAMPROW rows[4];
        int count = 0;
        for (; count < 4 && info.output_scanline + count < info.output_height; ++count)
            rows[count] = base + static_cast<std::size_t>(info.output_scanline + count) * width;
        jpeg_read_scanlines(&info, rows, static_cast<JDIMENSION>(count));
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    image.width = width;
    image.height = height;
    return true;
}

bool decodeJpegGrayTo(std::string_view jpeg, int denominator, PgmSink sink, void* context,
                      std::string& error) {
    if (denominator != 1 && denominator != 2 && denominator != 4 && denominator != 8) {
        error = "unsupported scale 1/" + std::to_string(denominator);
        return false;
    }
    if (jpeg.empty()) {
        error = "empty file";
        return false;
    }
    // Rows are gathered here and handed on when the next one would not fit; a row is at most
    // 65,500 bytes wide, so one always fits.
    constexpr std::size_t kChunk = 65536;
    std::vector<unsigned char> chunk(kChunk);
    jpeg_decompress_struct info{};
    ErrorManager errors{};
    info.err = jpeg_std_error(&errors.base);
    errors.base.error_exit = onError;
    errors.base.emit_message = onMessage;
    // As above: nothing with a destructor is created between setjmp and the last libjpeg call.
    if (setjmp(errors.jump)) {
        error = errors.message;
        jpeg_destroy_decompress(&info);
        return false;
    }
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, reinterpret_cast<const unsigned char*>(jpeg.data()),
                 static_cast<unsigned long>(jpeg.size()));
    jpeg_read_header(&info, TRUE);
    if (frameTooLarge(info)) {
        const unsigned width = info.image_width;
        const unsigned height = info.image_height;
        jpeg_destroy_decompress(&info);
        error = frameTooLargeMessage(width, height);
        return false;
    }
    info.out_color_space = JCS_GRAYSCALE;
    info.scale_num = 1;
    info.scale_denom = static_cast<unsigned int>(denominator);
    jpeg_start_decompress(&info);

    const std::size_t rowBytes = info.output_width;
    char header[48];
    const int headerBytes = std::snprintf(header, sizeof header, "P5\n%u %u\n255\n",
                                          static_cast<unsigned>(info.output_width),
                                          static_cast<unsigned>(info.output_height));
    bool refused = !sink(context, header, static_cast<std::size_t>(headerBytes));
    std::size_t used = 0;
    while (!refused && info.output_scanline < info.output_height) {
        if (used + rowBytes > kChunk) {
            refused = !sink(context, reinterpret_cast<const char*>(chunk.data()), used);
            used = 0;
            continue;
        }
        JSAMPROW row = chunk.data() + used;
        jpeg_read_scanlines(&info, &row, 1);
        used += rowBytes;
    }
    if (refused) {
        jpeg_destroy_decompress(&info);
        error = "the output could not be written";
        return false;
    }
    // The end of the stream is read too: a file cut off after the last row still fails.
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    if (used > 0 && !sink(context, reinterpret_cast<const char*>(chunk.data()), used)) {
        error = "the output could not be written";
        return false;
    }
    return true;
}

} // namespace dravel
