// Sirrex's command line over arbitrary arguments (one per input line after the program name),
// and, when the options are taken, the analysis of a fixed plate frame with those options.

#include "finder/arguments.h"
#include "finder/grid_scan.h"
#include "finder/sirrex_state.h"
#include "formats/image_descriptor_file.h"
#include "formats/position_file.h"
#include "fuzz/support/scratch_file.h"

#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

namespace {

// A plate: an even grey ground with a few dark crawling shapes on it.
const std::vector<std::uint8_t>& plateFrame() {
    static const std::vector<std::uint8_t> frame = [] {
        std::vector<std::uint8_t> pixels(finder::MAXCHANNELS);
        for (int y = 0; y < finder::IMG_MAXY; ++y)
            for (int x = 0; x < finder::IMG_MAXX; ++x)
                pixels[finder::get_idx(x, y)] =
                    static_cast<std::uint8_t>(170 + (x * 7 + y * 3) % 11);
        const int worms[][2] = {{420, 300}, {700, 520}, {905, 610}, {610, 840}, {1100, 400}};
        for (const auto& w : worms) {
            for (int t = 0; t < 26; ++t) {
                const int cx = w[0] + t;
                const int cy = w[1] + (t * t) / 40;
                for (int dy = -2; dy <= 2; ++dy)
                    for (int dx = -2; dx <= 2; ++dx)
                        pixels[finder::get_idx(cx + dx, cy + dy)] = 60;
            }
        }
        return pixels;
    }();
    return frame;
}

std::vector<std::string> argumentsOf(const std::uint8_t* data, std::size_t size) {
    std::vector<std::string> args{"Sirrex"};
    std::string word;
    for (std::size_t i = 0; i < size; ++i) {
        if (data[i] == '\n') {
            args.push_back(word);
            word.clear();
        } else {
            word.push_back(static_cast<char>(data[i]));
        }
    }
    if (!word.empty())
        args.push_back(word);
    return args;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::vector<std::string> args = argumentsOf(data, size);
    finder::SirrexState state;
    std::ostringstream out;
    std::ostringstream err;
    state.console = &out;
    const finder::ArgumentsResult result = finder::load_arguments(state, args, out, err);
    if (result == finder::ArgumentsResult::Refused)
        FUZZ_CHECK(!err.str().empty());
    if (result != finder::ArgumentsResult::Run)
        return 0;
    FUZZ_CHECK(args.size() >= 2 && state.nfile == args[1]);
    FUZZ_CHECK(state.arg_bs >= finder::MIN_BLOCK_SIZE && state.arg_bs <= finder::MAX_BLOCK_SIZE);

    // The analysis with these options keeps to its tables.
    state.buffer.assign(plateFrame());
    finder::analyseFrame(state);
    FUZZ_CHECK(state.worms_found >= 0 && state.worms_found <= formats::MAX_NUMBER_OF_WORMS);
    FUZZ_CHECK(state.output_buffer_position == state.worms_found * formats::WORM_BUFFER_SIZE);
    FUZZ_CHECK(state.txt_imgframe_header_counter >= 0 &&
               state.txt_imgframe_header_counter <= formats::MAX_BOX_ENTRIES);
    for (int k = 0; k < state.worms_found; ++k)
        FUZZ_CHECK(state.output_buffer[static_cast<std::size_t>(k) * formats::WORM_BUFFER_SIZE] ==
                   k + 1);
    return 0;
}
