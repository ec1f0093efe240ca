#pragma once
// One application object for a whole window-test program, made by whichever test needs it
// first; windows are drawn offscreen unless a platform was chosen.

#include <QApplication>
#include <QThread>

#include <utility>

namespace test_support {

inline void ensureApplication() {
    if (QCoreApplication::instance())
        return;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "vermalux_tests";
    static char* argv[] = {name, nullptr};
    static QApplication* app = new QApplication(argc, argv);
    (void)app;
}

// Runs `work` on the window thread and gives its result: a window asks its device from a thread
// of its own, and a fake that looks at or closes windows does so where the windows live.
template <typename Work> auto onWindowThread(Work&& work) {
    QCoreApplication* app = QCoreApplication::instance();
    if (!app || app->thread() == QThread::currentThread())
        return work();
    decltype(work()) result{};
    QMetaObject::invokeMethod(
        app, [&] { result = work(); }, Qt::BlockingQueuedConnection);
    return result;
}

} // namespace test_support
