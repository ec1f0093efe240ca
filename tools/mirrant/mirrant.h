#pragma once
// Mirrant: merges PGM frames into a z-stack image and writes it as a BMP.
//   Mirrant FRAME.pgm ACCUMULATOR.pgm RESULT.pgm   per-pixel minimum of frame and accumulator
//                                                  (a missing accumulator starts from the frame)
//   Mirrant ACCUMULATOR.pgm RESULT.bmp             the accumulator as an 8-bit gray BMP
// Outputs appear whole (temporary name, then renamed) or not at all.

#include <cstdint>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace mirrant {

struct GrayImage {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> pixels; // row by row, top row first
};

// Reads a binary 8-bit PGM ("P5", width, height, a maximum of at most 255, one blank, the
// pixels; "#" comments allowed in the header). False with a message on anything else.
bool parsePgm(std::string_view data, GrayImage& image, std::string& error);

// The image as "P5\n<w> <h>\n255\n" and its pixels.
std::string toPgm(const GrayImage& image);

// Per-pixel minimum of two images of the same size, into `accumulator`. False when the sizes
// differ.
bool mergeMinimum(const GrayImage& frame, GrayImage& accumulator);

// An 8-bit BMP with a palette of 256 grays: file header, 40-byte info header, palette,
// rows bottom-up, each padded to a multiple of 4 bytes.
std::string toBmp(const GrayImage& image);

// Runs Mirrant on the arguments after the program name; returns the exit status (0 done,
// 1 failed, 2 bad command line); messages go to `err`.
int runMirrant(const std::vector<std::string>& args, std::ostream& err);

} // namespace mirrant
