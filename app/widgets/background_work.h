#pragma once
// Work that may take longer than a window may stand still: it runs on a thread of its own while
// the caller's window goes on answering, and the caller gets its result when it is done.
//
// The work must use nothing of a window: it takes plain values and returns a plain value. The
// caller guards itself (HandlerGuard) against a second run and against its window going
// meanwhile, as for any handler that waits.

#include "app/widgets/handler_guard.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QThread>
#include <QTimer>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <future>
#include <mutex>
#include <optional>
#include <thread>
#include <type_traits>
#include <utility>

namespace ui {

// Work that may never end in time (a request to a device that accepts and does not answer): the
// wait is abandoned as soon as `stillWanted` turns false (the window that waits was closed or
// left meanwhile), and the work ends unseen on its own thread. Work that nobody waits for any
// more when it comes (its window was left during a pause before it) is not started at all. Its
// result, or nothing when the wait was abandoned. Off the window thread the work simply runs in
// place.
template <typename Work>
auto runUnlessAbandoned(Work work, const std::function<bool()>& stillWanted)
    -> std::optional<std::invoke_result_t<Work&>> {
    using Result = std::invoke_result_t<Work&>;
    const QCoreApplication* app = QCoreApplication::instance();
    if (!app || app->thread() != QThread::currentThread())
        return work();
    if (!stillWanted())
        return std::nullopt;

    struct Shared {
        std::mutex mutex;
        std::condition_variable done;
        std::optional<Result> result;
    };
    const auto shared = std::make_shared<Shared>();
    std::thread([shared, work = std::move(work)]() mutable {
        Result result = work();
        const std::lock_guard<std::mutex> lock(shared->mutex);
        shared->result = std::move(result);
        shared->done.notify_all();
    }).detach();

    const auto finished = [&] {
        const std::lock_guard<std::mutex> lock(shared->mutex);
        return shared->result.has_value();
    };
    {
        // A device that answers at once is not worth an event loop.
        std::unique_lock<std::mutex> lock(shared->mutex);
        shared->done.wait_for(lock, std::chrono::milliseconds(5),
                              [&] { return shared->result.has_value(); });
    }
    if (!finished() && stillWanted()) {
        QEventLoop loop;
        QTimer poll;
        poll.setInterval(5);
        QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
            if (finished() || !stillWanted())
                loop.quit();
        });
        poll.start();
        loop.exec();
    }
    const std::lock_guard<std::mutex> lock(shared->mutex);
    return shared->result;
}

// A large stored file: waited for to its end.
template <typename Work> auto runWhileAnswering(Work&& work) {
    return *runUnlessAbandoned(std::forward<Work>(work), [] { return true; });
}

// The way a window waits for its device: each request runs beside the window, and is abandoned
// once the window is closed, destroyed or renewed after this was made.
inline std::function<std::optional<bool>(const std::function<bool()>&)>
requestsBesideWindow(const Lifetime& window) {
    const auto watch = std::make_shared<HandlerGuard>(window);
    return [watch](const std::function<bool()>& request) {
        return runUnlessAbandoned(request, [watch] { return watch->alive(); });
    };
}

} // namespace ui
