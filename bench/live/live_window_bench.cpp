// A long live run of the acquisition window, as the operator starts it: the device simulator on
// 127.0.0.1, the window offscreen with the real launcher, clock and downloader, and the real
// logger, converter and finder started from a program folder of the bench's own. A timer asks
// the window's event loop for a turn every 10 ms; the bench prints the longest interval between
// two turns (a window that stalls for that long answers nothing meanwhile), its place in the
// run, and how the intervals spread.
//
//   live_window_bench [minutes] [worms]
//
// The run lasts `minutes` (1 unless given; LIVE_WINDOW_MINUTES also sets it). The load of the
// machine is printed beside the gaps: on a machine busy with other work, the bare scheduling
// of this process adds its own gaps, which LIVE_WINDOW_IDLE=1 measures alone (the same timer,
// no window, no run) for comparison.

#include "app/acquisition/ui/acquisition_run_controller.h"
#include "app/device/ui/frm_about.h"
#include "app/device/ui/frm_init.h"
#include "app/microbeam/ui/frm_processmulti.h"
#include "app/widgets/window_registry.h"
#include "app/windows/ui/frm_frontend.h"
#include "app/windows/ui/frm_training.h"
#include "formats/training_file.h"
#include "platform/fakes/fake_services.h"
#include "platform/process_launcher.h"
#include "platform/production_services.h"
#include "tools/devicesim/sim_process.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

QString loadAverage() {
    QFile file(QStringLiteral("/proc/loadavg"));
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("unknown");
    return QString::fromLatin1(file.readAll()).section(QLatin1Char(' '), 0, 2);
}

// Intervals between the turns of a timer of 10 ms.
class GapMeter {
public:
    GapMeter() {
        m_timer.setTimerType(Qt::PreciseTimer);
        m_timer.setInterval(10);
        QObject::connect(&m_timer, &QTimer::timeout, [this] { turn(); });
    }
    void start() {
        m_clock.start();
        m_last = 0;
        m_timer.start();
    }
    void stop() { m_timer.stop(); }
    // The intervals in ms, and when (ms since start) the longest one ended.
    const std::vector<double>& gaps() const { return m_gaps; }
    double longest() const { return m_longest; }
    double longestEndedAt() const { return m_longestAt; }

private:
    void turn() {
        const qint64 now = m_clock.nsecsElapsed();
        const double gap = (now - m_last) / 1e6;
        m_last = now;
        m_gaps.push_back(gap);
        if (gap > m_longest) {
            m_longest = gap;
            m_longestAt = now / 1e6;
        }
    }
    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_last = 0;
    std::vector<double> m_gaps;
    double m_longest = 0;
    double m_longestAt = 0;
};

void printGaps(FILE* out, const GapMeter& meter) {
    std::vector<double> sorted = meter.gaps();
    std::sort(sorted.begin(), sorted.end());
    const auto at = [&](double p) {
        return sorted.empty() ? 0.0
                              : sorted[std::min(sorted.size() - 1,
                                                static_cast<std::size_t>(p * sorted.size()))];
    };
    const auto over = [&](double ms) {
        return std::count_if(sorted.begin(), sorted.end(), [ms](double g) { return g > ms; });
    };
    std::fprintf(out,
                 "  event-loop turns: %zu; interval (ms): median %.1f, 99%% %.1f, 99.9%% %.1f\n",
                 sorted.size(), at(0.5), at(0.99), at(0.999));
    std::fprintf(out, "  intervals over 50 ms: %ld, over 100 ms: %ld, over 250 ms: %ld\n",
                 static_cast<long>(over(50)), static_cast<long>(over(100)),
                 static_cast<long>(over(250)));
    std::fprintf(out, "  longest interval: %.1f ms, ended %.1f s after the start\n",
                 meter.longest(), meter.longestEndedAt() / 1000.0);
}

} // namespace

int main(int argc, char** argv) {
    double minutes = 1;
    if (const char* env = std::getenv("LIVE_WINDOW_MINUTES"))
        minutes = std::atof(env);
    if (argc > 1)
        minutes = std::atof(argv[1]);
    minutes = std::max(0.1, minutes);
    const int worms = argc > 2 ? std::max(1, std::atoi(argv[2])) : 20;
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    FILE* report = stdout;
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    // A `kill` or `timeout` ends the run as a close does: the simulator and the logger go too.
    platform::quitOnTerminationSignals();

    if (std::getenv("LIVE_WINDOW_IDLE")) {
        // The same timer in an idle event loop: what the machine's scheduling alone gives.
        GapMeter meter;
        meter.start();
        QTimer::singleShot(static_cast<int>(minutes * 60000), &app, &QCoreApplication::quit);
        app.exec();
        meter.stop();
        std::fprintf(report, "idle event loop, %.1f min, load average %s\n", minutes,
                     qPrintable(loadAverage()));
        printGaps(report, meter);
        return 0;
    }

    QTemporaryDir work(QStringLiteral("/tmp/vxlivewindowXXXXXX"));
    if (!work.isValid())
        return 1;
    devicesim::SimProcess sim(VX_BIN_DIR, {"--worms", std::to_string(worms)});
    if (!sim.ok()) {
        std::fprintf(stderr, "devicesim: %s\n", sim.error().c_str());
        return 1;
    }
    // The program folder: the finder and the converter linked in, the logger copied (it finds
    // its run data beside its own executable).
    const QString program = work.filePath("prog");
    const QString bin = QStringLiteral(VX_BIN_DIR);
    if (!QDir().mkpath(program) || !QFile::link(bin + "/Sirrex", program + "/Sirrex") ||
        !QFile::link(bin + "/Dravel", program + "/Dravel") ||
        !QFile::copy(bin + "/Pendrel", program + "/Pendrel") ||
        !QFile::setPermissions(program + "/Pendrel", QFile::permissions(bin + "/Pendrel")) ||
        !formats::writeTrainingFile(program.toStdString(), formats::TrainingFile::defaults())
             .empty()) {
        std::fprintf(stderr, "the program folder could not be made in %s\n",
                     qPrintable(work.path()));
        return 1;
    }

    auto dialogs = std::make_shared<platform::fakes::FakeDialogs>();
    const platform::Services services = platform::makeProductionServices(dialogs, program);
    ui::Windows::setServices(services);
    ui::Windows::registerWindow<ui::FrmInit>();
    ui::Windows::registerWindow<ui::FrmAbout>();
    ui::Windows::registerWindow<ui::FrmFrontend>();
    ui::Windows::registerWindow<ui::FrmTraining>();
    ui::Windows::registerWindow<ui::FrmProcessMulti>();
    ui::FrmFrontend& window = ui::Windows::get<ui::FrmFrontend>();
    ui::AcquisitionRunController* controller = window.runController();
    auto& c = window.controls();
    c.Timer_autoload->stop();
    window.show();
    c.txt_ip1->setText(QString::fromStdString(sim.address()));
    c.txtlapse->setText(QString::number(minutes));
    dialogs->inputs.push_back("bench run");

    const QString loadBefore = loadAverage();
    GapMeter meter;
    meter.start();
    std::fprintf(stderr, "starting a run of %.1f min against %s\n", minutes, sim.address().c_str());
    c.cmdPlay->click();
    if (!controller->acquisitionRunning()) {
        std::fprintf(stderr, "the run did not start: %s\n",
                     qPrintable(dialogs->messages().join(" | ")));
        return 1;
    }
    const QString run = controller->frameCursor().runFolder;
    // The run ends by itself after its length; a deadline well beyond it guards against a hang.
    QElapsedTimer runClock;
    runClock.start();
    // What the window showed, taken while it runs: the run's end may replace the controller.
    std::int32_t lastMark = 0;
    const QPointer<ui::FrmFrontend> shown(&window);
    QTimer watch;
    watch.setInterval(200);
    bool ended = false;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        ended = !shown || !controller->acquisitionRunning();
        if (!ended)
            lastMark = controller->lastTimeMark();
        if (ended || runClock.elapsed() > minutes * 60000 + 120000)
            app.quit();
    });
    watch.start();
    app.exec();
    meter.stop();
    if (!ended && shown)
        c.cmdPlay->click(); // Stop

    const QStringList jpgs = QDir(run + "/img").entryList({"*.jpg"}, QDir::Files);
    std::fprintf(report, "live run of the acquisition window: %.1f min, %d worms%s\n", minutes,
                 worms, ended ? "" : " (did not end by itself: stopped)");
    std::fprintf(report, "  frames: %lld, last analysed frame %d\n",
                 static_cast<long long>(jpgs.size()), lastMark);
    if (!dialogs->messages().isEmpty())
        std::fprintf(report, "  messages: %s\n", qPrintable(dialogs->messages().join(" | ")));
    std::fprintf(report, "  load average before %s, after %s (%d cores)\n", qPrintable(loadBefore),
                 qPrintable(loadAverage()), QThread::idealThreadCount());
    printGaps(report, meter);
    ui::Windows::destroyAll();
    QCoreApplication::processEvents();
    return 0;
}
