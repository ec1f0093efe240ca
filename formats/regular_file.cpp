#include "formats/regular_file.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace formats {

RegularFile::~RegularFile() {
    close();
}

RegularFile::RegularFile(RegularFile&& other) noexcept
    : m_fd(std::exchange(other.m_fd, -1)), m_size(other.m_size), m_missing(other.m_missing),
      m_error(std::move(other.m_error)) {}

RegularFile& RegularFile::operator=(RegularFile&& other) noexcept {
    if (this != &other) {
        close();
        m_fd = std::exchange(other.m_fd, -1);
        m_size = other.m_size;
        m_missing = other.m_missing;
        m_error = std::move(other.m_error);
    }
    return *this;
}

void RegularFile::close() {
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

bool RegularFile::open(const std::string& path) {
    close();
    m_size = 0;
    m_missing = false;
    m_error.clear();
    // Opened without blocking: a named pipe with no writer must not hold the caller.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        m_missing = errno == ENOENT;
        m_error = "Cannot read " + path + ": " + std::strerror(errno);
        return false;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        m_error = "Cannot read " + path + ": " + std::strerror(errno);
        ::close(fd);
        return false;
    }
    // What was opened is judged, not what the name showed a moment before.
    if (!S_ISREG(st.st_mode)) {
        m_error = "Cannot read " + path + ": not a regular file";
        ::close(fd);
        return false;
    }
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
        m_error = "Cannot read " + path + ": " + std::strerror(errno);
        ::close(fd);
        return false;
    }
    m_fd = fd;
    m_size = static_cast<std::uint64_t>(st.st_size);
    return true;
}

namespace {

// Reads from fd until its end or until more than `limit` bytes came; -1 on a read error.
// Returns 1 when the limit was passed.
int readUpTo(int fd, std::uint64_t sizeHint, std::size_t limit, std::string& data) {
    // One read of the size found (plus one byte to see the end), then on while the file grows.
    const std::size_t first =
        static_cast<std::size_t>(std::min<std::uint64_t>(sizeHint, limit)) + 1;
    data.resize(first);
    std::size_t done = 0;
    for (;;) {
        if (done == data.size()) {
            if (done > limit)
                break;
            // Grows by what it holds, but never more than one byte past the limit.
            data.resize(done + std::min(std::max<std::size_t>(done, 65536), limit - done) + 1);
        }
        const ssize_t n = ::read(fd, data.data() + done, data.size() - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return -1;
        }
        if (n == 0)
            break;
        done += static_cast<std::size_t>(n);
    }
    data.resize(done);
    return done > limit ? 1 : 0;
}

// Opens `path` into `file`; false with the message (and whether nothing is there) when not.
bool openForReading(RegularFile& file, const std::string& path, std::string& error,
                    bool* missing) {
    if (missing)
        *missing = false;
    if (file.open(path))
        return true;
    if (missing)
        *missing = file.missing();
    error = file.error();
    return false;
}

} // namespace

bool readRegularFile(const std::string& path, std::string& content, std::string& error,
                     bool* missing, std::size_t maxBytes) {
    RegularFile file;
    if (!openForReading(file, path, error, missing))
        return false;
    if (file.size() > maxBytes) {
        error = "Cannot read " + path + ": the file is too large";
        return false;
    }
    std::string data;
    const int got = readUpTo(file.fd(), file.size(), maxBytes, data);
    if (got < 0) {
        error = "Cannot read " + path + ": " + std::strerror(errno);
        return false;
    }
    if (got > 0) {
        error = "Cannot read " + path + ": the file is too large";
        return false;
    }
    content = std::move(data);
    return true;
}

bool readRegularFileHead(const std::string& path, std::size_t maxBytes, std::string& content,
                         std::string& error, bool* missing) {
    RegularFile file;
    if (!openForReading(file, path, error, missing))
        return false;
    std::string data;
    if (readUpTo(file.fd(), file.size(), maxBytes, data) < 0) {
        error = "Cannot read " + path + ": " + std::strerror(errno);
        return false;
    }
    if (data.size() > maxBytes)
        data.resize(maxBytes);
    content = std::move(data);
    return true;
}

} // namespace formats
