#include "app/results/file_bytes.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace results {

FileBytes readFileBytes(const std::string& path, std::uint64_t offset, std::uint64_t length) {
    FileBytes out;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        out.exists = errno != ENOENT;
        out.error = "Cannot open " + path + ": " + std::strerror(errno);
        return out;
    }
    out.exists = true;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        out.error = "Cannot read " + path + ": not a regular file";
        ::close(fd);
        return out;
    }
    out.size = static_cast<std::uint64_t>(st.st_size);
    if (offset < out.size) {
        const std::uint64_t want = std::min(length, out.size - offset);
        out.bytes.resize(want);
        std::uint64_t done = 0;
        while (done < want) {
            const ssize_t n = ::pread(fd, out.bytes.data() + done, want - done,
                                      static_cast<off_t>(offset + done));
            if (n < 0) {
                if (errno == EINTR)
                    continue;
                out.error = "Cannot read " + path + ": " + std::strerror(errno);
                ::close(fd);
                return out;
            }
            if (n == 0)
                break; // the file ended early (it shrank meanwhile)
            done += static_cast<std::uint64_t>(n);
        }
        out.bytes.resize(done);
    }
    ::close(fd);
    out.ok = true;
    return out;
}

} // namespace results
