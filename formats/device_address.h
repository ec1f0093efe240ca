#pragma once
// The device address that the operator types: a host name or dotted address made of letters,
// digits, "." and "-", optionally followed by ":" and a port from 1 to 65535. Anything else is
// refused before a URL or a file name is built from it.

#include <string>
#include <string_view>

namespace formats {

// An empty string when the address is acceptable, else a message for the operator.
std::string checkDeviceAddress(std::string_view address);

// True when checkDeviceAddress finds nothing to refuse.
bool isValidDeviceAddress(std::string_view address);

} // namespace formats
