#include "logger/lock_keeper.h"

#include "formats/lock_file.h"

#include <climits>
#include <cstdlib>
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

namespace logger {

namespace {

// Where the descriptor `fd` of this process leads, as the system names it ("... (deleted)" for
// a file that was deleted meanwhile).
std::string descriptorTarget(int fd) {
    const std::string link = "/proc/self/fd/" + std::to_string(fd);
    char buffer[PATH_MAX];
    const ssize_t n = ::readlink(link.c_str(), buffer, sizeof buffer);
    return n > 0 ? std::string(buffer, static_cast<std::size_t>(n)) : std::string();
}

// The inherited descriptor of the lock file at `path` (named by its folder's real path), or -1.
int findInheritedLock(const std::string& path) {
    DIR* fds = ::opendir("/proc/self/fd");
    if (!fds)
        return -1;
    const int listing = ::dirfd(fds);
    int found = -1;
    while (const dirent* entry = ::readdir(fds)) {
        char* end = nullptr;
        const long fd = std::strtol(entry->d_name, &end, 10);
        if (!end || *end != '\0' || end == entry->d_name || fd <= 2 || fd == listing)
            continue;
        struct stat info {};
        if (::fstat(static_cast<int>(fd), &info) != 0 || !S_ISREG(info.st_mode))
            continue;
        const std::string target = descriptorTarget(static_cast<int>(fd));
        if (target == path || target == path + " (deleted)") {
            found = static_cast<int>(fd);
            break;
        }
    }
    ::closedir(fds);
    return found;
}

} // namespace

LockKeeper::LockKeeper(const std::string& programFolder) {
    char real[PATH_MAX];
    const std::string folder = ::realpath(programFolder.c_str(), real) ? real : programFolder;
    m_path = folder + "/" + formats::kLoggerLockFileName;
    m_fd = findInheritedLock(m_path);
}

LockKeeper::~LockKeeper() {
    if (m_fd >= 0)
        ::close(m_fd);
}

void LockKeeper::check() {
    m_fd = formats::keepLockAtPath(m_fd, m_path);
}

} // namespace logger
