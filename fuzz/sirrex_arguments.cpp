// Sirrex's command line over arbitrary arguments (one per input line after the program name),
// and, when the options are taken, the analysis of a synthetic plate frame with those options.

#include "finder/arguments.h"
#include "finder/grid_scan.h"
#include "finder/sirrex_state.h"
#include "formats/image_descriptor_file.h"
#include "formats/position_file.h"
#include "fuzz/support/scratch_file.h"
#include "tools/plate/plate.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <sstream>
#include <string>
#include <vector>

namespace {

// A synthetic plate with worms that the default options find.
const std::vector<std::uint8_t>& plateFrame() {
    static const std::vector<std::uint8_t> frame = [] {
        plate::PlateOptions options;
        options.worms = 20;
        return plate::drawPlate(options, 0.0).pixels;
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
               state.txt_imgframe_header_counter <= formats::kMaxBoxEntries);
    for (int k = 0; k < state.worms_found; ++k)
        FUZZ_CHECK(state.output_buffer[static_cast<std::size_t>(k) * formats::WORM_BUFFER_SIZE] ==
                   k + 1);

    // The block this frame appends reads back whole, with its records in order.
    const std::span<const std::uint8_t> records(state.output_buffer.data(),
                                                static_cast<std::size_t>(state.worms_found) *
                                                    formats::WORM_BUFFER_SIZE);
    const auto block =
        formats::encodeBlockFromRecordBytes(state.worm_time, state.worms_found, records, true);
    const formats::PositionFile file = formats::decodePositionFile(block);
    FUZZ_CHECK(file.error.empty() && file.blocks.size() == 1 && file.consumed == block.size());
    FUZZ_CHECK(file.blocks[0].checkValueMatches && file.blocks[0].footerMatches);
    FUZZ_CHECK(file.blocks[0].records.size() == static_cast<std::size_t>(state.worms_found));
    return 0;
}
