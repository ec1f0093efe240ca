#pragma once
// Names of the frames of a run in the `img` subfolder: "c", the device address with every "."
// turned into "_", "f", the frame number and ".jpg"; the gray conversion has the same name with
// ".pgm".

#include <cstddef>
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

// Where the "f" before the frame number stands in a frame name without its extension: the "f"
// followed by nothing but digits and, on a frame marked bad, one "m" ("c192_168_4_1f12" and
// "c192_168_4_1f12m" give 12, the place of the "f" before "12"). A device address may hold an
// "f" itself ("cwifi-camf3"); that one is never taken. npos when the name does not end so. Works
// on any character type, so that a window's text is read without converting it.
template <class Char>
std::size_t frameLetterPosition(std::basic_string_view<Char> stem) {
    std::size_t i = stem.size();
    if (i > 0 && stem[i - 1] == Char('m'))
        --i;
    while (i > 0 && stem[i - 1] >= Char('0') && stem[i - 1] <= Char('9'))
        --i;
    if (i > 0 && stem[i - 1] == Char('f'))
        return i - 1;
    return std::basic_string_view<Char>::npos;
}

inline std::size_t frameLetterPosition(std::string_view stem) {
    return frameLetterPosition<char>(stem);
}

} // namespace formats
