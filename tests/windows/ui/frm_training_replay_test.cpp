// "Plot Results" and "Export .BMP" of the reanalysis window, driven offscreen with fake
// services: the plot on Picture1, the replay with its labels, pictures and chart, and how both
// end (STOP, a second click, closing the window, missing files).

#include "app/results/live_labels.h"
#include "app/results/track_color.h"
#include "app/results/trail_plot.h"
#include "app/results/trail_replay.h"
#include "app/results/ui/trail_replay_controller.h"
#include "app/widgets/picture_box.h"
#include "app/widgets/window_registry.h"
#include "app/windows/ui/frm_training.h"
#include "formats/training_file.h"
#include "platform/fakes/fake_services.h"
#include "tests/support/all_windows.h"
#include "tests/windows/ui/frontend_support.h"
#include "tests/windows/ui/reanalysis_support.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>

#include <functional>
#include <set>

namespace {

using frontend_test::grayJpeg;
using frontend_test::writeFile;
using ui::FrmTraining;
using ui::Windows;

// A fake clock that lets the test act at a given pause, as the operator would while a handler
// waits.
class ScriptedClock : public platform::fakes::FakeClock {
public:
    void pause(int ms) override {
        FakeClock::pause(ms);
        if (onPause)
            onPause(static_cast<int>(pauses.size()));
    }
    std::function<void(int)> onPause; // called with the number of pauses so far
};

const char kHeader[] = "FRAME;ID;X;Y;LOST_COUNT;#PIX;X_SIZE;Y_SIZE;SHAPE\r\n";

std::string row(int frame, int id, int x, int y, int lost = 0, int shape = 0) {
    return std::to_string(frame) + ";" + std::to_string(id) + ";" + std::to_string(x) + ";" +
           std::to_string(y) + ";" + std::to_string(lost) + ";50;8;6;" + std::to_string(shape) +
           "\r\n";
}

// Trail 1 stays put; trail 5 crawls to the right from frame 4 on; trail 9 crawls down over
// frames 0 to 13. Frames 0 to 15.
std::string crawlingTrails() {
    std::string text = kHeader;
    for (int f = 0; f <= 15; ++f) {
        text += row(f, 1, 300, 300);
        text += row(f, 5, 500 + (f < 4 ? 0 : 40 * (f - 3)), 600, 0, f & 1 ? 0x0F0F : 0x00FF);
        if (f <= 13)
            text += row(f, 9, 900, 200 + 30 * f);
    }
    return text;
}

class FrmTrainingReplayTest : public ::testing::Test {
protected:
    void SetUp() override {
        test_support::ensureApplication();
        ASSERT_TRUE(program.isValid());
        fakes.clock = clock;
        Windows::setServices(fakes.services(program.path()));
        test_support::registerAllWindows();
    }
    void TearDown() override {
        clock->onPause = nullptr;
        Windows::destroyAll();
        QCoreApplication::processEvents();
    }
    FrmTraining& window() { return Windows::get<FrmTraining>(); }
    FrmTraining::Controls& c() { return window().controls(); }

    // Loads acquisition "run" of project "default" with frame images 0 .. lastImage, its own
    // training (a 350 x 350 rectangle on a 35 mm plate: 10 pixels per mm) and trails.
    QString load(const std::string& trails, int lastImage = 0, bool withTraining = true) {
        acq = program.filePath("default/run");
        QDir().mkpath(acq + "/img");
        for (int n = 0; n <= lastImage; ++n)
            writeFile(acq + "/img/c10_0_0_7f" + QString::number(n) + ".jpg",
                      grayJpeg(160, 120, 40 + 5 * n));
        if (withTraining) {
            formats::TrainingFile t = formats::TrainingFile::defaults();
            t[0] = "100";
            t[1] = "450";
            t[2] = "100";
            t[3] = "450";
            std::string text;
            for (const std::string& line : t.lines())
                text += line + "\r\n";
            writeFile(acq + "/training.dat", QByteArray::fromStdString(text));
        }
        if (!trails.empty())
            writeFile(acq + "/worm_trails.csv", QByteArray::fromStdString(trails));
        auto& k = c();
        EXPECT_TRUE(reanalysis_test::chooseAcquisition(window(), "run"));
        EXPECT_TRUE(window().LoadAcquisition());
        k.txt_psize->setText("35");
        // The results frame, as "< Back" shows it.
        window().lblBackClick();
        return acq;
    }
    int plotPauses() const {
        return static_cast<int>(
            std::count(clock->pauses.begin(), clock->pauses.end(), ui::kPlotFramePauseMs));
    }
    std::set<QString> bitmaps() const {
        const QStringList names = QDir(acq + "/bmp").entryList(QDir::Files);
        return {names.begin(), names.end()};
    }

    QTemporaryDir program;
    platform::fakes::FakeServices fakes;
    std::shared_ptr<ScriptedClock> clock = std::make_shared<ScriptedClock>();
    QString acq;
};

// The replay's frames, as the logic gives them for the file.
std::vector<results::ReplayFrame> replayFrames(const std::string& trails, bool single = false) {
    results::TrailReplay r(trails, {10.0, 10.0, single});
    std::vector<results::ReplayFrame> frames;
    while (r.status() == results::TrailReplay::Status::Running)
        frames.push_back(r.next());
    return frames;
}

TEST_F(FrmTrainingReplayTest, PlotThenReplayFillsLabelsProgressAndChart) {
    const std::string trails = crawlingTrails();
    load(trails, 15);
    auto& k = c();
    k.cmd_wormtrails->click();
    EXPECT_TRUE(fakes.dialogs->messages().isEmpty())
        << fakes.dialogs->messages().join("|").toStdString();
    EXPECT_FALSE(window().Processing());
    EXPECT_EQ(k.cmd_wormtrails->text(), "Plot Results");
    EXPECT_EQ(k.Label_rotation->text(), "Rotation Index");
    EXPECT_EQ(k.label_frame->text(), "1");
    EXPECT_EQ(k.txt_nfile->text(), "15");
    EXPECT_FALSE(k.cmd_exportbmp->isHidden());
    // The figures of the last summary, as the logic gives them.
    std::string particle, distance, turnings, speed;
    for (const results::ReplayFrame& f : replayFrames(trails)) {
        if (f.summary)
            particle = f.particleText;
        if (f.distanceText) {
            distance = *f.distanceText;
            turnings = *f.turningsText;
            speed = *f.speedText;
        }
    }
    ASSERT_FALSE(speed.empty());
    EXPECT_EQ(k.lbl_particle->text().toStdString(), particle);
    EXPECT_EQ(k.lbl_distance->text().toStdString(), distance);
    EXPECT_EQ(k.lbl_turnings->text().toStdString(), turnings);
    EXPECT_EQ(k.lbl_speed->text().toStdString(), speed);
    // One pause per plotted frame (0 .. 15) and per replayed frame.
    EXPECT_EQ(plotPauses(), 16 + 16);
    // Progress up to the last frame of 300.
    EXPECT_EQ(k.Picture_progress->point(14.5, 5), ui::colourValue(128, 128, 128));
    EXPECT_EQ(k.Picture_progress->point(15.5, 5), ui::colourValue(255, 255, 255));
    // The chart: trails 5 and 9 were counted, 2 trails give 4 bins.
    EXPECT_DOUBLE_EQ(k.Picture3->scaleRight(), 5.0);
    EXPECT_DOUBLE_EQ(k.Picture3->scaleBottom(), -1.0);
    // Without the picture sequence Picture2 stays empty and no bmp folder is made.
    EXPECT_FALSE(QDir(acq + "/bmp").exists());
    QImage empty(k.Picture2->image().size(), k.Picture2->image().format());
    empty.fill(Qt::white);
    EXPECT_EQ(k.Picture2->image(), empty);
}

TEST_F(FrmTrainingReplayTest, PicturesOnlyForFramesWithMovementAndPicture2AsTheTrailsDrawn) {
    const std::string trails = crawlingTrails();
    load(trails, 0);
    auto& k = c();
    k.chk_bmp->setChecked(true);
    k.cmd_wormtrails->click();
    EXPECT_TRUE(fakes.dialogs->messages().isEmpty())
        << fakes.dialogs->messages().join("|").toStdString();
    std::set<QString> expected;
    ui::PictureBox reference(nullptr, QSize(1600, 1200));
    reference.cls();
    for (const results::ReplayFrame& f : replayFrames(trails)) {
        for (const results::PlotStroke& s : f.moves)
            reference.line(s.x1, s.y1, s.x2, s.y2, s.color);
        if (f.hasMovement())
            expected.insert("f" + QString::number(f.frame) + ".bmp");
    }
    ASSERT_FALSE(expected.empty());
    ASSERT_LT(expected.size(), 16u); // some frames have no movement
    EXPECT_EQ(bitmaps(), expected);
    // The window's picture is the movement of the file drawn in the trails' colours.
    EXPECT_EQ(k.Picture2->image(), reference.image());
    EXPECT_NE(reference.image().pixel(700, 600), QColor(Qt::white).rgb()); // trail 5's track
    // The last picture holds the whole drawing.
    QString lastName;
    int lastFrame = -1;
    for (const QString& name : expected)
        if (const int n = name.mid(1).chopped(4).toInt(); n > lastFrame)
            lastFrame = n, lastName = name;
    EXPECT_EQ(QImage(acq + "/bmp/" + lastName).convertToFormat(QImage::Format_RGB32),
              reference.image().convertToFormat(QImage::Format_RGB32));
}

TEST_F(FrmTrainingReplayTest, PictureFolderMadeWhenTickedDuringAReplayAndAFailedSaveStops) {
    const std::string trails = crawlingTrails();
    load(trails, 0);
    auto& k = c();
    // Ticked at the replay's third frame, after the plot's 16 pauses.
    clock->onPause = [&](int n) {
        if (n == 16 + 3)
            k.chk_bmp->setChecked(true);
    };
    k.cmd_wormtrails->click();
    EXPECT_TRUE(fakes.dialogs->messages().isEmpty())
        << fakes.dialogs->messages().join("|").toStdString();
    std::set<QString> expected;
    for (const results::ReplayFrame& f : replayFrames(trails))
        if (f.hasMovement() && f.frame >= 3)
            expected.insert("f" + QString::number(f.frame) + ".bmp");
    ASSERT_FALSE(expected.empty());
    EXPECT_EQ(bitmaps(), expected);

    // A picture that cannot be written ends the replay with a message naming it.
    clock->onPause = nullptr;
    QDir(acq + "/bmp").removeRecursively();
    writeFile(acq + "/bmp", "a file where the folder should be");
    k.cmd_wormtrails->click();
    ASSERT_EQ(fakes.dialogs->messages().size(), 1);
    EXPECT_TRUE(fakes.dialogs->messages()[0].startsWith("error processing worm_trails file\n"))
        << fakes.dialogs->messages()[0].toStdString();
    EXPECT_TRUE(fakes.dialogs->messages()[0].contains("/bmp/f"))
        << fakes.dialogs->messages()[0].toStdString();
    EXPECT_FALSE(window().Processing());
    EXPECT_EQ(k.cmd_wormtrails->text(), "Plot Results");
}

TEST_F(FrmTrainingReplayTest, PlotWithIdsOnWhiteAndInSingleAnimalMode) {
    const std::string trails = crawlingTrails();
    load(trails, 15);
    auto& k = c();
    k.mn_idmark->setChecked(true);
    k.chk_white->setChecked(true);
    // A plot alone, as the first step of the button draws it.
    window().trailReplay().PlotWormTrails();
    ui::PictureBox* p1 = k.Picture1;
    const QImage shown = p1->image();
    // White, with the analysis area outlined in black, two units wide (no image under it): the
    // left and right points of its middle row.
    EXPECT_EQ(p1->point(5, 5), ui::colourValue(255, 255, 255));
    const int x1 = qRound(k.txt_x1->text().toDouble());
    const int x2 = qRound(k.txt_x2->text().toDouble());
    const int y1 = qRound(k.txt_y1->text().toDouble());
    const int y2 = qRound(k.txt_y2->text().toDouble());
    ASSERT_GT(y2, y1);
    const int middle = y1 + (y2 - y1) / 2;
    for (const int x : {x1, x2}) {
        int black = 0;
        int red = 0;
        for (int dx = -2; dx <= 2; ++dx) {
            black += p1->point(x + dx, middle) == ui::colourValue(0, 0, 0);
            red += p1->point(x + dx, middle) == ui::colourValue(255, 0, 0);
        }
        EXPECT_GE(black, 2) << x;
        EXPECT_EQ(red, 0) << x;
    }
    // The last frame: every step of every trail and the ids of trails with ten steps, drawn
    // straight over the background.
    const results::TrailPlot plot = results::loadTrailPlot(acq.toStdString(), false);
    ASSERT_TRUE(plot.ok);
    const results::PlotFrame last =
        results::plotFrame(plot, 15, {acq.toStdString(), "10.0.0.7", true, true});
    ASSERT_TRUE(last.drawn);
    ASSERT_EQ(last.labels.size(), 3u); // trails 1, 5 and 9
    p1->cls();
    for (const results::PlotStroke& s : last.strokes)
        p1->line(s.x1, s.y1, s.x2, s.y2, s.color);
    for (const results::PlotLabel& l : last.labels)
        p1->printText(l.x, l.y, QString::fromStdString(l.text), l.color);
    EXPECT_EQ(shown, p1->image());
    EXPECT_EQ(p1->point(900, 300), results::TrackColor(9));

    // Single animal: every row is trail 0, drawn in its colour (black) and labelled "0".
    k.mn_singleanimal->trigger();
    ASSERT_TRUE(window().SingleAnimal());
    k.mn_idmark->setChecked(false);
    window().trailReplay().PlotWormTrails();
    const QImage single = p1->image();
    const results::TrailPlot one = results::loadTrailPlot(acq.toStdString(), true);
    EXPECT_EQ(one.maxId, 0);
    p1->cls();
    for (const results::PlotStroke& s : one.strokesUpTo(15))
        p1->line(s.x1, s.y1, s.x2, s.y2, s.color);
    EXPECT_EQ(single, p1->image());
    // Each frame's last row is trail 9's: trail 5's track is not drawn.
    EXPECT_EQ(p1->point(700, 600), ui::colourValue(255, 255, 255));
    EXPECT_EQ(p1->point(900, 300), results::TrackColor(0));
    EXPECT_TRUE(fakes.dialogs->messages().isEmpty());
}

TEST_F(FrmTrainingReplayTest, ChartBinsTheSpeedsOfEveryIdUpToTheLargest) {
    // Trails 31 to maxId each counted in 11 rows at their own speed; trails 0 to 30 appear in
    // one row each and stand still. The chart holds ids 0 to maxId, its bins from maxId.
    for (auto [maxId, bins] : {std::pair{44, 4}, {45, 4}, {55, 6}, {95, 10}}) {
        std::string text = kHeader;
        for (int f = 0; f <= 11; ++f) {
            if (f == 0)
                for (int id = 0; id <= 30; ++id)
                    text += row(0, id, 50 + 10 * id, 50);
            for (int id = 31; id <= maxId; ++id)
                text += row(f, id, 100 + (id - 19) * f, 100 + 8 * (id - 31));
        }
        Windows::destroyAll();
        QDir(program.filePath("default")).removeRecursively();
        fakes.dialogs->log.clear();
        load(text, 0);
        c().cmd_wormtrails->click();
        ASSERT_TRUE(fakes.dialogs->messages().isEmpty()) << maxId;
        results::SpeedHistogram h;
        {
            results::TrailReplay r(text, {10.0, 10.0, false});
            while (r.status() == results::TrailReplay::Status::Running)
                r.next();
            ASSERT_EQ(r.maxId(), maxId);
            h = r.histogram();
        }
        EXPECT_EQ(h.nb, bins);
        ui::PictureBox* p3 = c().Picture3;
        EXPECT_DOUBLE_EQ(p3->scaleRight(), bins + 1.0) << maxId;
        EXPECT_DOUBLE_EQ(p3->scaleTop(), h.cmax + 1.0 + h.yLab) << maxId;
        // The 31 still trails: the filled bar at the left rises from the base line.
        EXPECT_EQ(h.still, 31);
        EXPECT_EQ(p3->point(h.xLab, h.yLab + 0.5), ui::colourValue(0, 0, 0)) << maxId;
    }
}

TEST_F(FrmTrainingReplayTest, HighIdsAndLateFramesOfALongRunArePlottedAndReplayed) {
    // Trail 32000 from frame 20000 on, trail 12001 beside it: beyond tables of 10,000 ids
    // and 500 frames.
    std::string text = kHeader;
    for (int f = 20000; f <= 20012; ++f)
        text +=
            row(f, 12001, 200, 200 + 30 * (f - 20000)) + row(f, 32000, 500 + 40 * (f - 20000), 700);
    load(text, 0);
    for (int f = 20000; f <= 20012; ++f)
        writeFile(acq + "/img/c10_0_0_7f" + QString::number(f) + ".jpg", grayJpeg(160, 120, 90));
    auto& k = c();
    k.chk_white->setChecked(true);
    k.cmd_wormtrails->click();
    EXPECT_TRUE(fakes.dialogs->messages().isEmpty())
        << fakes.dialogs->messages().join("|").toStdString();
    EXPECT_EQ(k.Label_rotation->text(), "Rotation Index"); // the plot reached its end
    EXPECT_EQ(k.txt_nfile->text(), "20012");
    EXPECT_EQ(k.Picture1->point(700, 700), results::TrackColor(32000));
    EXPECT_EQ(k.Picture1->point(200, 300), results::TrackColor(12001));
    // The chart holds ids 0 to 32000: 10 bins, and the ids never seen stand still.
    EXPECT_DOUBLE_EQ(k.Picture3->scaleRight(), 11.0);
    EXPECT_EQ(k.Picture3->point(1.0, 2.5), ui::colourValue(0, 0, 0));
    EXPECT_FALSE(window().Processing());
}

TEST_F(FrmTrainingReplayTest, MissingFilesSayWhichAndTheNextCommandWorks) {
    load(std::string(), 0);
    auto& k = c();
    k.cmd_wormtrails->click();
    EXPECT_EQ(fakes.dialogs->messages(),
              QStringList{"Track File not found!. Please Reprocess images"});
    EXPECT_FALSE(window().Processing());
    // The next click plots again, rather than only clearing a flag left on.
    k.cmd_wormtrails->click();
    EXPECT_EQ(fakes.dialogs->messages().size(), 2);
    EXPECT_FALSE(window().Processing());

    // Trails but no training in the acquisition.
    fakes.dialogs->log.clear();
    writeFile(acq + "/worm_trails.csv", QByteArray::fromStdString(crawlingTrails()));
    QFile::remove(acq + "/training.dat");
    k.cmd_wormtrails->click();
    EXPECT_EQ(fakes.dialogs->messages(), QStringList{"Training file not found"});
    EXPECT_FALSE(window().Processing());
    EXPECT_EQ(k.cmd_wormtrails->text(), "Plot Results");
    EXPECT_EQ(k.lbl_speed->text(), "-");
    // A fault in a row is named.
    fakes.dialogs->log.clear();
    writeFile(acq + "/training.dat", QByteArray("xs 100\r\nxe 450\r\nys 100\r\nye 450\r\n"));
    writeFile(acq + "/worm_trails.csv",
              QByteArray::fromStdString(std::string(kHeader) + row(0, 1, 10, 10) +
                                        row(1, 1, 20, 10) + row(2, 1, 30, 10) +
                                        row(3, 40000, 30, 10)));
    k.cmd_wormtrails->click();
    ASSERT_EQ(fakes.dialogs->messages().size(), 1);
    EXPECT_TRUE(fakes.dialogs->messages()[0].startsWith("worm_trails.csv") ||
                fakes.dialogs->messages()[0].startsWith("error processing worm_trails file"))
        << fakes.dialogs->messages()[0].toStdString();
    EXPECT_FALSE(window().Processing());
}

TEST_F(FrmTrainingReplayTest, StopDuringTheReplayEndsItWithTheChartOfWhatWasReplayed) {
    const std::string trails = crawlingTrails();
    load(trails, 0);
    auto& k = c();
    // STOP after the replay's sixth frame (frame 5).
    clock->onPause = [&](int n) {
        if (n == 16 + 6)
            k.cmd_stopprocess->click();
    };
    k.cmd_wormtrails->click();
    EXPECT_TRUE(fakes.dialogs->messages().isEmpty());
    EXPECT_EQ(k.txt_nfile->text(), "5");
    EXPECT_EQ(plotPauses(), 16 + 6);
    EXPECT_FALSE(window().Processing());
    EXPECT_EQ(k.cmd_wormtrails->text(), "Plot Results");
    // The chart was drawn: no trail counted yet, 4 bins.
    EXPECT_DOUBLE_EQ(k.Picture3->scaleRight(), 5.0);

    // A second click during the plot stops the plot, and no replay follows.
    fakes.dialogs->log.clear();
    clock->pauses.clear();
    k.Picture3->setScale(0, 0, 1, 1);
    clock->onPause = [&](int n) {
        if (n == 3)
            k.cmd_wormtrails->click();
    };
    k.cmd_wormtrails->click();
    EXPECT_EQ(plotPauses(), 3);
    EXPECT_FALSE(window().Processing());
    EXPECT_DOUBLE_EQ(k.Picture3->scaleRight(), 1.0);
    EXPECT_EQ(k.cmd_wormtrails->text(), "Plot Results");
}

TEST_F(FrmTrainingReplayTest, AnotherAcquisitionChosenDuringTheReplayIsRefused) {
    QDir().mkpath(program.filePath("default/other/img"));
    writeFile(program.filePath("default/other/img/c10_0_0_8f0.jpg"), grayJpeg(160, 120, 200));
    load(crawlingTrails(), 0);
    auto& k = c();
    k.Timer_loadimg->stop(); // the load of "run" is done
    clock->onPause = [&](int n) {
        if (n != 16 + 3)
            return;
        k.cmd_dir->click();
        k.List_subproject->setCurrentItem(
            k.List_subproject->findItems("other", Qt::MatchExactly).first());
        window().SelectAcquisition();
    };
    k.cmd_wormtrails->click();
    EXPECT_EQ(fakes.dialogs->messages(),
              QStringList{"A replay is running: stop it before loading another acquisition."});
    // The replay went on to its end with the acquisition it started on, still named.
    EXPECT_EQ(k.txt_nfile->text(), "15");
    EXPECT_EQ(k.txt_filepj->text(), "default/run");
    EXPECT_EQ(k.txt_file->text(), acq + "/img");
    EXPECT_EQ(window().AcquisitionFolder(), acq);
    EXPECT_FALSE(k.Timer_loadimg->isActive());
}

TEST_F(FrmTrainingReplayTest, LoadingAnotherAcquisitionClearsTheResultsOfThePlot) {
    QDir().mkpath(program.filePath("default/other/img"));
    writeFile(program.filePath("default/other/img/c10_0_0_8f0.jpg"), grayJpeg(160, 120, 200));
    load(crawlingTrails(), 15);
    auto& k = c();
    k.cmd_wormtrails->click();
    ASSERT_FALSE(k.lbl_speed->text().isEmpty());
    k.cmd_dir->click();
    const auto other = k.List_subproject->findItems("other", Qt::MatchExactly);
    ASSERT_EQ(other.size(), 1);
    k.List_subproject->setCurrentItem(other.first());
    window().SelectAcquisition();
    ASSERT_TRUE(window().LoadAcquisition());
    // Nothing of "run" is shown beside the picture and name of "other".
    EXPECT_EQ(k.txt_filepj->text(), "default/other");
    for (const QLabel* label : {k.lbl_particle, k.lbl_distance, k.lbl_speed, k.lbl_turnings})
        EXPECT_EQ(label->text(), "") << label->objectName().toStdString();
    QImage blank(k.Picture3->image().size(), k.Picture3->image().format());
    blank.fill(Qt::white);
    EXPECT_EQ(k.Picture3->image(), blank);
    EXPECT_TRUE(k.cmd_exportbmp->isHidden());
}

TEST_F(FrmTrainingReplayTest, ClosingTheWindowDuringAReplayStopsItFirst) {
    const std::string trails = crawlingTrails();
    load(trails, 0);
    auto& k = c();
    k.Picture3->setScale(0, 0, 1, 1);
    clock->onPause = [&](int n) {
        if (n == 16 + 4)
            window().close();
    };
    k.cmd_wormtrails->click();
    EXPECT_TRUE(window().isHidden());
    EXPECT_FALSE(window().Processing());
    EXPECT_EQ(plotPauses(), 16 + 4);                 // not one frame more
    EXPECT_DOUBLE_EQ(k.Picture3->scaleRight(), 1.0); // no chart drawn into the closed window
    EXPECT_TRUE(fakes.dialogs->messages().isEmpty());

    // Destroyed during the plot: nothing runs on.
    clock->onPause = nullptr;
    clock->pauses.clear();
    Windows::destroyAll();
    load(trails, 0);
    clock->onPause = [&](int n) {
        if (n == 2)
            Windows::destroyAll();
    };
    window().trailReplay().cmdWormTrailsClick();
    EXPECT_EQ(plotPauses(), 2);
}

TEST_F(FrmTrainingReplayTest, ExportSavesThePlotWithItsCaptionAndOpensIt) {
    load(crawlingTrails(), 15);
    auto& k = c();
    k.chk_white->setChecked(true);
    k.cmd_wormtrails->click();
    ASSERT_FALSE(k.cmd_exportbmp->isHidden());
    k.cmd_exportbmp->click();
    const QString path = acq + "/bmp_out.bmp";
    ASSERT_TRUE(QFile::exists(path));
    EXPECT_EQ(QImage(path).convertToFormat(QImage::Format_RGB32),
              k.Picture1->image().convertToFormat(QImage::Format_RGB32));
    ASSERT_EQ(fakes.launcher->opened.size(), 1);
    EXPECT_EQ(fakes.launcher->opened.back(), path);
    EXPECT_EQ(clock->pauses.back(), 100);
    // The caption in black on the white plot, at its top left.
    int black = 0;
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 400; ++x)
            black += k.Picture1->point(x, y) == 0;
    EXPECT_GT(black, 50);
    EXPECT_TRUE(fakes.dialogs->messages().isEmpty());

    // Without a desktop opener the picture is still saved, and the operator is told.
    fakes.launcher->openSucceeds = false;
    k.cmd_exportbmp->click();
    EXPECT_EQ(fakes.dialogs->messages(),
              QStringList{"Picture written to " + path + ", but it could not be opened"});
}

} // namespace
