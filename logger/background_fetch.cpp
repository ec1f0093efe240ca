#include "logger/background_fetch.h"

#include <QCoreApplication>
#include <QThread>

#include <chrono>
#include <future>

namespace logger {

bool BackgroundDownloader::downloadFile(const QString& url, const QString& file) {
    auto result = std::async(std::launch::async,
                             [this, url, file] { return m_inner.downloadFile(url, file); });
    auto* app = QCoreApplication::instance();
    const bool pump = app && app->thread() == QThread::currentThread();
    while (result.wait_for(std::chrono::milliseconds(pump ? 5 : 50)) != std::future_status::ready) {
        if (pump)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return result.get();
}

} // namespace logger
