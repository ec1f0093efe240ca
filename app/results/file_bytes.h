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

// Reads one whole file front to back through one opening, in pieces, so that a caller can
// spread a large file over several short steps. The length is taken at the opening.
class FileReadInPieces {
public:
    FileReadInPieces() = default;
    ~FileReadInPieces();
    FileReadInPieces(const FileReadInPieces&) = delete;
    FileReadInPieces& operator=(const FileReadInPieces&) = delete;

    // Opens the file; false when it cannot be read (result() says why, or that it is missing).
    bool open(const std::string& path);
    // Reads on by at most `bytes`; true when the file is read to its end (or reading failed:
    // result().ok is then false).
    bool readOn(std::uint64_t bytes);
    // What was read; complete once readOn returned true.
    FileBytes& result() { return m_out; }

private:
    std::string m_path;
    int m_fd = -1;
    std::uint64_t m_done = 0;
    FileBytes m_out;
};

} // namespace results
