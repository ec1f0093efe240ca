#pragma once
// Names of the frames of a run in the `img` subfolder: "c", the device address with every "."
// turned into "_", "f", the frame number and ".jpg"; the gray conversion has the same name with
// ".pgm".

#include <cstdint>
#include <string>
#include <string_view>

namespace formats {

// The preview frame of the program folder, fetched from the device.
inline constexpr char kPreviewFileName[] = "preview.jpg";

// The device-address part of a frame name: the address with every "." turned into "_".
std::string frameAddressPart(std::string_view address);

// "c" + address part + "f" + number + ".jpg", for example "c192_168_4_1f42.jpg".
std::string frameImageFile(std::string_view address, std::int64_t frame);

// The same name ending in ".pgm".
std::string framePgmFile(std::string_view address, std::int64_t frame);

} // namespace formats
