#include "save_file.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace formats {

std::string temporaryNameFor(const std::string& path) {
    static std::atomic<unsigned> counter{0};
    return path + ".tmp" + std::to_string(::getpid()) + "_" + std::to_string(counter++);
}

std::string saveFileAtomic(const std::string& path, std::string_view content) {
    const std::string temp = temporaryNameFor(path);
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return "Cannot write " + path + ": " + std::strerror(errno);
    std::size_t done = 0;
    while (done < content.size()) {
        const ssize_t n = ::write(fd, content.data() + done, content.size() - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            const std::string message = "Cannot write " + path + ": " + std::strerror(errno);
            ::close(fd);
            ::unlink(temp.c_str());
            return message;
        }
        done += static_cast<std::size_t>(n);
    }
    if (::close(fd) != 0) {
        const std::string message = "Cannot write " + path + ": " + std::strerror(errno);
        ::unlink(temp.c_str());
        return message;
    }
    if (std::rename(temp.c_str(), path.c_str()) != 0) {
        const std::string message = "Cannot write " + path + ": " + std::strerror(errno);
        ::unlink(temp.c_str());
        return message;
    }
    return {};
}

} // namespace formats
