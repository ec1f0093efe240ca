#include "app/results/file_bytes.h"

#include "formats/regular_file.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace results {

FileBytes readFileBytes(const std::string& path, std::uint64_t offset, std::uint64_t length) {
    FileBytes out;
    formats::RegularFile file;
    if (!file.open(path)) {
        out.exists = !file.missing();
        out.error = file.error();
        return out;
    }
    out.exists = true;
    const int fd = file.fd();
    out.size = file.size();
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
                return out;
            }
            if (n == 0)
                break; // the file ended early (it shrank meanwhile)
            done += static_cast<std::uint64_t>(n);
        }
        out.bytes.resize(done);
    }
    out.ok = true;
    return out;
}

} // namespace results
