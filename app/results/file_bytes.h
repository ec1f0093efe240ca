#pragma once
// Reading a stretch of bytes of a file that another program may still be appending to.

#include <cstdint>
#include <string>
#include <vector>

namespace results {

struct FileBytes {
    bool exists = false;             // the file is there
    bool ok = false;                 // it could be opened and read
    std::uint64_t size = 0;          // its length when it was opened
    std::vector<std::uint8_t> bytes; // what lies at the offset, up to the length asked for
    std::string error;
};

// Opens the file, takes its length and reads at most `length` bytes from `offset`; fewer
// bytes come back when the file ends first.
FileBytes readFileBytes(const std::string& path, std::uint64_t offset, std::uint64_t length);

} // namespace results
