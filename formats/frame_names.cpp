#include "formats/frame_names.h"

namespace formats {

std::string frameAddressPart(std::string_view address) {
    std::string part(address);
    for (char& c : part)
        if (c == '.')
            c = '_';
    return part;
}

std::string frameImageFile(std::string_view address, std::int64_t frame) {
    return "c" + frameAddressPart(address) + "f" + std::to_string(frame) + ".jpg";
}

std::string framePgmFile(std::string_view address, std::int64_t frame) {
    return "c" + frameAddressPart(address) + "f" + std::to_string(frame) + ".pgm";
}

} // namespace formats
