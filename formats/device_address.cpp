#include "formats/device_address.h"

namespace formats {

namespace {

bool isHostChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
           c == '-';
}

} // namespace

std::string checkDeviceAddress(std::string_view address) {
    const std::string refused = "The device address \"" + std::string(address) +
                                "\" is not valid: use letters, digits, \".\" and \"-\", "
                                "optionally followed by \":\" and a port from 1 to 65535.";
    if (address.empty())
        return "No device address was given.";
    const std::size_t colon = address.find(':');
    const std::string_view host = address.substr(0, colon);
    if (host.empty())
        return refused;
    for (char c : host)
        if (!isHostChar(c))
            return refused;
    if (colon == std::string_view::npos)
        return {};
    const std::string_view port = address.substr(colon + 1);
    if (port.empty() || port.size() > 5)
        return refused;
    long value = 0;
    for (char c : port) {
        if (c < '0' || c > '9')
            return refused;
        value = value * 10 + (c - '0');
    }
    if (value < 1 || value > 65535)
        return refused;
    return {};
}

bool isValidDeviceAddress(std::string_view address) {
    return checkDeviceAddress(address).empty();
}

} // namespace formats
