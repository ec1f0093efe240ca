#include "formats/frame_names.h"

namespace formats {

namespace {

std::string frameName(std::string_view address, std::int64_t frame, std::string_view extension) {
    std::string name;
    name.reserve(address.size() + extension.size() + 24);
    name.push_back('c');
    name.append(frameAddressPart(address));
    name.push_back('f');
    name.append(std::to_string(frame));
    name.append(extension);
    return name;
}

} // namespace

std::string frameAddressPart(std::string_view address) {
    std::string part(address);
    for (char& c : part)
        if (c == '.')
            c = '_';
    return part;
}

std::string frameImageFile(std::string_view address, std::int64_t frame) {
    return frameName(address, frame, ".jpg");
}

std::string framePgmFile(std::string_view address, std::int64_t frame) {
    return frameName(address, frame, ".pgm");
}

} // namespace formats
