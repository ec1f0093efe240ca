#pragma once
// Sirrex's command line: the image path, then options written as a three-character name with
// the value directly behind it (-xs300, -tl5.4, -ti17).

#include "finder/sirrex_state.h"

#include <cstddef>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace finder {

enum class ArgumentsResult {
    Run,     // go on with the analysis
    Done,    // usage or the no-argument line was printed: end with status 0
    Refused, // an option value was not a number of its type: end with status 1
};

// Fills nfile, project_folder and the options from `args` (args[0] is the program name),
// printing the echoes to `out`; a refused value is reported on `err`.
ArgumentsResult load_arguments(SirrexState& state, const std::vector<std::string>& args,
                               std::ostream& out, std::ostream& err);

// How the finder reads one option argument ("-xs300"), as load_arguments does.
struct OptionReading {
    // The place of the option among the value options (-xs ... -cp); nothing for an argument
    // that sets none of them (another key, "-xs" alone, "-ti", "-v").
    std::optional<std::size_t> option;
    // Why the finder refuses the value ("not a 32-bit whole number"); empty when it takes it.
    std::string refusal;
    // The number the finder stores (a box size already truncated).
    double value = 0.0;
    // How many characters of the text behind the three-character name the number takes;
    // the finder ignores the rest.
    std::size_t used = 0;
    // The number the finder keeps when the option is not given at all.
    double defaultValue = 0.0;
    // The option takes a whole number: the leading integer of the text, a decimal point ending
    // it.
    bool wholeNumber = false;
};
OptionReading readOption(std::string_view argument);

// The usage text printed by "-h".
std::string usageText();

// The longest decimal integer at the start of `text` (leading blanks and a sign allowed), or
// nothing when the text does not begin with one or it does not fit 32 bits.
std::optional<std::int32_t> leadingInt32(std::string_view text);

// The longest decimal floating-point number at the start of `text` (leading blanks, a sign,
// "." as the point, an optional exponent), in single precision; nothing when the text does not
// begin with one or it overflows a float. Hexadecimal, "inf" and "nan" are not numbers here.
std::optional<float> leadingFloat(std::string_view text);

// A float as an echo prints it: at most six significant digits, no trailing zeros.
std::string formatFloat(float value);

} // namespace finder
