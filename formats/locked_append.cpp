#include "formats/locked_append.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace formats {

namespace {

std::string failure(const std::string& what, const std::string& path, int error) {
    return what + " " + path + ": " + std::strerror(error);
}

} // namespace

std::string appendLocked(
    const std::string& path, std::size_t headBytes,
    const std::function<AppendPlan(std::uint64_t, const std::vector<std::uint8_t>&)>& build) {
    const int fd = ::open(
        path.c_str(), (headBytes > 0 ? O_RDWR : O_WRONLY) | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0)
        return failure("cannot open", path, errno);
    int rc;
    do {
        rc = ::flock(fd, LOCK_EX);
    } while (rc != 0 && errno == EINTR);
    if (rc != 0) {
        const int e = errno;
        ::close(fd);
        return failure("cannot lock", path, e);
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        const int e = errno;
        ::close(fd); // closing releases the lock
        return failure("cannot examine", path, e);
    }
    std::vector<std::uint8_t> head(std::min<std::uint64_t>(headBytes, st.st_size));
    std::size_t got = 0;
    while (got < head.size()) {
        const ssize_t n =
            ::pread(fd, head.data() + got, head.size() - got, static_cast<off_t>(got));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        got += static_cast<std::size_t>(n);
    }
    head.resize(got);
    const AppendPlan plan = build(static_cast<std::uint64_t>(st.st_size), head);
    std::string error = plan.refusal;
    std::size_t done = 0;
    while (error.empty() && done < plan.bytes.size()) {
        const ssize_t n = ::write(fd, plan.bytes.data() + done, plan.bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            error = failure("cannot write", path, errno);
            break;
        }
        if (n == 0) {
            error = "cannot write " + path + ": nothing written";
            break;
        }
        done += static_cast<std::size_t>(n);
    }
    // A block or line cut short (disk full, size limit) would make every later one unreadable:
    // what went in is taken back while the lock is still held.
    if (!error.empty() && done > 0 && ::ftruncate(fd, st.st_size) != 0)
        error += "; the partly written bytes could not be taken back";
    if (::close(fd) != 0 && error.empty())
        error = failure("cannot close", path, errno);
    return error;
}

std::string appendLocked(const std::string& path,
                         const std::function<std::vector<std::uint8_t>(std::uint64_t)>& build) {
    return appendLocked(path, 0, [&build](std::uint64_t size, const std::vector<std::uint8_t>&) {
        return AppendPlan{build(size), {}};
    });
}

std::string appendLocked(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    return appendLocked(path, [&bytes](std::uint64_t) { return bytes; });
}

} // namespace formats
