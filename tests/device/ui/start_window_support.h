#pragma once
// Shared pieces of the start-window tests: the application object, a program folder of its
// own for each test, and a downloader wrapper that records what the status label showed when
// each request went out.

#include "app/widgets/window_registry.h"
#include "platform/fakes/fake_services.h"
#include "tests/support/qt_application.h"
#include "tests/support/test_files.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <functional>
#include <memory>
#include <utility>
#include <vector>

namespace start_window_test {

using test_support::ensureApplication;

// Lets queued events and timers run until `done` holds or `timeoutMs` passed.
inline bool waitFor(const std::function<bool()>& done, int timeoutMs = 30000) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

// A folder under /tmp with a short name of letters and digits only, so that the installation
// check has nothing to say about it.
inline std::unique_ptr<QTemporaryDir> makeProgramFolder() {
    return std::make_unique<QTemporaryDir>(QStringLiteral("/tmp/vxswXXXXXX"));
}

using test_support::readFile;
using test_support::writeFile;

// Passes every download on to another downloader and notes the URL together with the text
// that `status` gives at that moment (the status label of the start window), on the window
// thread.
class RecordingDownloader : public platform::Downloader {
public:
    RecordingDownloader(std::shared_ptr<platform::Downloader> inner,
                        std::function<QString()> status)
        : m_inner(std::move(inner)), m_status(std::move(status)) {}

    bool downloadFile(const QString& url, const QString& file) override {
        return test_support::onWindowThread([&] {
            calls.push_back({url, m_status ? m_status() : QString()});
            if (onRequest)
                onRequest(url);
            return m_inner->downloadFile(url, file);
        });
    }

    struct Call {
        QString url;
        QString status;
    };
    std::vector<Call> calls;
    // Runs before each request is passed on (a test may close windows here).
    std::function<void(const QString& url)> onRequest;

private:
    std::shared_ptr<platform::Downloader> m_inner;
    std::function<QString()> m_status;
};

// Passes every pause on to another clock and notes the length together with the text that
// `status` gives at that moment.
class RecordingClock : public platform::Clock {
public:
    RecordingClock(std::shared_ptr<platform::Clock> inner, std::function<QString()> status)
        : m_inner(std::move(inner)), m_status(std::move(status)) {}

    QDateTime now() const override { return m_inner->now(); }
    std::int64_t monotonicMs() const override { return m_inner->monotonicMs(); }
    void pause(int ms) override {
        pauses.push_back({ms, m_status ? m_status() : QString()});
        m_inner->pause(ms);
    }

    struct Pause {
        int ms;
        QString status;
    };
    std::vector<Pause> pauses;

private:
    std::shared_ptr<platform::Clock> m_inner;
    std::function<QString()> m_status;
};

} // namespace start_window_test
