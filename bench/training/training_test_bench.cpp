// The training test end to end in the real acquisition window (offscreen): Dravel and Sirrex on
// the program folder's preview, each waited for, the detections read and drawn. Against the
// floor measured in the same run: Dravel and Sirrex with the same options started one after the
// other on the same preview, nothing else. Prints both and their ratio (goal: at most 1.3).

#include "app/widgets/window_registry.h"
#include "app/windows/ui/frm_frontend.h"
#include "formats/training_file.h"
#include "platform/fakes/fake_services.h"
#include "platform/process_launcher.h"
#include "platform/system_clock.h"
#include "tools/plate/plate.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <vector>

int main(int argc, char* argv[]) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QString bin = QCoreApplication::applicationDirPath();
    QTemporaryDir program;
    for (const char* name : {"Dravel", "Sirrex"})
        if (!QFile::link(bin + "/" + name, program.filePath(name))) {
            std::fprintf(stderr, "%s is not built beside this program\n", name);
            return 1;
        }
    const plate::PlateFrame frame = plate::drawPlate(plate::PlateOptions{}, 0.0);
    QImage(frame.pixels.data(), frame.width, frame.height, frame.width, QImage::Format_Grayscale8)
        .save(program.filePath("preview.jpg"), "JPG", 95);

    platform::fakes::FakeServices fakes;
    platform::Services services = fakes.services(program.path());
    auto launcher = std::make_shared<platform::ProcessLauncher>();
    services.launcher = launcher;
    services.clock = std::make_shared<platform::SystemClock>();
    ui::Windows::setServices(services);
    ui::FrmFrontend& w = ui::Windows::get<ui::FrmFrontend>();
    auto& c = w.controls();
    c.Timer_autoload->stop();
    QStringList options =
        QString::fromStdString(formats::ReadTrainingOptions(program.path().toStdString(), nullptr))
            .split(QLatin1Char(' '), Qt::SkipEmptyParts);

    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;
    std::vector<double> test, floor;
    const QString base = program.filePath("preview");
    for (int i = 0; i < rounds; ++i) {
        QElapsedTimer timer;
        timer.start();
        c.cmd_detect->click();
        test.push_back(timer.nsecsElapsed() / 1e6);
        if (!fakes.dialogs->messages().isEmpty()) {
            std::fprintf(stderr, "%s\n", qPrintable(fakes.dialogs->messages().join("; ")));
            return 1;
        }
        QFile::remove(program.filePath("xy_worms.bin"));
        QFile::remove(program.filePath("xy_image.bin"));
        timer.restart();
        launcher->run(program.filePath("Dravel"),
                      {"-grayscale", "-outfile", base + ".pgm", base + ".jpg"}, program.path());
        launcher->run(program.filePath("Sirrex"),
                      QStringList{base + ".pgm"} + options + QStringList{"-ti0"}, program.path());
        floor.push_back(timer.nsecsElapsed() / 1e6);
    }
    std::sort(test.begin(), test.end());
    std::sort(floor.begin(), floor.end());
    const double t = test[test.size() / 2];
    const double f = floor[floor.size() / 2];
    std::printf(
        "training test (median of %d): %.1f ms; Dravel + Sirrex alone: %.1f ms; ratio %.3f\n",
        rounds, t, f, t / f);
    ui::Windows::destroyAll();
    return 0;
}
