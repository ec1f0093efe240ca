#pragma once
// Encodes a gray frame as the three-channel JPEG that a camera device serves.

#include <cstdint>
#include <string>
#include <vector>

namespace devicesim {

// The JPEG bytes of a width x height gray frame at the given quality (1 to 100); an empty
// string when the encoder fails.
std::string encodeJpeg(const std::vector<std::uint8_t>& gray, int width, int height, int quality);

} // namespace devicesim
