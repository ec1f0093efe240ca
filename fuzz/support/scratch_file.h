#pragma once
// Helpers of the fuzz targets: a check that stops the run with a message, and a scratch folder
// for the readers that take only a path.

#include <cstddef>
#include <cstdint>
#include <string>

namespace fuzz {

// Prints `what` with its place and aborts, so that libFuzzer keeps the input as a crash.
[[noreturn]] void fail(const char* what, const char* file, int line);

// A folder of its own under $TMPDIR (or /tmp), made on first use and removed at exit.
const std::string& scratchFolder();

// Replaces `name` in the scratch folder with the bytes; returns its path.
std::string writeScratchFile(const std::string& name, const std::uint8_t* data, std::size_t size);

} // namespace fuzz

#define FUZZ_CHECK(condition)                                                                      \
    do {                                                                                           \
        if (!(condition))                                                                          \
            ::fuzz::fail(#condition, __FILE__, __LINE__);                                          \
    } while (false)
