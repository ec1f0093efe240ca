#pragma once
// Reading the input frame: the PGM header is skipped by counting line feeds, never parsed, and
// the pixel bytes that follow fill the image row after row.

#include "finder/sirrex_state.h"

#include <cstddef>
#include <cstdint>
#include <ostream>
#include <span>

namespace finder {

enum class ImageReadResult {
    Ok,
    CannotOpen, // missing, not readable, or not a regular file (a folder, pipe or device)
    NoPixels,   // empty, or nothing after the header
    Truncated,  // fewer pixel bytes than a 1600 x 1200 frame holds
};

// The number of header bytes to skip at the start of `data`: up to and including the third
// line feed, or HEADER_SKIP_LIMIT bytes, whichever comes first. Comment lines (beginning with
// '#') are skipped whole and count neither as a line nor toward the limit.
std::size_t pgmHeaderSize(std::span<const std::uint8_t> data);

// Reads state.nfile into state.buffer. Messages go to `err` (failures) and, with verbose, to
// `out`. Only Ok leaves a frame to analyse.
ImageReadResult read_image(SirrexState& state, std::ostream& out, std::ostream& err);

// The same from bytes already in memory (the whole file's content).
ImageReadResult takeImage(SirrexState& state, std::span<const std::uint8_t> fileBytes,
                          std::ostream& out, std::ostream& err);

} // namespace finder
