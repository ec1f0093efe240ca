#pragma once
// Sirrex, the organism finder: one run per frame. Reads one 1600 x 1200 gray PGM, finds the
// organisms inside the ellipse of the analysis rectangle and appends one block to the position
// file and one line to the image-descriptor file of the project folder.

#include "finder/sirrex_state.h"

#include <istream>
#include <ostream>
#include <string>
#include <vector>

namespace finder {

// Exit statuses of a run.
inline constexpr int SIRREX_OK = 0;           // completed (also usage and no arguments)
inline constexpr int SIRREX_BAD_INPUT = 1;    // refused option value or unreadable frame
inline constexpr int SIRREX_WRITE_FAILED = 2; // an output file could not be written

// Runs Sirrex with `args` as its argv (args[0] the program name). Console text goes to `out`,
// failures to `err`; with "-v" last, one key is read from `in` at the end.
int runSirrex(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
              std::istream& in);

// The output paths of a project folder (an empty folder is the current folder).
std::string positionFilePath(const std::string& projectFolder);
std::string imageDescriptorFilePath(const std::string& projectFolder);

// Appends the block of `count` records in state.output_buffer with time mark `time` to `path`
// (the layout byte goes into a new file). Returns an empty string or the failure.
std::string write_fulloutput(const SirrexState& state, int count, std::int32_t time,
                             const std::string& path);

// Why this frame's line cannot go into the descriptor file at `path` (its box table holds
// another number of boxes), or an empty string when it can or the file does not exist yet.
std::string descriptorTableRefusal(const SirrexState& state, const std::string& path);

// Appends this frame's line of box values to `path`, after the box table when the file is new.
std::string writeImageDescriptor(const SirrexState& state, const std::string& path);

} // namespace finder
