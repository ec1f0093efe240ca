#pragma once
// Cleaning of names typed by the operator, and the gray level of a colour value.

#include <QString>

#include <cstdint>
#include <string>
#include <string_view>

namespace device {

// Keeps digits, letters A-Z and a-z, "(", ")", "[", "]", "_", "+" and "-"; turns every blank
// into "_" and every "/" into "-"; drops everything else ("." and every character above code
// 127 included). The result may be empty. A cleaned name never leaves its parent folder.
QString SanitizeName(const QString& text);
std::string SanitizeName(std::string_view text);

// As SanitizeName, but "/", ":" and "\" are kept as they are.
QString SanitizePath(const QString& text);
std::string SanitizePath(std::string_view text);

// The gray level 0 to 255 of a colour value (red + 256 x green + 65536 x blue):
// 0.299 x bits 16-23 + 0.587 x bits 8-15 + 0.114 x bits 0-7, rounded halves to even.
// Negative values count by their two's-complement bits (-1 gives 255).
std::int16_t GrayFromColor(std::int32_t color);

} // namespace device
