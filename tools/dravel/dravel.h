#pragma once
// Dravel: converts a JPEG frame into an 8-bit gray PGM.
//   Dravel [-grayscale] [-scale 1/8|1/4|1/2|1/1] [-outfile OUT] IN.jpg
// Options may stand in any order before the input. Without -outfile the PGM goes to `out`.
// The output file appears whole (temporary name, then renamed) or not at all.

#include <ostream>
#include <string>
#include <vector>

namespace dravel {

// Runs the converter on the arguments after the program name; returns the exit status
// (0 done, 1 conversion failed, 2 bad command line), messages go to `err`.
int runDravel(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

} // namespace dravel
