#pragma once
// The program folder's logger lock as the logger holds it. Vermalux takes the lock and hands its
// descriptor over when it starts the logger; the logger holds it for its whole life, so every
// Vermalux on the folder knows that frames are being fetched. A lock file deleted or replaced
// meanwhile would leave the logger holding a file nobody opens, and a second logger could
// start: at every check the logger takes the lock of the file now at the path.

#include <string>

namespace logger {

class LockKeeper {
public:
    // Finds the inherited descriptor of the lock file of `programFolder` (also when the file
    // was deleted in the meantime). None when the logger was started without the lock.
    explicit LockKeeper(const std::string& programFolder);
    ~LockKeeper();
    LockKeeper(const LockKeeper&) = delete;
    LockKeeper& operator=(const LockKeeper&) = delete;

    bool holding() const { return m_fd >= 0; }
    int fd() const { return m_fd; }
    std::string path() const { return m_path; }
    // Keeps the lock at its path (see formats::keepLockAtPath).
    void check();

private:
    std::string m_path;
    int m_fd = -1;
};

} // namespace logger
