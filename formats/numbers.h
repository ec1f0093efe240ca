#pragma once
// Numbers from text and numbers into text, the same way in every program.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace formats {

// The leading decimal number of a text. Blanks, tabs and line feeds are skipped wherever they
// stand; then an optional sign, digits, an optional point with digits and an optional exponent
// are taken; the first other character ends the number. A text without a number reads as 0.
// "." is the only decimal point.
double leadingNumber(std::string_view text);

// True when a plain decimal number (digits with an optional point and digits, an optional
// exponent; no sign, no blanks: "1e309", "11e994") is too large in magnitude for a double. A
// magnitude too small for one is not beyond its range: it reads as 0.
bool beyondDoubleRange(std::string_view number);

// Nearest integer, halves to the even neighbour (17.5 and 18.5 both give 18).
// Values beyond the range of int64 are clamped; NaN gives 0.
std::int64_t roundHalfEven(double value);

// Nearest signed 16-bit integer (halves to even), or nothing when it does not fit.
std::optional<std::int16_t> toInt16(double value);

// Nearest signed 32-bit integer (halves to even), or nothing when it does not fit.
std::optional<std::int32_t> toInt32(double value);

// A number as plain decimal text with "." as the point whatever the locale, with up to 15
// significant digits and no exponent for ordinary magnitudes ("35", "0.5", "-2.25").
std::string formatNumber(double value);

// As formatNumber, with one leading blank when the value is not negative (" 35", "-2").
std::string formatNumberSigned(double value);

// A number with a fixed count of decimals (0 to 15) and "." as the point, like the picture
// "0.0": halves are rounded away from zero (5 gives "5.0", 7.25 gives "7.3", -0.25 gives
// "-0.3"); a value that rounds to zero is written without a sign.
std::string formatFixed(double value, int decimals);

} // namespace formats
