#pragma once
// Downloads over HTTP with libcurl: bounded time-outs, HTTP errors count as failures, a bounded
// body size, the body lands under a hidden temporary name in the target's folder and is renamed
// into place only when all of it arrived. Nothing is cached and nothing is left behind on failure.
// Requests may be made from several threads at once (a window's request runs beside it).

#include "platform/services.h"

#include <atomic>
#include <mutex>
#include <string>

namespace platform {

class CurlDownloader : public Downloader {
public:
    struct Limits {
        long connectTimeoutMs = 3000;  // time to establish the connection
        long requestTimeoutMs = 10000; // the whole request, connection included
        // A longer body is cut off and the download fails: a device that keeps sending cannot
        // fill the disk. The device's frames are about 0.1 MB.
        long long maxBodyBytes = 16LL * 1024 * 1024;
    };

    CurlDownloader();
    explicit CurlDownloader(Limits limits);

    // Fetches url into file. True only when the server answered below 400 with a complete body
    // and the body was renamed into place; on failure the file is left as it was. When file is
    // itself a temporary name (temporaryFileFor), the caller holds the one temporary file: the
    // body is written straight into it, and it is removed on failure.
    bool downloadFile(const QString& url, const QString& file) override;

    // When set, a request in progress is abandoned as soon as the flag reads true (checked by
    // libcurl's progress callback, several times a second). The flag must outlive this object's
    // use.
    void setCancelFlag(const std::atomic<bool>* flag) { m_cancel = flag; }

    // Why the last request failed, for logs; empty after a success.
    std::string lastError() const;

    // Names the temporary file of a download into `file`: hidden, in the same folder, never
    // ending in the target's extension, so folder listings of frames never see it.
    static std::string temporaryFileFor(const std::string& file);

    // True when the last path component is a name temporaryFileFor makes.
    static bool isTemporaryFile(const std::string& path);

    // Removes from folder the temporary files of downloads whose process is no longer running
    // (a process killed outright cannot remove its own). Files of this process count as stale
    // too, so call it before this process downloads into folder. Other files are never touched.
    // Returns how many were removed.
    static int removeStaleTemporaryFiles(const std::string& folder);

private:
    Limits m_limits;
    void setLastError(const std::string& why);

    const std::atomic<bool>* m_cancel = nullptr;
    mutable std::mutex m_errorMutex;
    std::string m_lastError;
};

} // namespace platform
