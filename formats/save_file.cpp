#include "save_file.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace formats {

namespace {
// Writes every byte, retrying after interruptions; false with errno set on failure.
bool writeAll(int fd, std::string_view content) {
    std::size_t done = 0;
    while (done < content.size()) {
        const ssize_t n = ::write(fd, content.data() + done, content.size() - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

std::string failure(const std::string& path) {
    return "Cannot write " + path + ": " + std::strerror(errno);
}
} // namespace

std::string temporaryNameFor(const std::string& path) {
    static std::atomic<unsigned> counter{0};
    return path + ".tmp" + std::to_string(::getpid()) + "_" + std::to_string(counter++);
}

namespace {

// The process id of a temporary suffix ".tmp<pid>_<count>", or 0 when `suffix` is no such.
pid_t writerOf(std::string_view suffix) {
    constexpr std::string_view kTmp = ".tmp";
    if (suffix.substr(0, kTmp.size()) != kTmp)
        return 0;
    suffix.remove_prefix(kTmp.size());
    const std::size_t underscore = suffix.find('_');
    if (underscore == std::string_view::npos || underscore == 0 || underscore > 9 ||
        underscore + 1 == suffix.size())
        return 0;
    for (std::size_t i = 0; i < suffix.size(); ++i)
        if (i != underscore && (suffix[i] < '0' || suffix[i] > '9'))
            return 0;
    long pid = 0;
    for (const char c : suffix.substr(0, underscore))
        pid = pid * 10 + (c - '0');
    return pid > 0 && pid <= 0x3fffffff ? static_cast<pid_t>(pid) : 0;
}

// Whether a process of that id may still be writing (this one included).
bool mayStillWrite(pid_t pid) {
    return pid == ::getpid() || ::kill(pid, 0) == 0 || errno != ESRCH;
}

} // namespace

void removeLeftTemporaries(const std::string& folder, const std::vector<std::string>& names) {
    const int dirFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd < 0)
        return;
    DIR* dir = ::fdopendir(dirFd);
    if (!dir) {
        ::close(dirFd);
        return;
    }
    std::vector<std::pair<std::string, pid_t>> left;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string_view name(entry->d_name);
        for (const std::string& known : names) {
            if (name.size() <= known.size() || name.substr(0, known.size()) != known)
                continue;
            if (const pid_t writer = writerOf(name.substr(known.size())); writer != 0) {
                left.emplace_back(name, writer);
                break;
            }
        }
    }
    for (const auto& [name, writer] : left) {
        if (mayStillWrite(writer))
            continue;
        struct stat st {};
        // The name itself: a link (or anything else) under it stays.
        if (::fstatat(dirFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode))
            ::unlinkat(dirFd, name.c_str(), 0);
    }
    ::closedir(dir); // closes dirFd as well
}

// Writes `content` whole under a new temporary name beside `path`, put into `temp`; the
// message naming `path` when that fails (nothing is left behind then).
// `exclusive`: a file of that temporary name is never reused.
static std::string writeTemporary(const std::string& path, std::string_view content,
                                  std::string& temp, bool exclusive) {
    temp = temporaryNameFor(path);
    const int fd = ::open(temp.c_str(),
                          O_WRONLY | O_CREAT | O_CLOEXEC | (exclusive ? O_EXCL : O_TRUNC), 0644);
    if (fd < 0)
        return "Cannot write " + path + ": " + std::strerror(errno);
    if (!writeAll(fd, content)) {
        const std::string message = failure(path);
        ::close(fd);
        ::unlink(temp.c_str());
        return message;
    }
    if (::close(fd) != 0) {
        const std::string message = failure(path);
        ::unlink(temp.c_str());
        return message;
    }
    return {};
}

std::string saveFileAtomic(const std::string& path, std::string_view content) {
    std::string temp;
    if (std::string message = writeTemporary(path, content, temp, false); !message.empty())
        return message;
    if (std::rename(temp.c_str(), path.c_str()) != 0) {
        const std::string message = failure(path);
        ::unlink(temp.c_str());
        return message;
    }
    return {};
}

std::string renameNoReplace(const std::string& from, const std::string& to) {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
        return {};
    int error = errno;
    if (error == EINVAL || error == ENOSYS || error == ENOTSUP) {
        // No such rename on this file system: a link fails just as well when the name is taken.
        if (::link(from.c_str(), to.c_str()) == 0) {
            if (::unlink(from.c_str()) == 0)
                return {};
            error = errno;
            ::unlink(to.c_str());
            return "Cannot rename " + from + " to " + to + ": " + std::strerror(error);
        }
        error = errno;
    }
    if (error == EEXIST)
        return "Cannot rename " + from + " to " + to + ": " + to + " already exists";
    return "Cannot rename " + from + " to " + to + ": " + std::strerror(error);
}

std::string saveFileNoReplace(const std::string& path, std::string_view content) {
    std::string temp;
    if (std::string message = writeTemporary(path, content, temp, true); !message.empty())
        return message;
    std::string message = renameNoReplace(temp, path);
    if (!message.empty())
        ::unlink(temp.c_str());
    return message;
}

std::string appendToFile(const std::string& path, std::string_view content, bool create) {
    const int flags = O_WRONLY | O_APPEND | O_CLOEXEC | (create ? O_CREAT : 0);
    const int fd = ::open(path.c_str(), flags, 0644);
    if (fd < 0)
        return "Cannot open " + path + " for appending: " + std::strerror(errno);
    if (!writeAll(fd, content)) {
        const std::string message = failure(path);
        ::close(fd);
        return message;
    }
    if (::close(fd) != 0)
        return failure(path);
    return {};
}

} // namespace formats
