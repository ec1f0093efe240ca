// The run side of the acquisition window with fake services: the fake launcher acts as the
// converter (writes the PGM), the finder (appends a block to the position file) and the
// logger (the test writes one JPEG frame per simulated second).

#include "app/acquisition/ui/acquisition_run_controller.h"
#include "app/device/logger_lock.h"
#include "app/widgets/clickable_label.h"
#include "app/widgets/picture_box.h"
#include "app/widgets/window_registry.h"
#include "app/windows/ui/frm_frontend.h"
#include "formats/position_file.h"
#include "formats/training_file.h"
#include "platform/fakes/fake_services.h"
#include "tests/support/all_windows.h"
#include "tests/support/qt_application.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QBuffer>
#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFocusEvent>
#include <QFontMetrics>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

#include <functional>
#include <map>
#include <memory>
#include <unistd.h>

using platform::fakes::FakeServices;
using ui::AcquisitionRunController;
using ui::FrmFrontend;

// Leaks inside the system libraries that a window test loads (the same list as
// tests/lsan.supp), for runs where the suppression file is not handed to the sanitizer.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig\nleak:libQt6Core\nleak:libQt6Gui\nleak:libQt6Widgets\n"
           "leak:libglib\nleak:libgobject\nleak:libdbus\n";
}

namespace {

using test_support::ensureApplication;

QByteArray grayJpeg() {
    QImage image(160, 120, QImage::Format_RGB32);
    image.fill(QColor(128, 128, 128));
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPG", 80);
    return bytes;
}

void writeFile(const QString& path, const QByteArray& content) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
    file.write(content);
}

QByteArray readFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray("<missing>");
    return file.readAll();
}

// Where the two fake worms are at frame t.
std::vector<formats::WormRecord> wormsAt(int t) {
    std::vector<formats::WormRecord> records(2);
    records[0].number = 1;
    records[0].x = static_cast<std::uint16_t>(500 + 6 * (t % 60));
    records[0].y = 500;
    records[1].number = 2;
    records[1].x = 900;
    records[1].y = static_cast<std::uint16_t>(600 + 5 * (t % 60));
    for (auto& r : records) {
        r.pixels = 60;
        r.xSize = 20;
        r.ySize = 6;
        r.shape = 3855;
        r.meanGray = 60;
    }
    return records;
}

class AcquisitionWindow : public ::testing::Test {
protected:
    void SetUp() override {
        ensureApplication();
        program = std::make_unique<QTemporaryDir>(QStringLiteral("/tmp/vxacqXXXXXX"));
        ASSERT_TRUE(program->isValid());
        ASSERT_EQ(formats::writeTrainingFile(program->path().toStdString(),
                                             formats::TrainingFile::defaults()),
                  "");
        writeFile(program->filePath("descriptor.txt"), "Block[0]\r\n 12\r\n\r\n\r\n");
        fakes.downloader->fallback = grayJpeg();
        fakes.launcher->onStart = [this](const platform::fakes::FakeLauncher::Start& s) {
            actAsProgram(s);
        };
        ui::Windows::setServices(fakes.services(program->path()));
        test_support::registerAllWindows();
        window = &ui::Windows::get<ui::FrmFrontend>();
        controller = window->runController();
        ASSERT_NE(controller, nullptr);
        auto& c = window->controls();
        c.Timer_autoload->stop();
        c.txt_ip1->setText("10.0.0.7");
        c.txtlapse->setText("0.1"); // 6 s
        fakes.dialogs->inputs.push_back("run A");
    }

    void TearDown() override {
        ui::Windows::destroyAll();
        QCoreApplication::processEvents();
    }

    // The fake launcher plays the started program.
    void actAsProgram(const platform::fakes::FakeLauncher::Start& s) {
        const QString name = QFileInfo(s.program).fileName();
        if (name == "Pendrel") {
            loggerPids.push_back(s.pid);
            if (onPendrel)
                onPendrel();
            return;
        }
        if (name == "Dravel") {
            writeFile(s.arguments.at(2), "P5\n1 1\n255\n\x80");
            if (!keepHelpersRunning)
                fakes.launcher->running[s.pid] = false;
            return;
        }
        if (name == "Sirrex") {
            ++sirrexStarts;
            const QString ti = s.arguments.last();
            const int frame = ti.mid(3).toInt();
            if (finderWrites) {
                const QString run = QFileInfo(QFileInfo(s.arguments.at(0)).path()).path();
                QFile file(run + "/xy_worms.bin");
                const bool fresh = !file.exists() || file.size() <= 1;
                file.open(QIODevice::Append);
                const auto records = wormsAt(frame);
                const auto bytes = formats::encodeBlock(frame, records, fresh);
                file.write(reinterpret_cast<const char*>(bytes.data()),
                           static_cast<qint64>(bytes.size()));
            }
            if (pgmAsFolder) {
                // A converted frame that cannot be deleted: a folder now stands in its place.
                QFile::remove(s.arguments.at(0));
                QDir().mkpath(s.arguments.at(0));
                writeFile(s.arguments.at(0) + "/keep", "x");
            }
            if (!keepHelpersRunning)
                fakes.launcher->running[s.pid] = false;
            if (onSirrex)
                onSirrex();
        }
    }

    // One simulated second: the logger's frame, then a tick of the live pipeline.
    void second(int frame) {
        fakes.clock->advance(1000);
        if (!controller->frameCursor().runFolder.isEmpty() && loggerAlive)
            writeFile(controller->frameCursor().runFolder + "/img/c10_0_0_7f" +
                          QString::number(frame) + ".jpg",
                      grayJpeg());
        controller->LiveProcessingTick();
    }

    // How often the name of a new run was asked for.
    int namePrompts() const {
        int prompts = 0;
        for (const auto& e : fakes.dialogs->log)
            prompts += e.text == "Enter acquisition Name" ? 1 : 0;
        return prompts;
    }

    QStringList startsOf(const QString& program) const {
        QStringList out;
        for (const auto& s : fakes.launcher->started)
            if (QFileInfo(s.program).fileName() == program)
                out << s.arguments.join(' ');
        return out;
    }

    QStringList runFolders() const {
        return QDir(program->filePath("default"))
            .entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
    }

    FakeServices fakes;
    std::unique_ptr<QTemporaryDir> program;
    FrmFrontend* window = nullptr;
    AcquisitionRunController* controller = nullptr;
    std::vector<std::int64_t> loggerPids;
    int sirrexStarts = 0;
    bool finderWrites = true;
    bool keepHelpersRunning = false;
    bool loggerAlive = true;
    bool pgmAsFolder = false;
    std::function<void()> onSirrex;
    std::function<void()> onPendrel;
};

} // namespace

TEST_F(AcquisitionWindow, SingleRunCapturesAnalysesTracksAndEndsOnTime) {
    auto& c = window->controls();
    c.cmdPlay->click();
    ASSERT_TRUE(controller->acquisitionRunning())
        << fakes.dialogs->messages().join("|").toStdString();
    EXPECT_EQ(c.cmdPlay->text(), "Stop");
    EXPECT_TRUE(c.Timeracq->isActive());
    EXPECT_EQ(c.Timeracq->interval(), 900);
    ASSERT_EQ(runFolders().size(), 1);
    const QString run = controller->frameCursor().runFolder;
    EXPECT_TRUE(runFolders().first().endsWith("_run_A"));
    EXPECT_EQ(runFolders().first(), fakes.clock->now().toString("yyyyMMdd_HHmm_") + "run_A");
    // Start files.
    EXPECT_EQ(readFile(run + "/xy_shapes.txt"), "#Frame\t#Prev_Frame\tX\tY\tShape\r\n");
    EXPECT_EQ(readFile(run + "/training.dat"), readFile(program->filePath("training.dat")));
    EXPECT_EQ(readFile(run + "/descriptor.dat"), readFile(program->filePath("descriptor.txt")));
    EXPECT_EQ(readFile(run + "/rundata.dat"), readFile(program->filePath("rundata.dat")));
    EXPECT_TRUE(readFile(run + "/rundata.dat").startsWith("10.0.0.7\r\n" + run.toUtf8() + "\r\n"));
    ASSERT_EQ(startsOf("Pendrel"), QStringList{run});
    EXPECT_EQ(fakes.launcher->started.front().program, program->path() + "/Pendrel");
    EXPECT_TRUE(fakes.downloader->requests.contains("http://10.0.0.7/status"));
    EXPECT_FALSE(c.lbl_back2->isEnabled());

    for (int t = 1; t <= 9 && controller->acquisitionRunning(); ++t)
        second(t);
    EXPECT_FALSE(controller->acquisitionRunning());
    EXPECT_EQ(c.lbl_time->text(), "Ended");
    EXPECT_EQ(c.cmdPlay->text(), "Start");
    EXPECT_FALSE(c.Timeracq->isActive());
    EXPECT_TRUE(c.lbl_back2->isEnabled());
    // The logger was stopped through its process.
    ASSERT_EQ(loggerPids.size(), 1u);
    EXPECT_NE(
        std::find(fakes.launcher->stopped.begin(), fakes.launcher->stopped.end(), loggerPids[0]),
        fakes.launcher->stopped.end());
    // Converter and finder command lines of frame 1.
    const QString prefix = run + "/img/c10_0_0_7f";
    EXPECT_EQ(startsOf("Dravel").first(),
              "-grayscale -outfile " + prefix + "1.pgm " + prefix + "1.jpg");
    EXPECT_EQ(startsOf("Sirrex").first(),
              prefix + "1.pgm -xs335 -xe1170 -ys215 -ye1035 -bs35 -pl26 -ph76 -pt20 -tl6.8 "
                       "-th9.5 -tt20 -ll16 -lh25 -lt20 -al10 -at50 -mt31.25 -mm35 -ti1");
    // No converted frame left, every JPEG frame kept.
    EXPECT_TRUE(QDir(run + "/img").entryList({"*.pgm"}, QDir::Files).isEmpty());
    EXPECT_GE(QDir(run + "/img").entryList({"*.jpg"}, QDir::Files).size(), 6);
    // Trails: frame 0 first, then 3, 4, ...
    const QByteArray trails = readFile(run + "/worm_trails.csv");
    EXPECT_TRUE(trails.startsWith("FRAME;ID;X;Y;LOST_COUNT;#PIX;X_SIZE;Y_SIZE;SHAPE\r\n"
                                  "0;0;506;500;0;60;20;6;3855\r\n"
                                  "0;1;900;605;0;60;20;6;3855\r\n"
                                  "3;0;512;500;0;60;20;6;3855\r\n"
                                  "3;1;900;610;0;60;20;6;3855\r\n"))
        << trails.toStdString();
    EXPECT_GE(controller->lastTimeMark(), 6);
    EXPECT_EQ(window->lastTimeMark(), controller->lastTimeMark());
    EXPECT_EQ(c.lbl_particle->text(), "2");
    EXPECT_TRUE(c.label_frame->text().startsWith("#"));

    // The report of the run from the report frame.
    c.cmdreport->click();
    EXPECT_EQ(c.lbl_path->text(), run);
    c.cmd_generate->click();
    ASSERT_EQ(fakes.launcher->opened.size(), 1)
        << fakes.dialogs->messages().join("|").toStdString();
    EXPECT_TRUE(fakes.launcher->opened.first().startsWith(run + "/report"));
    EXPECT_TRUE(QFile::exists(fakes.launcher->opened.first()));
    EXPECT_TRUE(QFile::exists(run + "/particle_trails.csv"));
    EXPECT_TRUE(c.Frame_report->isHidden());
}

TEST_F(AcquisitionWindow, RunsThatCannotWorkAreRefusedWithAMessage) {
    auto& c = window->controls();
    c.txtlapse->setText("1440.5");
    c.cmdPlay->click();
    EXPECT_EQ(fakes.dialogs->messages().last(),
              "ERROR! Acquisition lapse is too long (Max = 1440 minutes)");
    c.txtlapse->setText("");
    c.cmdPlay->click();
    EXPECT_EQ(fakes.dialogs->messages().last(), "ERROR! Acquisition lapse must be above 0 minutes");

    c.txtlapse->setText("1");
    c.txt_x2->setText(c.txt_x1->text());
    fakes.dialogs->inputs = {"a"};
    c.cmdPlay->click();
    EXPECT_EQ(fakes.dialogs->messages().last(),
              "ERROR! The analysis area is empty. Please set the plate area again");

    c.txt_x2->setText("1170");
    QFile::remove(program->filePath("training.dat"));
    fakes.dialogs->inputs = {"a"};
    c.cmdPlay->click();
    EXPECT_EQ(fakes.dialogs->messages().last(),
              "Pre-Training file not found. Please entrain again");

    EXPECT_FALSE(controller->acquisitionRunning());
    EXPECT_TRUE(runFolders().isEmpty());
    EXPECT_TRUE(startsOf("Pendrel").isEmpty());
}

TEST_F(AcquisitionWindow, ATrainingTheFinderWouldRefuseStartsNoRun) {
    // "Next >" wrote what the operator typed into "Box Size = ".
    formats::TrainingFile training = formats::TrainingFile::defaults();
    training[4] = "abc";
    ASSERT_EQ(formats::writeTrainingFile(program->path().toStdString(), training), "");
    window->controls().cmdPlay->click();
    EXPECT_EQ(fakes.dialogs->messages(),
              QStringList{"The finder refuses the training: Box Size = abc (not a decimal number)"});
    // A box the finder would read as another number is named before the area it empties.
    window->controls().txt_x1->setText("1e9");
    window->controls().cmdPlay->click();
    EXPECT_EQ(fakes.dialogs->messages().last(),
              "The finder refuses the training: xs = 1e9 (the finder reads 1)");
    EXPECT_FALSE(controller->acquisitionRunning());
    EXPECT_TRUE(runFolders().isEmpty());
    EXPECT_TRUE(startsOf("Pendrel").isEmpty());
}

TEST_F(AcquisitionWindow, PlateSizeOutOfRangeIsReplacedByThirtyFive) {
    auto& c = window->controls();
    c.txt_psize->setText("8");
    c.cmdPlay->click();
    ASSERT_TRUE(controller->acquisitionRunning());
    EXPECT_EQ(c.txt_psize->text(), "35");
    EXPECT_DOUBLE_EQ(controller->tracker().pxPerMmX, (1170.0 - 335.0) / 35.0);
    EXPECT_DOUBLE_EQ(controller->tracker().pxPerMmY, (1035.0 - 215.0) / 35.0);
    controller->stopAcquisitionRun();
}

TEST_F(AcquisitionWindow, SecondRunOfTheSameMinuteGetsItsOwnFolder) {
    auto& c = window->controls();
    c.cmdPlay->click();
    ASSERT_TRUE(controller->acquisitionRunning());
    for (int t = 1; t <= 3; ++t)
        second(t);
    const QString first = controller->frameCursor().runFolder;
    c.cmdPlay->click(); // stop
    EXPECT_FALSE(controller->acquisitionRunning());
    const QByteArray positions = readFile(first + "/xy_worms.bin");
    ASSERT_NE(positions, "<missing>");

    fakes.dialogs->inputs = {"run A"};
    c.cmdPlay->click();
    ASSERT_TRUE(controller->acquisitionRunning());
    EXPECT_NE(controller->frameCursor().runFolder, first);
    EXPECT_TRUE(controller->frameCursor().runFolder.endsWith("_run_A_2"));
    EXPECT_EQ(readFile(first + "/xy_worms.bin"), positions);
    EXPECT_TRUE(QFile::exists(first + "/img/c10_0_0_7f1.jpg"));
    controller->stopAcquisitionRun();
}

TEST_F(AcquisitionWindow, OnlyOneFinderRunsAndTheNextTakesTheNewestFrame) {
    keepHelpersRunning = true;
    window->controls().cmdPlay->click();
    ASSERT_TRUE(controller->acquisitionRunning());
    second(1); // Dravel for 1 (still running), Sirrex for 1
    second(2);
    second(3);
    EXPECT_EQ(sirrexStarts, 1);
    EXPECT_EQ(startsOf("Dravel").size(), 1);
    // Both end; the next tick converts the newest frame and analyses the newest PGM.
    for (auto& [pid, running] : fakes.launcher->running) {
        if (std::find(loggerPids.begin(), loggerPids.end(), pid) == loggerPids.end())
            running = false;
    }
    second(4);
    // The listing meets frame 2 (the cursor + 1) before 3 and 4.
    EXPECT_EQ(startsOf("Dravel").size(), 2);
    EXPECT_TRUE(startsOf("Dravel").last().endsWith("f2.jpg"));
    EXPECT_EQ(sirrexStarts, 2);
    EXPECT_TRUE(startsOf("Sirrex").last().endsWith("-ti2"));
    // Frames piled up: with names of different lengths the listing meets the newest first.
    for (auto& [pid, running] : fakes.launcher->running) {
        if (std::find(loggerPids.begin(), loggerPids.end(), pid) == loggerPids.end())
            running = false;
    }
    for (int t = 5; t <= 12; ++t)
        writeFile(controller->frameCursor().runFolder + "/img/c10_0_0_7f" + QString::number(t) +
                      ".jpg",
                  grayJpeg());
    second(13);
    EXPECT_TRUE(startsOf("Dravel").last().endsWith("f13.jpg"));
    controller->stopAcquisitionRun();
}

TEST_F(AcquisitionWindow, RunWhoseAnalysisNeverReachesTheEndStillEnds) {
    finderWrites = false;
    loggerAlive = true;
    auto& c = window->controls();
    c.cmdPlay->click();
    ASSERT_TRUE(controller->acquisitionRunning());
    int seconds = 0;
    for (int t = 1; t <= 200 && controller->acquisitionRunning(); ++t) {
        if (t == 4)
            fakes.launcher->running[loggerPids.at(0)] = false; // the logger dies
        loggerAlive = t < 4;
        second(t);
        seconds = t;
        if (t == 7) {
            EXPECT_EQ(c.lbl_time->text(), "Ending...");
        }
    }
    EXPECT_FALSE(controller->acquisitionRunning());
    // 6 s run: 1.1 x 6 + 30 = 36.6 s.
    EXPECT_EQ(seconds, 37);
    EXPECT_EQ(c.lbl_time->text(), "Ended");
    EXPECT_FALSE(c.frame_messages->isHidden());
    EXPECT_EQ(c.lbl_messages->text(), "Run ended: the logger stopped after frame 3");
}

TEST_F(AcquisitionWindow, HandlersInsideATickStartNothingTwice) {
    auto& c = window->controls();
    c.cmdPlay->click();
    ASSERT_TRUE(controller->acquisitionRunning());
    const QString run = controller->frameCursor().runFolder;
    int inner = 0;
    onSirrex = [&] {
        // A pumped event loop or a message box inside the tick: the timers and the button.
        ++inner;
        controller->LiveProcessingTick();
        controller->CycleSchedulerTick();
        EXPECT_FALSE(controller->StartAcquisitionRun("other"));
        QCoreApplication::processEvents();
    };
    second(1);
    second(2);
    onSirrex = nullptr;
    EXPECT_EQ(inner, 2);
    EXPECT_EQ(sirrexStarts, 2);
    EXPECT_EQ(startsOf("Pendrel").size(), 1);
    EXPECT_EQ(runFolders().size(), 1);
    EXPECT_EQ(controller->frameCursor().runFolder, run);
    controller->stopAcquisitionRun();
}

TEST_F(AcquisitionWindow, LightStimulusSwitchesTheAutomaticLampOnAndOff) {
    auto& c = window->controls();
    c.chk_stimulus->setChecked(true);
    c.cmdPlay->click();
    ASSERT_TRUE(controller->acquisitionRunning());
    EXPECT_FALSE(c.chk_stimulus->isEnabled());
    EXPECT_EQ(fakes.downloader->requests.count("http://10.0.0.7/control?var=autolamp&val=1"), 1);
    EXPECT_TRUE(fakes.downloader->requests.contains("http://10.0.0.7/control?var=lamp&val=" +
                                                    QString::number(window->lampValue())));
    c.cmdPlay->click();
    EXPECT_EQ(fakes.downloader->requests.count("http://10.0.0.7/control?var=autolamp&val=0"), 2);
    EXPECT_TRUE(c.chk_stimulus->isEnabled());
}

TEST_F(AcquisitionWindow, LampOffGoesToTheRunsDeviceAndAFailureIsSaid) {
    auto& c = window->controls();
    c.chk_stimulus->setChecked(true);
    c.cmdPlay->click();
    ASSERT_TRUE(controller->acquisitionRunning());
    // The operator edits the device address during the run; then the run's device goes quiet.
    c.txt_ip1->setText("10.0.0.8");
    fakes.downloader->fallback.reset();
    fakes.downloader->requests.clear();
    c.cmdPlay->click();
    EXPECT_FALSE(controller->acquisitionRunning());
    EXPECT_EQ(fakes.downloader->requests,
              QStringList({"http://10.0.0.7/control?var=autolamp&val=0",
                           "http://10.0.0.7/control?var=autolamp&val=0"}));
    const QString failure = "The automatic lamp of 10.0.0.7 could not be switched off";
    EXPECT_EQ(fakes.dialogs->messages(), QStringList{failure});
    EXPECT_EQ(c.lbl_messages->text(), failure);
    EXPECT_FALSE(c.frame_messages->isHidden());
}

TEST_F(AcquisitionWindow, ClosingTheWindowWhileStopWaitsOnTheLampFinishesTheStop) {
    auto& c = window->controls();
    c.chk_stimulus->setChecked(true);
    c.cmdPlay->click();
    ASSERT_TRUE(controller->acquisitionRunning());
    const QString img = controller->frameCursor().runFolder + "/img/";
    writeFile(img + "c10_0_0_7f5.pgm", "P5");
    // A slow device that then fails: the window is closed while Stop waits on its lamp-off.
    fakes.downloader->fallback.reset();
    fakes.downloader->requests.clear();
    fakes.downloader->hold(5000);
    bool closed = false;
    QTimer ticker;
    ticker.setInterval(5);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        if (closed || fakes.downloader->waiting() == 0)
            return;
        closed = true;
        window->close();
        fakes.downloader->release();
    });
    ticker.start();
    c.cmdPlay->click();
    ticker.stop();
    ASSERT_TRUE(closed);
    // The stop went on as Stop goes on: a second try, the failure said, the frames deleted;
    // then the window went.
    QElapsedTimer waited;
    waited.start();
    while (ui::Windows::has<FrmFrontend>() && waited.elapsed() < 5000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    EXPECT_FALSE(ui::Windows::has<FrmFrontend>());
    EXPECT_EQ(fakes.downloader->requests,
              QStringList({"http://10.0.0.7/control?var=autolamp&val=0",
                           "http://10.0.0.7/control?var=autolamp&val=0"}));
    EXPECT_EQ(fakes.dialogs->messages(),
              QStringList{"The automatic lamp of 10.0.0.7 could not be switched off"});
    EXPECT_FALSE(QFile::exists(img + "c10_0_0_7f5.pgm"));
    EXPECT_TRUE(loggerPids.size() == 1 && !fakes.launcher->isRunning(loggerPids[0]));
}

TEST_F(AcquisitionWindow, StopDeletesOnlyConvertedFramesOfTheRun) {
    auto& c = window->controls();
    c.cmdPlay->click();
    const QString img = controller->frameCursor().runFolder + "/img/";
    writeFile(img + "c10_0_0_7f5.pgm", "P5");
    writeFile(img + "c10_0_0_7f5.jpg", "jpg");
    writeFile(img + "c10_0_0_7f6m.jpg", "jpg");
    writeFile(img + "notes.pgm", "keep");
    c.cmdPlay->click();
    EXPECT_FALSE(QFile::exists(img + "c10_0_0_7f5.pgm"));
    EXPECT_TRUE(QFile::exists(img + "c10_0_0_7f5.jpg"));
    EXPECT_TRUE(QFile::exists(img + "c10_0_0_7f6m.jpg"));
    EXPECT_TRUE(QFile::exists(img + "notes.pgm"));
}

TEST_F(AcquisitionWindow, StopDeletesConvertedFramesAfterTheAddressWasEdited) {
    auto& c = window->controls();
    c.cmdPlay->click();
    ASSERT_TRUE(controller->acquisitionRunning());
    const QString img = controller->frameCursor().runFolder + "/img/";
    writeFile(img + "c10_0_0_7f5.pgm", "P5");
    // The operator edits the device address while the run is on.
    c.txt_ip1->setText("10.0.0.8");
    c.cmdPlay->click();
    EXPECT_FALSE(controller->acquisitionRunning());
    EXPECT_FALSE(QFile::exists(img + "c10_0_0_7f5.pgm"));
}

TEST_F(AcquisitionWindow, CycleSeriesOfTwoCyclesDrivenByTheClock) {
    auto& c = window->controls();
    c.chk_cycle->click();
    EXPECT_FALSE(c.txt_mcycle->isHidden());
    EXPECT_EQ(c.chk_cycle->text(), "Cycle time :");
    c.txt_ncycle->setText("2");
    c.txt_mcycle->setText("6");
    controller->CheckCycleCount();
    EXPECT_EQ(c.lbl_stimated->text(), "Duration = 6.1 m");
    c.cmdPlay->click();
    ASSERT_TRUE(controller->acquisitionRunning());
    EXPECT_TRUE(controller->cycleState().cycleMode);
    EXPECT_EQ(controller->cycleState().cycleNumber, 1);
    EXPECT_FALSE(c.chk_cycle->isEnabled());
    for (int t = 1; t <= 9 && controller->acquisitionRunning(); ++t)
        second(t);
    EXPECT_FALSE(controller->acquisitionRunning());
    EXPECT_EQ(c.lbl_time->text(), "End[1]");
    EXPECT_EQ(c.cmdPlay->text(), "Stop Cycles");
    EXPECT_TRUE(c.Timer_cycle->isActive());

    controller->CycleSchedulerTick();
    EXPECT_TRUE(c.lbl_stimated->text().startsWith("Next Cycle in 5."))
        << c.lbl_stimated->text().toStdString();
    // Six minutes after the first start the second cycle starts.
    fakes.clock->advance(6 * 60 * 1000);
    int nested = 0;
    onPendrel = [&] {
        // The scheduler's timer and the button inside the cycle's start: no second cycle.
        ++nested;
        controller->CycleSchedulerTick();
        controller->CycleSchedulerTick();
        QCoreApplication::processEvents();
    };
    controller->CycleSchedulerTick();
    onPendrel = nullptr;
    EXPECT_EQ(nested, 1);
    ASSERT_TRUE(controller->acquisitionRunning());
    EXPECT_EQ(controller->cycleState().cycleNumber, 2);
    EXPECT_FALSE(c.Timer_cycle->isActive());
    for (int t = 1; t <= 9 && controller->acquisitionRunning(); ++t)
        second(t);
    EXPECT_EQ(c.lbl_time->text(), "End[2]");
    controller->CycleSchedulerTick();
    EXPECT_EQ(c.lbl_stimated->text(), "end of cycles");
    EXPECT_FALSE(controller->cycleState().cycleMode);
    EXPECT_FALSE(c.Timer_cycle->isActive());
    EXPECT_EQ(c.cmdPlay->text(), "Start");
    EXPECT_TRUE(c.chk_cycle->isEnabled());

    const QStringList folders = runFolders();
    ASSERT_EQ(folders.size(), 2);
    EXPECT_TRUE(folders[0].endsWith("_run_A_[0m]")) << folders[0].toStdString();
    EXPECT_TRUE(folders[1].endsWith("_run_A_[6m]")) << folders[1].toStdString();
    EXPECT_EQ(startsOf("Pendrel").size(), 2);
    EXPECT_EQ(fakes.launcher->stopped.size() >= 2, true);
}

TEST_F(AcquisitionWindow, BackBetweenTwoCyclesAsksAndEndsTheSeries) {
    auto& c = window->controls();
    window->lblNextClick();
    c.chk_cycle->click();
    c.txt_ncycle->setText("2");
    c.txt_mcycle->setText("6");
    c.cmdPlay->click();
    ASSERT_TRUE(controller->acquisitionRunning());
    for (int t = 1; t <= 9 && controller->acquisitionRunning(); ++t)
        second(t);
    ASSERT_EQ(c.lbl_time->text(), "End[1]");
    ASSERT_TRUE(controller->cycleState().cycleMode);
    // Between the two cycles: the series counts as on, and "No" leaves it armed on its page.
    fakes.dialogs->answers = {false};
    c.lbl_back2->click();
    EXPECT_EQ(fakes.dialogs->questions(), QStringList{"Stop Acquisition?"});
    EXPECT_TRUE(controller->cycleState().cycleMode);
    EXPECT_EQ(window->PageState(), 2);
    // "Yes" ends the series before the set-up page is shown.
    fakes.dialogs->answers = {true};
    c.lbl_back2->click();
    EXPECT_EQ(fakes.dialogs->questions().size(), 2);
    EXPECT_FALSE(controller->cycleState().cycleMode);
    EXPECT_FALSE(c.Timer_cycle->isActive());
    EXPECT_EQ(c.cmdPlay->text(), "Start");
    EXPECT_EQ(window->PageState(), 1);
    // The second cycle's time comes: nothing starts behind the set-up page.
    fakes.clock->advance(6 * 60 * 1000);
    controller->CycleSchedulerTick();
    EXPECT_FALSE(controller->acquisitionRunning());
    EXPECT_EQ(startsOf("Pendrel").size(), 1);
    EXPECT_TRUE(c.frame_results->isHidden());
}

TEST_F(AcquisitionWindow, CycleChecksCorrectTheBoxes) {
    auto& c = window->controls();
    c.txt_mcycle->setText("4");
    controller->CheckCyclePeriod();
    EXPECT_EQ(c.txt_mcycle->text(), "6");
    c.txt_mcycle->setText("90");
    controller->CheckCyclePeriod();
    EXPECT_TRUE(c.chk_onlyimg->isChecked());
    EXPECT_EQ(fakes.dialogs->messages().last(),
              "Post processing of images is reccomended for long cycles");
    c.txt_ncycle->setText("20000");
    controller->CheckCycleCount();
    EXPECT_EQ(c.txt_ncycle->text(), "9999");

    c.txtlapse->setText("12");
    window->setLapseChanged(true);
    fakes.dialogs->answers = {true};
    controller->CheckAcquisitionLapse();
    EXPECT_EQ(fakes.dialogs->questions().last(), "Round Acquisition lapse to 10 min?");
    EXPECT_EQ(c.txtlapse->text(), "10");
    EXPECT_FALSE(window->LapseChanged());
}

TEST_F(AcquisitionWindow, AutoconnectNetworkIsJoinedBeforeTheStart) {
    auto& c = window->controls();
    fakes.dialogs->inputs = {"labnet", "run A"};
    c.mn_autoconnect->trigger();
    EXPECT_EQ(c.mn_autoconnect->text(), "Autoconnect labnet");
    EXPECT_TRUE(c.mn_autoconnect->isChecked());
    EXPECT_TRUE(window->autoconnectOn());
    EXPECT_EQ(fakes.dialogs->log.front().text, "Network to connect:");
    EXPECT_EQ(fakes.dialogs->log.front().title, "Autoconnect before cycle");
    c.cmdPlay->click();
    EXPECT_EQ(fakes.launcher->networks, QStringList{"labnet"});
    EXPECT_TRUE(controller->acquisitionRunning());
    controller->stopAcquisitionRun();
    c.mn_autoconnect->trigger();
    EXPECT_EQ(c.mn_autoconnect->text(), "Autoconnect Network");
    EXPECT_FALSE(window->autoconnectOn());
}

TEST_F(AcquisitionWindow, DeviceThatDoesNotAnswerStartsNothing) {
    fakes.downloader->fallback.reset();
    window->controls().cmdPlay->click();
    EXPECT_FALSE(controller->acquisitionRunning());
    EXPECT_EQ(fakes.dialogs->messages().last(),
              "IP Connection ERROR!. check if device is ON, and IP");
    EXPECT_TRUE(runFolders().isEmpty());
}

TEST_F(AcquisitionWindow, RunOfFourteenHundredFortyMinutesEndsOnItsLastFrames) {
    auto& c = window->controls();
    c.txtlapse->setText("1440");
    c.cmdPlay->click();
    ASSERT_TRUE(controller->acquisitionRunning());
    second(1);
    // Far into the run: frames numbered beyond 16 bits.
    fakes.clock->advance((86397 - 1) * 1000LL);
    for (int t = 86398; t <= 86402 && controller->acquisitionRunning(); ++t) {
        second(t);
        if (t == 86399) {
            EXPECT_EQ(c.lbl_time->text(), "23:59.59");
        }
    }
    EXPECT_FALSE(controller->acquisitionRunning());
    EXPECT_EQ(c.lbl_time->text(), "Ended");
    EXPECT_GE(controller->lastTimeMark(), 86400);
    EXPECT_TRUE(startsOf("Sirrex").last().startsWith(controller->frameCursor().runFolder +
                                                     "/img/c10_0_0_7f864"));
    EXPECT_TRUE(startsOf("Sirrex").last().contains(" -ti864"));
    // Rows of the first block (frame 1) and of the blocks read after the jump.
    const QByteArray trails = readFile(controller->frameCursor().runFolder + "/worm_trails.csv");
    EXPECT_TRUE(trails.contains("\r\n0;0;506;500;0;")) << trails.toStdString();
    EXPECT_TRUE(trails.contains("\r\n3;1;900;")) << trails.toStdString();
}

TEST_F(AcquisitionWindow, TrackerTakesOnlyCompleteBlocks) {
    finderWrites = false;
    window->controls().cmdPlay->click();
    ASSERT_TRUE(controller->acquisitionRunning());
    const QString run = controller->frameCursor().runFolder;
    const auto bytes = formats::encodeBlock(1, wormsAt(1), true);
    // Sirrex has written the header and part of the records so far.
    writeFile(run + "/xy_worms.bin", QByteArray(reinterpret_cast<const char*>(bytes.data()), 20));
    second(1);
    EXPECT_EQ(controller->lastTimeMark(), 0);
    EXPECT_FALSE(QFile::exists(run + "/worm_trails.csv"));
    EXPECT_EQ(controller->tracker().reader.positionCursor, 1);
    // The rest arrives.
    writeFile(run + "/xy_worms.bin", QByteArray(reinterpret_cast<const char*>(bytes.data()),
                                                static_cast<int>(bytes.size())));
    second(2);
    EXPECT_EQ(controller->lastTimeMark(), 1);
    EXPECT_EQ(controller->tracker().reader.positionCursor, 1 + static_cast<int>(bytes.size()));
    EXPECT_TRUE(readFile(run + "/worm_trails.csv").contains("0;0;506;500;0;"));
    controller->stopAcquisitionRun();
}

TEST_F(AcquisitionWindow, HostNameWithAnFInItStillNumbersItsFrames) {
    auto& c = window->controls();
    c.txt_ip1->setText("ff-cam.local");
    c.cmdPlay->click();
    ASSERT_TRUE(controller->acquisitionRunning());
    const QString run = controller->frameCursor().runFolder;
    for (int t = 1; t <= 3; ++t) {
        fakes.clock->advance(1000);
        writeFile(run + "/img/cff-cam_localf" + QString::number(t) + ".jpg", grayJpeg());
        controller->LiveProcessingTick();
    }
    EXPECT_TRUE(startsOf("Dravel").last().endsWith(run + "/img/cff-cam_localf3.jpg"));
    EXPECT_TRUE(startsOf("Sirrex").last().endsWith("-ti3"));
    EXPECT_EQ(controller->lastTimeMark(), 3);
    controller->stopAcquisitionRun();
}

TEST_F(AcquisitionWindow, LapseIsCheckedWhenLeftForAnotherControlNotWhenTheWindowLosesFocus) {
    auto& c = window->controls();
    c.txtlapse->setText("12");
    ASSERT_TRUE(window->LapseChanged());
    // A message box or another program takes the focus from the window: nothing is asked.
    QFocusEvent away(QEvent::FocusOut, Qt::ActiveWindowFocusReason);
    QCoreApplication::sendEvent(c.txtlapse, &away);
    QFocusEvent popup(QEvent::FocusOut, Qt::PopupFocusReason);
    QCoreApplication::sendEvent(c.txtlapse, &popup);
    EXPECT_TRUE(fakes.dialogs->questions().isEmpty());
    EXPECT_TRUE(window->LapseChanged());
    // The operator moves on to another control: the rounding is offered once.
    fakes.dialogs->answers = {false};
    QFocusEvent tab(QEvent::FocusOut, Qt::TabFocusReason);
    QCoreApplication::sendEvent(c.txtlapse, &tab);
    EXPECT_EQ(fakes.dialogs->questions(), QStringList{"Round Acquisition lapse to 10 min?"});
    EXPECT_EQ(c.txtlapse->text(), "12");
    EXPECT_FALSE(window->LapseChanged());
    EXPECT_EQ(c.lbl_stimated->text(), "Duration = 342 m"); // 30 x 11 + 12 with the design boxes
    // The cycle period box likewise.
    c.txt_mcycle->setText("90");
    QCoreApplication::sendEvent(c.txt_mcycle, &away);
    EXPECT_EQ(c.txt_mcycle->text(), "90");
    EXPECT_FALSE(c.chk_onlyimg->isChecked());
    QCoreApplication::sendEvent(c.txt_mcycle, &tab);
    EXPECT_TRUE(c.chk_onlyimg->isChecked());
    EXPECT_EQ(fakes.dialogs->messages(),
              QStringList{"Post processing of images is reccomended for long cycles"});
}

TEST_F(AcquisitionWindow, RoundShapeModeAddsItsOptionBeforeTheTimeMark) {
    auto& c = window->controls();
    c.mn_invariable->setChecked(true);
    c.cmdPlay->click();
    ASSERT_TRUE(controller->acquisitionRunning());
    second(1);
    ASSERT_EQ(startsOf("Sirrex").size(), 1);
    EXPECT_TRUE(startsOf("Sirrex").first().endsWith(" -mm35 -cp28662 -ti1"))
        << startsOf("Sirrex").first().toStdString();
    c.mn_invariable->setChecked(false);
    second(2);
    ASSERT_EQ(startsOf("Sirrex").size(), 2);
    EXPECT_TRUE(startsOf("Sirrex").last().endsWith(" -mm35 -ti2"));
    controller->stopAcquisitionRun();
}

TEST_F(AcquisitionWindow, EachCycleJoinsTheNetworkAndReconnectsTheDeviceFirst) {
    auto& c = window->controls();
    fakes.dialogs->inputs = {"labnet", "run A"};
    c.mn_autoconnect->trigger();
    c.chk_cycle->click();
    c.txt_ncycle->setText("2");
    c.txt_mcycle->setText("6");
    c.cmdPlay->click();
    ASSERT_TRUE(controller->acquisitionRunning());
    EXPECT_EQ(fakes.launcher->networks, QStringList{"labnet"}); // before the first start
    for (int t = 1; t <= 9 && controller->acquisitionRunning(); ++t)
        second(t);
    ASSERT_EQ(c.lbl_time->text(), "End[1]");
    // The scheduler's timer ticks every 5 s.
    EXPECT_EQ(c.Timer_cycle->interval(), 5000);
    const qsizetype statusBefore = fakes.downloader->requests.count("http://10.0.0.7/status");
    fakes.clock->advance(6 * 60 * 1000);
    controller->CycleSchedulerTick();
    ASSERT_TRUE(controller->acquisitionRunning());
    EXPECT_EQ(fakes.launcher->networks, QStringList({"labnet", "labnet"}));
    // ConnectDevice(2) probes the device before the run start probes it again.
    EXPECT_GE(fakes.downloader->requests.count("http://10.0.0.7/status"), statusBefore + 2);
    EXPECT_EQ(window->PageState(), 2);
    EXPECT_EQ(c.lbl_stimated->text(), "Acq_Name: [run_A_[6m]]");
    controller->stopAcquisitionRun();
    EXPECT_FALSE(controller->cycleState().cycleMode);
}

TEST_F(AcquisitionWindow, PressesWhileATickWaitsCountAsOneStop) {
    auto& c = window->controls();
    c.cmdPlay->click();
    ASSERT_TRUE(controller->acquisitionRunning());
    onSirrex = [&] {
        // The operator presses "Stop" twice while the tick lets window events run.
        c.cmdPlay->click();
        c.cmdPlay->click();
        QCoreApplication::processEvents();
    };
    second(1);
    onSirrex = nullptr;
    EXPECT_TRUE(controller->acquisitionRunning()); // the press waits for the tick to return
    QElapsedTimer waited;
    waited.start();
    while (controller->acquisitionRunning() && waited.elapsed() < 30000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    QCoreApplication::processEvents(); // a second press, were it taken, would come now
    EXPECT_FALSE(controller->acquisitionRunning());
    EXPECT_EQ(c.cmdPlay->text(), "Start");
    // One start prompt (the first run's), no second run asked for or started.
    EXPECT_EQ(namePrompts(), 1);
    EXPECT_EQ(startsOf("Pendrel").size(), 1);
    EXPECT_EQ(runFolders().size(), 1);
}

TEST_F(AcquisitionWindow, DoubleClickOnStopStopsOnceAndSaysSo) {
    auto& c = window->controls();
    c.cmdPlay->click();
    ASSERT_TRUE(controller->acquisitionRunning());
    second(1);
    second(2);
    ASSERT_EQ(c.lbl_time->text(), "00:00.02");
    // The operator double-clicks "Stop".
    const QPointF at(10, 10);
    for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease,
                              QEvent::MouseButtonDblClick, QEvent::MouseButtonRelease}) {
        QMouseEvent event(type, at, c.cmdPlay->mapToGlobal(at), Qt::LeftButton,
                          type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton,
                          Qt::NoModifier);
        QCoreApplication::sendEvent(c.cmdPlay, &event);
    }
    EXPECT_FALSE(controller->acquisitionRunning());
    EXPECT_EQ(c.cmdPlay->text(), "Start");
    // No name asked for a new run.
    EXPECT_EQ(namePrompts(), 1);
    EXPECT_EQ(startsOf("Pendrel").size(), 1);
    // The clock keeps the time the run was stopped at; the status says that it was stopped.
    EXPECT_EQ(c.lbl_time->text(), "00:00.02");
    EXPECT_FALSE(c.frame_messages->isHidden());
    EXPECT_EQ(c.lbl_messages->text(), "Acquisition stopped");
}

TEST_F(AcquisitionWindow, CycleRunWaitingForItsLastFramesShowsItsNumber) {
    auto& c = window->controls();
    c.chk_cycle->click();
    c.txt_ncycle->setText("2");
    c.txt_mcycle->setText("6");
    finderWrites = false;
    c.cmdPlay->click();
    ASSERT_TRUE(controller->acquisitionRunning());
    for (int t = 1; t <= 7; ++t)
        second(t);
    EXPECT_TRUE(controller->acquisitionRunning());
    EXPECT_EQ(c.lbl_time->text(), "Ending[1]...");
    // The analysis never catches up: the run ends at its deadline and the series goes on.
    for (int t = 8; t <= 40 && controller->acquisitionRunning(); ++t)
        second(t);
    EXPECT_FALSE(controller->acquisitionRunning());
    EXPECT_EQ(c.lbl_time->text(), "End[1]");
    EXPECT_TRUE(c.Timer_cycle->isActive());
    EXPECT_TRUE(controller->cycleState().cycleMode);
    EXPECT_TRUE(c.lbl_messages->text().startsWith("Run ended at its time limit"));
    controller->stopAcquisitionRun();
}

TEST_F(AcquisitionWindow, HelpersStartHiddenAndTheLoggerMinimized) {
    window->controls().cmdPlay->click();
    ASSERT_TRUE(controller->acquisitionRunning());
    second(1);
    std::map<QString, platform::WindowStyle> styles;
    for (const auto& s : fakes.launcher->started)
        styles[QFileInfo(s.program).fileName()] = s.style;
    EXPECT_EQ(styles["Pendrel"], platform::WindowStyle::Minimized);
    EXPECT_EQ(styles["Dravel"], platform::WindowStyle::Hidden);
    EXPECT_EQ(styles["Sirrex"], platform::WindowStyle::Hidden);
    controller->stopAcquisitionRun();
}

TEST_F(AcquisitionWindow, StalledDeviceAndStoppedLoggerAreSaidWhileTheRunIsOn) {
    auto& c = window->controls();
    c.txtlapse->setText("1"); // 60 s
    c.cmdPlay->click();
    ASSERT_TRUE(controller->acquisitionRunning());
    for (int t = 1; t <= 7; ++t)
        second(t);
    EXPECT_TRUE(c.frame_messages->isHidden()) << c.lbl_messages->text().toStdString();
    // The device stops sending frames; the logger still runs.
    loggerAlive = false;
    for (int t = 8; t <= 11; ++t)
        second(t);
    EXPECT_TRUE(c.frame_messages->isHidden()); // not yet five seconds
    for (int t = 12; t <= 13; ++t)
        second(t);
    EXPECT_FALSE(c.frame_messages->isHidden());
    EXPECT_EQ(c.lbl_messages->text(), "No new frame from the device since frame 7");
    // Frames come again: the status goes.
    loggerAlive = true;
    second(14);
    EXPECT_TRUE(c.frame_messages->isHidden());
    // The logger ends early.
    fakes.launcher->running[loggerPids.at(0)] = false;
    second(15);
    EXPECT_FALSE(c.frame_messages->isHidden());
    EXPECT_EQ(c.lbl_messages->text(), "The logger has stopped");
    EXPECT_TRUE(controller->acquisitionRunning());
    // The run's files stay; a click on the status dismisses it.
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(5, 5), QPointF(5, 5), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(c.frame_messages, &press);
    EXPECT_TRUE(c.frame_messages->isHidden());
    const QString run = controller->frameCursor().runFolder;
    controller->stopAcquisitionRun();
    EXPECT_TRUE(QFile::exists(run + "/worm_trails.csv"));
    EXPECT_TRUE(QFile::exists(run + "/xy_worms.bin"));
}

TEST_F(AcquisitionWindow, EndMessageNamesTheDeviceWhenFramesStoppedComing) {
    auto& c = window->controls();
    c.txtlapse->setText("0.5"); // 30 s
    c.cmdPlay->click();
    ASSERT_TRUE(controller->acquisitionRunning());
    for (int t = 1; t <= 7; ++t)
        second(t);
    // The device stops answering; the logger goes on asking until its run length is over.
    loggerAlive = false;
    for (int t = 8; t <= 80 && controller->acquisitionRunning(); ++t) {
        if (t == 30)
            fakes.launcher->running[loggerPids.at(0)] = false;
        second(t);
    }
    ASSERT_FALSE(controller->acquisitionRunning());
    EXPECT_FALSE(c.frame_messages->isHidden());
    const QString text = c.lbl_messages->text();
    EXPECT_EQ(text, "Run ended: no frame from the device after frame 7");
    // Readable: the text fits its line in the label's own font.
    EXPECT_LE(QFontMetrics(QApplication::font(c.lbl_messages)).horizontalAdvance(text),
              c.lbl_messages->width());
}

TEST_F(AcquisitionWindow, EndMessageIsAStatusThatTheNextActionClears) {
    finderWrites = false;
    auto& c = window->controls();
    c.cmdPlay->click();
    ASSERT_TRUE(controller->acquisitionRunning());
    for (int t = 1; t <= 40 && controller->acquisitionRunning(); ++t)
        second(t);
    ASSERT_FALSE(controller->acquisitionRunning());
    EXPECT_FALSE(c.frame_messages->isHidden());
    EXPECT_TRUE(c.lbl_messages->text().startsWith("Run ended at its time limit"));
    // Back to the set-up page: the message goes with the page.
    c.lbl_back2->click();
    EXPECT_TRUE(c.frame_messages->isHidden());
}

TEST_F(AcquisitionWindow, ConvertedFrameThatCannotBeDeletedStopsTheTick) {
    pgmAsFolder = true;
    auto& c = window->controls();
    c.cmdPlay->click();
    ASSERT_TRUE(controller->acquisitionRunning());
    for (int t = 1; t <= 3 && c.Timeracq->isActive(); ++t)
        second(t);
    EXPECT_FALSE(c.Timeracq->isActive());
    EXPECT_TRUE(fakes.dialogs->messages().contains("Image processing error"))
        << fakes.dialogs->messages().join("|").toStdString();
    EXPECT_TRUE(c.lbl_messages->text().startsWith("Cannot delete "));
    controller->stopAcquisitionRun();
}

TEST_F(AcquisitionWindow, LiveLabelsAreShownOnceTheBlockRowsAreWritten) {
    auto& c = window->controls();
    window->show();
    // What the particle count shows, and what the trails file holds, whenever it is painted
    // (the window answers while a tick reads its frame, so earlier figures may be painted then).
    struct PaintWatch : QObject {
        QLabel* label = nullptr;
        QString trails;
        QList<std::pair<QString, int>> paints;
        bool eventFilter(QObject*, QEvent* event) override {
            if (event->type() == QEvent::Paint && !trails.isEmpty())
                paints.append({label->text(), static_cast<int>(readFile(trails).count('\n'))});
            return false;
        }
    } watch;
    watch.label = c.lbl_particle;
    c.lbl_particle->installEventFilter(&watch);
    c.cmdPlay->click();
    ASSERT_TRUE(controller->acquisitionRunning());
    watch.trails = controller->frameCursor().runFolder + "/worm_trails.csv";
    QString shownBefore = c.lbl_particle->text();
    int linesBefore = static_cast<int>(readFile(watch.trails).count('\n'));
    for (int t = 1; t <= 5; ++t) {
        watch.paints.clear();
        second(t);
        const QString shown = c.lbl_particle->text();
        const int lines = static_cast<int>(readFile(watch.trails).count('\n'));
        // New figures of this second only with its rows; earlier figures with earlier rows
        // (or with these, when the figures did not change).
        for (const auto& [text, seen] : watch.paints) {
            if (text != shownBefore)
                EXPECT_TRUE(text == shown && seen == lines)
                    << "labels painted before the rows of second " << t;
            else
                EXPECT_TRUE(seen == linesBefore || (text == shown && seen == lines))
                    << "labels painted before the rows of second " << t;
        }
        shownBefore = shown;
        linesBefore = lines;
    }
    controller->stopAcquisitionRun();
}

TEST_F(AcquisitionWindow, ClosingTheWindowDuringARunAsksAndYesStopsTheRunWholly) {
    window->controls().cmdPlay->click();
    ASSERT_TRUE(controller->acquisitionRunning());
    ASSERT_EQ(loggerPids.size(), 1u);
    const QString img = controller->frameCursor().runFolder + "/img/";
    writeFile(img + "c10_0_0_7f5.pgm", "P5");
    // "No": the window and the run stay.
    fakes.dialogs->answers = {false};
    window->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(fakes.dialogs->questions(), QStringList{"Stop Acquisition?"});
    ASSERT_TRUE(ui::Windows::has<FrmFrontend>());
    EXPECT_TRUE(controller->acquisitionRunning());
    EXPECT_TRUE(fakes.launcher->isRunning(loggerPids[0]));
    EXPECT_TRUE(QFile::exists(img + "c10_0_0_7f5.pgm"));
    // "Yes": the run ends as Stop ends it, logger included, and the window goes.
    fakes.dialogs->answers = {true};
    window->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(ui::Windows::has<FrmFrontend>());
    EXPECT_FALSE(fakes.launcher->isRunning(loggerPids[0]));
    EXPECT_FALSE(QFile::exists(img + "c10_0_0_7f5.pgm"));
    EXPECT_FALSE(device::loggerFetching(program->path()));
}

TEST_F(AcquisitionWindow, ALoggerOfAnotherVermaluxIsAskedAboutOrRefusedNeverOfferedAStop) {
    // A logger that another Vermalux on this folder started (or one that outlived a crash)
    // holds the folder's logger lock.
    QString error;
    const int otherLogger = device::takeLoggerLock(program->path(), &error);
    ASSERT_GE(otherLogger, 0) << error.toStdString();
    auto& c = window->controls();
    fakes.downloader->requests.clear();
    const QString question = QString::fromLatin1(device::kLoggerFetchingQuestion);
    // Connect and FOCUS each ask first; No (the default) sends nothing.
    EXPECT_EQ(window->ConnectDevice(1), -1);
    c.cmd_focus->click();
    EXPECT_EQ(c.cmd_focus->text(), "FOCUS");
    EXPECT_EQ(fakes.dialogs->questions(), QStringList({question, question}));
    EXPECT_EQ(fakes.dialogs->buttonsOf(question), platform::QuestionButtons::YesNoDefaultNo);
    // Start cannot stop a logger this program did not start: it is refused, and not asked
    // "Stop it and start the new run?". Never two loggers.
    fakes.dialogs->log.clear();
    fakes.dialogs->answers = {true};
    c.cmdPlay->click();
    EXPECT_FALSE(controller->acquisitionRunning());
    EXPECT_EQ(fakes.dialogs->questions(), QStringList());
    EXPECT_EQ(fakes.dialogs->messages(),
              QStringList{"The logger of an earlier run is still running: no new run is started."});
    EXPECT_EQ(fakes.downloader->requests, QStringList());
    EXPECT_TRUE(loggerPids.empty());
    // Once that logger has ended, a run starts; its logger holds the lock in turn.
    ::close(otherLogger);
    fakes.dialogs->log.clear();
    c.cmdPlay->click();
    ASSERT_TRUE(controller->acquisitionRunning());
    EXPECT_EQ(fakes.dialogs->questions(), QStringList());
    EXPECT_TRUE(device::loggerFetching(program->path()));
    controller->stopAcquisitionRun();
    EXPECT_FALSE(device::loggerFetching(program->path()));
}
