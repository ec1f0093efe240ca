// Pendrel: the frame logger. One argument, the acquisition folder; fetches one frame from the
// camera device for every new elapsed second of the run and ends after the run length.

#include "logger/background_fetch.h"
#include "logger/lock_keeper.h"
#include "logger/logger_core.h"
#include "logger/ui/form1.h"
#include "platform/curl_downloader.h"
#include "platform/system_clock.h"

#include <QApplication>
#include <QFile>
#include <QSocketNotifier>
#include <QStringList>
#include <QTimer>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace {

std::atomic<bool> g_stop{false};
int g_wakePipe[2] = {-1, -1};

extern "C" void onStopSignal(int) {
    g_stop.store(true);
    const char byte = 1;
    ssize_t ignored = ::write(g_wakePipe[1], &byte, 1);
    (void)ignored;
}

void installStopSignals() {
    if (::pipe2(g_wakePipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    struct sigaction action = {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGINT, &action, nullptr);
}

} // namespace

int main(int argc, char** argv) {
    static_assert(std::atomic<bool>::is_always_lock_free);
    installStopSignals();
    std::signal(SIGXFSZ, SIG_IGN); // a write past a file-size limit fails instead of ending us
    QApplication app(argc, argv);

    // The whole argument text is the start folder, blanks included.
    QStringList words = QCoreApplication::arguments();
    words.removeFirst();
    const QString argument = words.join(QLatin1Char(' '));

    // The lock Vermalux handed over stays the file at its path for as long as this logger runs.
    logger::LockKeeper lock(QFile::encodeName(QCoreApplication::applicationDirPath()).toStdString());
    lock.check();
    QTimer lockCheck;
    if (lock.holding()) {
        QObject::connect(&lockCheck, &QTimer::timeout, [&lock] { lock.check(); });
        lockCheck.start(100);
    }

    platform::SystemClock clock;
    platform::CurlDownloader curl;
    curl.setCancelFlag(&g_stop);
    logger::BackgroundDownloader downloader(curl);
    logger::Logger logger(clock, downloader, QCoreApplication::applicationDirPath());

    const logger::StartOutcome start = logger.LoggerStart(argument);
    if (!start.ok) {
        std::fprintf(stderr, "Pendrel: %s\n", start.error.toLocal8Bit().constData());
        return 1;
    }
    if (g_stop.load())
        return 0;

    logger::Form1 window(logger, clock, &g_stop);
    QSocketNotifier wake(g_wakePipe[0], QSocketNotifier::Read);
    QObject::connect(&wake, &QSocketNotifier::activated, &window, [&window] {
        char buffer[16];
        while (::read(g_wakePipe[0], buffer, sizeof buffer) > 0) {
        }
        window.requestStop();
    });
    // The logger runs beside the operator's program: it starts minimized, out of the way.
    window.showMinimized();
    if (g_stop.load())
        return 0;
    app.exec();
    return 0;
}
