#pragma once
// The one way a file is opened for reading or copying: only a regular file is read. A named
// pipe, a device, a socket or a folder in its place is refused with a message naming it, and
// the opening itself never waits (a pipe without a writer cannot hold the caller).

#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>

namespace formats {

// A read-only descriptor of a regular file, closed when it goes.
class RegularFile {
public:
    RegularFile() = default;
    ~RegularFile();
    RegularFile(RegularFile&& other) noexcept;
    RegularFile& operator=(RegularFile&& other) noexcept;
    RegularFile(const RegularFile&) = delete;
    RegularFile& operator=(const RegularFile&) = delete;

    // Opens `path` without blocking, examines what was opened and keeps it only when it is a
    // regular file; then the descriptor blocks again as usual. On failure error() names the
    // path ("Cannot read PATH: not a regular file", or the system's reason).
    bool open(const std::string& path);

    bool isOpen() const { return m_fd >= 0; }
    int fd() const { return m_fd; }
    // The length when it was opened.
    std::uint64_t size() const { return m_size; }
    // The last open failed because nothing is there.
    bool missing() const { return m_missing; }
    const std::string& error() const { return m_error; }
    void close();
    // Hands the descriptor over to the caller, who then closes it.
    int release() {
        const int fd = m_fd;
        m_fd = -1;
        return fd;
    }

private:
    int m_fd = -1;
    std::uint64_t m_size = 0;
    bool m_missing = false;
    std::string m_error;
};

// Reads a whole regular file. A file longer than `maxBytes` (also one that grows past it while
// it is read) is refused: "Cannot read PATH: the file is too large". False with the message in
// `error` (and `*missing` set when nothing is there) on failure.
bool readRegularFile(const std::string& path, std::string& content, std::string& error,
                     bool* missing = nullptr,
                     std::size_t maxBytes = std::numeric_limits<std::size_t>::max());

// Reads at most `maxBytes` from the start of a regular file; a longer file is not an error.
bool readRegularFileHead(const std::string& path, std::size_t maxBytes, std::string& content,
                         std::string& error, bool* missing = nullptr);

} // namespace formats
