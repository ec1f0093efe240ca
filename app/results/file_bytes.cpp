#include "app/results/file_bytes.h"

#include "formats/regular_file.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace results {

namespace {

// The one opening of a file for reading: its descriptor and length in `out`, or -1 with the
// reason (out.exists tells a missing file apart).
int openForReading(const std::string& path, FileBytes& out) {
    formats::RegularFile file;
    if (!file.open(path)) {
        out.exists = !file.missing();
        out.error = file.error();
        return -1;
    }
    out.exists = true;
    out.size = file.size();
    return file.release();
}

// Reads `want` bytes at `offset` into `into`; the bytes read (fewer when the file shrank), or
// -1 with the reason in `error`.
std::int64_t readAt(int fd, const std::string& path, std::uint8_t* into, std::uint64_t offset,
                    std::uint64_t want, std::string& error) {
    std::uint64_t done = 0;
    while (done < want) {
        const ssize_t n =
            ::pread(fd, into + done, want - done, static_cast<off_t>(offset + done));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            error = "Cannot read " + path + ": " + std::strerror(errno);
            return -1;
        }
        if (n == 0)
            break; // the file ended early (it shrank meanwhile)
        done += static_cast<std::uint64_t>(n);
    }
    return static_cast<std::int64_t>(done);
}

} // namespace

FileBytes readFileBytes(const std::string& path, std::uint64_t offset, std::uint64_t length) {
    FileBytes out;
    const int fd = openForReading(path, out);
    if (fd < 0)
        return out;
    if (offset < out.size) {
        const std::uint64_t want = std::min(length, out.size - offset);
        out.bytes.resize(want);
        const std::int64_t done = readAt(fd, path, out.bytes.data(), offset, want, out.error);
        if (done < 0) {
            ::close(fd);
            return out;
        }
        out.bytes.resize(static_cast<std::size_t>(done));
    }
    ::close(fd);
    out.ok = true;
    return out;
}

FileReadInPieces::~FileReadInPieces() {
    if (m_fd >= 0)
        ::close(m_fd);
}

bool FileReadInPieces::open(const std::string& path) {
    if (m_fd >= 0)
        ::close(m_fd);
    m_path = path;
    m_done = 0;
    m_out = {};
    m_fd = openForReading(path, m_out);
    if (m_fd < 0)
        return false;
    m_out.bytes.reserve(m_out.size); // filled piece by piece
    return true;
}

bool FileReadInPieces::readOn(std::uint64_t bytes) {
    if (m_fd < 0)
        return true;
    const std::uint64_t want = std::min(bytes, m_out.size - m_done);
    m_out.bytes.resize(static_cast<std::size_t>(m_done + want));
    const std::int64_t done =
        readAt(m_fd, m_path, m_out.bytes.data() + m_done, m_done, want, m_out.error);
    if (done >= 0)
        m_done += static_cast<std::uint64_t>(done);
    if (done < 0 || m_done == m_out.size || static_cast<std::uint64_t>(done) < want) {
        ::close(m_fd);
        m_fd = -1;
        m_out.ok = done >= 0;
        m_out.bytes.resize(static_cast<std::size_t>(m_done));
        return true;
    }
    return false;
}

} // namespace results
