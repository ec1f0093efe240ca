// The replay of "Plot Results" as the reanalysis window runs it: the trails logic and the
// window side of every frame (labels, frame number, progress bar), over a day-long trails file,
// without the fixed pause between frames. Reading the trails file is timed apart. Prints the
// work per frame and per trails row against the pause; the goal is at most a tenth of it.

#include "app/results/trail_replay.h"
#include "app/results/ui/trail_replay_controller.h"
#include "app/results/worm_trails_file.h"
#include "app/widgets/picture_box.h"
#include "formats/save_file.h"
#include "formats/training_file.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

#include <cmath>
#include <cstdio>
#include <string>

namespace {

constexpr int kDayFrames = 86400;
constexpr int kTrails = 20;

// 20 trails crawling in circles, new trails every 10 minutes, one row per trail and second.
std::string dayOfTrails() {
    std::string text = std::string(results::kWormTrailsHeader) + "\r\n";
    for (int f = 0; f < kDayFrames; ++f)
        for (int k = 0; k < kTrails; ++k) {
            results::WormTrailRow r;
            r.frame = f;
            r.id = (f / 600) * kTrails + k;
            r.x = 400 + 40 * k + static_cast<int>(60 * std::cos(f * 0.05 + k));
            r.y = 600 + static_cast<int>(60 * std::sin(f * 0.05 + k));
            r.pixels = 50;
            r.xSize = 8;
            r.ySize = 6;
            r.shape = 0x0F0F + k + (f & 3);
            text += results::formatWormTrailRow(r) + "\r\n";
        }
    return text;
}

// Pauses that return at once; they are counted, not waited.
class NoPauseClock : public platform::Clock {
public:
    QDateTime now() const override { return QDateTime::currentDateTime(); }
    std::int64_t monotonicMs() const override { return 0; }
    void pause(int) override { ++pauses; }
    std::int64_t pauses = 0;
};

class NoDialogs : public platform::Dialogs {
public:
    void message(const QString& text, const QString&) override {
        std::fprintf(stderr, "message: %s\n", text.toLocal8Bit().constData());
    }
    bool question(const QString&, const QString&) override { return false; }
    QString input(const QString&, const QString&, const QString&) override { return {}; }
};

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    QTemporaryDir folder;
    const std::string acq = folder.path().toStdString();
    std::string training;
    for (const std::string& line : formats::TrainingFile::defaults().lines())
        training += line + "\r\n";
    const std::string trails = dayOfTrails();
    const std::string trailsPath = acq + "/" + results::kWormTrailsFileName;
    if (!formats::saveFileAtomic(formats::trainingPath(acq), training).empty() ||
        !formats::saveFileAtomic(trailsPath, trails).empty()) {
        std::fprintf(stderr, "cannot write the test files in %s\n", acq.c_str());
        return 1;
    }

    QWidget window;
    ui::TrailReplayControls c;
    c.cmd_wormtrails = new QPushButton(QStringLiteral("Plot Results"), &window);
    c.cmd_exportbmp = new QPushButton(QStringLiteral("Export .BMP"), &window);
    for (QLabel** label : {&c.lbl_particle, &c.lbl_distance, &c.lbl_turnings, &c.lbl_speed,
                           &c.label_frame, &c.Label_rotation})
        *label = new QLabel(&window);
    for (QLineEdit** box : {&c.txt_nfile, &c.txt_ip1, &c.txt_filepj, &c.txt_x1, &c.txt_x2,
                            &c.txt_y1, &c.txt_y2, &c.txt_psize})
        *box = new QLineEdit(&window);
    c.txt_x1->setText(QStringLiteral("335"));
    c.txt_x2->setText(QStringLiteral("1170"));
    c.txt_y1->setText(QStringLiteral("215"));
    c.txt_y2->setText(QStringLiteral("1035"));
    c.txt_psize->setText(QStringLiteral("35"));
    c.Picture1 = new ui::PictureBox(&window, QSize(1600, 1200));
    c.Picture2 = new ui::PictureBox(&window, QSize(1600, 1200));
    c.Picture3 = new ui::PictureBox(&window, QSize(400, 200));
    c.Picture_progress = new ui::PictureBox(&window, QSize(640, 16));
    c.Timeracq = new QTimer(&window);
    for (QAction** action : {&c.mn_idmark, &c.chk_bmp, &c.chk_white}) {
        *action = new QAction(&window);
        (*action)->setCheckable(true);
    }
    window.show();

    auto clock = std::make_shared<NoPauseClock>();
    platform::Services services;
    services.clock = clock;
    services.dialogs = std::make_shared<NoDialogs>();
    bool processing = false;
    ui::TrailReplayHooks hooks;
    hooks.acquisitionFolder = [&] { return QString::fromStdString(acq); };
    hooks.processing = [&] { return processing; };
    hooks.setProcessing = [&](bool on) { processing = on; };
    hooks.singleAnimal = [] { return false; };
    hooks.loadTraining = [](const QString&) {};
    hooks.showImage = [](const QString&) { return false; };
    hooks.drawPlateOutline = [] {};
    ui::Lifetime life;
    ui::TrailReplayController controller(c, services, life, hooks, nullptr);

    // Reading the trails file, as the replay's set-up does it.
    QElapsedTimer timer;
    timer.start();
    const results::ReplaySetup setup =
        results::prepareReplay(acq, {"335", "1170", "215", "1035", "35"}, false);
    const double readMs = static_cast<double>(timer.nsecsElapsed()) / 1e6;
    if (!setup.ok) {
        std::fprintf(stderr, "%s\n", setup.message.c_str());
        return 1;
    }

    // The trails logic alone.
    timer.restart();
    std::int64_t frames = 0;
    {
        results::TrailReplay replay(setup.trailsText, setup.settings);
        while (replay.status() == results::TrailReplay::Status::Running) {
            replay.next();
            ++frames;
        }
        (void)replay.histogram();
    }
    const double logicMs = static_cast<double>(timer.nsecsElapsed()) / 1e6;

    // The window's replay: the file read, the logic and the controls of every frame.
    timer.restart();
    controller.ReplayTrails();
    const double windowMs = static_cast<double>(timer.nsecsElapsed()) / 1e6 - readMs;

    const double rows = static_cast<double>(kDayFrames) * kTrails;
    const double perFrameUs = windowMs * 1000.0 / static_cast<double>(frames);
    const double ratio = perFrameUs / (ui::kReplayFramePauseMs * 1000.0);
    std::printf("trails file: %d frames, %.0f rows, %.1f MB; read in %.1f ms\n", kDayFrames, rows,
                static_cast<double>(trails.size()) / 1e6, readMs);
    std::printf("replay logic alone:  %.2f us per frame, %.3f us per row\n",
                logicMs * 1000.0 / static_cast<double>(frames), logicMs * 1000.0 / rows);
    std::printf(
        "replay in the window: %.2f us per frame, %.3f us per row (pauses left out: %lld)\n",
        perFrameUs, windowMs * 1000.0 / rows, static_cast<long long>(clock->pauses));
    std::printf("pause between frames %d ms: work per frame = %.3f of the pause (goal at most "
                "0.1): %s\n",
                ui::kReplayFramePauseMs, ratio, ratio <= 0.1 ? "met" : "NOT MET");
    return 0;
}
