#pragma once
// Runs each download on a worker thread while the calling thread keeps handling its window
// events, so the logger's window (and its "STOP and EXIT" button) stays responsive during a
// slow fetch. Requests still happen one at a time.

#include "platform/services.h"

namespace logger {

class BackgroundDownloader : public platform::Downloader {
public:
    explicit BackgroundDownloader(platform::Downloader& inner) : m_inner(inner) {}
    // Waits for the worker's result; exceptions of the inner downloader reach the caller.
    bool downloadFile(const QString& url, const QString& file) override;

private:
    platform::Downloader& m_inner;
};

} // namespace logger
