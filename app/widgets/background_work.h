#pragma once
// Work on a stored file that may take longer than a window may stand still (a large position
// or descriptor file): it runs on a thread of its own while the caller's window goes on
// answering, and the caller gets its result when it is done.
//
// The work must use nothing of a window: it takes plain values and returns a plain value. The
// caller guards itself (HandlerGuard) against a second run and against its window going
// meanwhile, as for any handler that waits.

#include <QEventLoop>
#include <QTimer>

#include <chrono>
#include <future>
#include <utility>

namespace ui {

template <typename Work>
auto runWhileAnswering(Work&& work) {
    auto result = std::async(std::launch::async, std::forward<Work>(work));
    if (result.wait_for(std::chrono::milliseconds(0)) != std::future_status::ready) {
        QEventLoop loop;
        QTimer poll;
        poll.setInterval(10);
        QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
            if (result.wait_for(std::chrono::milliseconds(0)) == std::future_status::ready)
                loop.quit();
        });
        poll.start();
        loop.exec();
    }
    return result.get();
}

} // namespace ui
