#pragma once
// Downloads over HTTP with libcurl: bounded time-outs, HTTP errors count as failures, the body
// lands under a hidden temporary name in the target's folder and is renamed into place only when
// all of it arrived. Nothing is cached and nothing is left behind on failure.

#include "platform/services.h"

#include <atomic>
#include <string>

namespace platform {

class CurlDownloader : public Downloader {
public:
    struct Limits {
        long connectTimeoutMs = 3000;  // time to establish the connection
        long requestTimeoutMs = 10000; // the whole request, connection included
    };

    CurlDownloader();
    explicit CurlDownloader(Limits limits);

    // Fetches url into file. True only when the server answered below 400 with a complete body
    // and the body was renamed into place; on failure the file is left as it was.
    bool downloadFile(const QString& url, const QString& file) override;

    // When set, a request in progress is abandoned as soon as the flag reads true (checked by
    // libcurl's progress callback, several times a second). The flag must outlive this object's
    // use.
    void setCancelFlag(const std::atomic<bool>* flag) { m_cancel = flag; }

    // Why the last request failed, for logs; empty after a success.
    const std::string& lastError() const { return m_lastError; }

    // Names the temporary file of a download into `file`: hidden, in the same folder, never
    // ending in the target's extension, so folder listings of frames never see it.
    static std::string temporaryFileFor(const std::string& file);

private:
    Limits m_limits;
    const std::atomic<bool>* m_cancel = nullptr;
    std::string m_lastError;
};

} // namespace platform
