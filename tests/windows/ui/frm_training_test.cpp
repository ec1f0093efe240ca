// The reanalysis window's shell and browser, driven offscreen with fake services.

#include "app/acquisition/ui/reprocess_controller.h"
#include "app/device/logger_lock.h"
#include "app/microbeam/ui/frm_processmulti.h"
#include "app/results/bad_frames.h"
#include "app/training/ui/plate_controller.h"
#include "app/training/ui/training_controller.h"
#include "app/widgets/clickable_label.h"
#include "app/widgets/picture_box.h"
#include "app/widgets/window_registry.h"
#include "app/windows/ui/frm_frontend.h"
#include "app/windows/ui/frm_training.h"
#include "formats/training_file.h"
#include "platform/fakes/fake_services.h"
#include "tests/support/all_windows.h"
#include "tests/windows/ui/frontend_support.h"
#include "tests/windows/ui/reanalysis_support.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QBuffer>
#include <QComboBox>
#include <QFocusEvent>
#include <QGroupBox>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QTimer>

#include <utility>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <mutex>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using frontend_test::grayJpeg;
using frontend_test::readFile;
using frontend_test::writeFile;
using ui::FrmTraining;
using ui::Windows;

class FrmTrainingTest : public ::testing::Test {
protected:
    void SetUp() override {
        test_support::ensureApplication();
        ASSERT_TRUE(program.isValid());
        Windows::setServices(fakes.services(program.path()));
        test_support::registerAllWindows();
    }
    void TearDown() override {
        Windows::destroyAll();
        QCoreApplication::processEvents();
    }
    FrmTraining& window() { return Windows::get<FrmTraining>(); }

    // An acquisition of project "default" with the given frames (and its own training).
    QString makeAcquisition(const QString& name, std::initializer_list<int> frames,
                            const QByteArray& training = QByteArray()) {
        const QString acq = program.filePath("default/" + name);
        QDir().mkpath(acq + "/img");
        int gray = 60;
        for (int n : frames)
            writeFile(acq + "/img/c10_0_0_7f" + QString::number(n) + ".jpg",
                      grayJpeg(160, 120, gray += 20));
        if (!training.isEmpty())
            writeFile(acq + "/training.dat", training);
        return acq;
    }
    // Opens the project list, the project, and chooses an acquisition, as the operator does.
    void choose(const QString& acquisition) {
        ASSERT_TRUE(reanalysis_test::chooseAcquisition(window(), acquisition));
    }

    QTemporaryDir program;
    platform::fakes::FakeServices fakes;
};

QByteArray trainingWith(const QString& x1) {
    formats::TrainingFile t = formats::TrainingFile::defaults();
    t[0] = x1.toStdString();
    std::string text;
    for (const std::string& line : t.lines())
        text += line + "\r\n";
    return QByteArray::fromStdString(text);
}

TEST_F(FrmTrainingTest, LoadStateMenusAndDefaults) {
    FrmTraining& w = window();
    auto& c = w.controls();
    EXPECT_EQ(w.windowTitle(), "Plate Reanalysis");
    EXPECT_EQ(w.objectName(), "frm_training");
    EXPECT_EQ(w.PageState(), 1);
    EXPECT_EQ(w.TargetCount(), -1);
    EXPECT_EQ(w.ProjectOpen(), 0);
    EXPECT_FALSE(w.Processing());
    EXPECT_FALSE(c.Timeracq->isActive());
    // No training in the program folder: the defaults, written there; the slider follows them.
    EXPECT_EQ(c.txt_x1->text(), "335");
    EXPECT_TRUE(QFile::exists(program.filePath("training.dat")));
    EXPECT_FALSE(QFile::exists(program.filePath("training.def"))); // this window makes none
    EXPECT_EQ(c.HScroll_plate->value(), 828); // ((1170 - 335) + (1035 - 215)) / 2 = 827.5
    EXPECT_EQ(c.combo_bin->count(), 2);
    EXPECT_EQ(c.combo_bin->currentText(), "5");
    for (QWidget* hidden :
         {static_cast<QWidget*>(c.cmd_prev), static_cast<QWidget*>(c.cmd_next),
          static_cast<QWidget*>(c.cmd_del), static_cast<QWidget*>(c.txt_nfile),
          static_cast<QWidget*>(c.cmd_exportbmp), static_cast<QWidget*>(c.Opt_acq[1])})
        EXPECT_TRUE(hidden->isHidden()) << hidden->objectName().toStdString();
    EXPECT_FALSE(c.frm_preview->isHidden());
    // The beta menu shows the round shape only; the joint-report menu is a pop-up only.
    EXPECT_FALSE(c.mn_joint_report->menuAction()->isVisible());
    EXPECT_TRUE(c.mn_invariable->isVisible());
    for (QAction* hidden : {c.mn_singleanimal, c.mn_enable_microbeam, c.mn_detectbad,
                            c.mn_backfilter, c.mn_autoconnect})
        EXPECT_FALSE(hidden->isVisible()) << hidden->objectName().toStdString();
    EXPECT_EQ(c.chk_bmp->text(), "Enable BMP sequence  export");
    // Toggles.
    c.mn_singleanimal->trigger();
    EXPECT_TRUE(w.SingleAnimal());
    c.mn_singleanimal->trigger();
    EXPECT_FALSE(w.SingleAnimal());
    EXPECT_FALSE(c.mn_singleanimal->isChecked());
}

TEST_F(FrmTrainingTest, BrowserListsProjectsThenAcquisitionsAndLoadsOne) {
    makeAcquisition("20260115_1030_run_A", {0, 1, 2, 3}, trainingWith("401"));
    makeAcquisition("20260115_1100_run_B", {0});
    writeFile(program.filePath("default/notes.txt"), "x");
    writeFile(program.filePath("default/20260115_1030_run_A/img/c10_0_0_7f0.pgm"), "old");
    FrmTraining& w = window();
    auto& c = w.controls();
    c.cmd_dir->click();
    EXPECT_EQ(c.cmd_dir->text(), "Ok");
    EXPECT_FALSE(c.List_project->isHidden());
    EXPECT_EQ(c.List_project->count(), 1); // "default"; no file with an extension
    c.cmd_dir->click();
    EXPECT_EQ(c.cmd_dir->text(), "...");
    EXPECT_TRUE(c.List_project->isHidden());

    choose("20260115_1030_run_A");
    EXPECT_EQ(w.ProjectOpen(), 1);
    EXPECT_EQ(c.List_subproject->item(0)->text(), "..");
    EXPECT_EQ(c.txt_filepj->text(), "default/20260115_1030_run_A");
    EXPECT_EQ(c.txt_file->text(), program.filePath("default/20260115_1030_run_A/img"));
    EXPECT_TRUE(c.Timer_loadimg->isActive());
    w.DeferredLoad();
    EXPECT_FALSE(c.Timer_loadimg->isActive());
    EXPECT_EQ(c.txt_ip1->text(), "10.0.0.7");
    EXPECT_EQ(c.txt_nfile->text(), "0");
    EXPECT_EQ(w.AcquisitionFolder(), program.filePath("default/20260115_1030_run_A"));
    // The acquisition's training is the current one now; its frame 0 is the preview.
    EXPECT_EQ(c.txt_x1->text(), "401");
    EXPECT_EQ(readFile(program.filePath("training.dat")), trainingWith("401"));
    EXPECT_EQ(readFile(program.filePath("preview.jpg")),
              readFile(program.filePath("default/20260115_1030_run_A/img/c10_0_0_7f0.jpg")));
    EXPECT_FALSE(
        QFile::exists(program.filePath("default/20260115_1030_run_A/img/c10_0_0_7f0.pgm")));
    EXPECT_TRUE(fakes.dialogs->messages().isEmpty());
    EXPECT_TRUE(fakes.downloader->requests.isEmpty()); // nothing goes to the device
    // The acquisition list opens again for the same project; ".." returns to the projects.
    c.cmd_dir->click();
    EXPECT_FALSE(c.List_subproject->isHidden());
    w.setTrainingSource({"run_A", "x"});
    c.List_subproject->setCurrentRow(0);
    w.SelectAcquisition();
    EXPECT_EQ(w.ProjectOpen(), 0);
    EXPECT_TRUE(w.TrainingSource().name.isEmpty());
    EXPECT_FALSE(c.List_project->isHidden());
}

TEST_F(FrmTrainingTest, ALoadLeavesTheConvertedFramesWhileABatchHoldsTheProgramFolder) {
    const QString a = makeAcquisition("run", {0, 1});
    const QString pgm = a + "/img/c10_0_0_7f1.pgm";
    writeFile(pgm, "converted by the batch");
    FrmTraining& w = window();
    choose("run");
    w.controls().Timer_loadimg->stop(); // loaded by hand here
    // Another Vermalux's batch holds the program folder: the frame it just converted stays.
    {
        acquisition::BatchRunner other(fakes.services(program.path()));
        ASSERT_EQ(other.reserve(), "");
        ASSERT_TRUE(w.LoadAcquisition());
        EXPECT_EQ(readFile(pgm), "converted by the batch");
    }
    // A link in the lock's place is no lock: nothing is removed, and its target is not made.
    const QString lock = program.filePath("findrun.lock");
    ASSERT_TRUE(QFile::remove(lock));
    ASSERT_TRUE(QFile::link(program.filePath("elsewhere"), lock));
    ASSERT_TRUE(w.LoadAcquisition());
    EXPECT_TRUE(QFile::exists(pgm));
    EXPECT_FALSE(QFile::exists(program.filePath("elsewhere")));
    ASSERT_TRUE(QFile::remove(lock));
    // A logger still records the run: its live analysis converts frames there, and they stay.
    writeFile(program.filePath("rundata.dat"),
              "10.0.0.7\r\n" + a.toUtf8() + "\r\n2026/01/15 10:30:00\r\n1\r\n 0 \r\n");
    {
        QString error;
        device::HeldLoggerLock logger;
        ASSERT_TRUE(logger.take(program.path(), &error)) << error.toStdString();
        ASSERT_TRUE(w.LoadAcquisition());
        EXPECT_EQ(readFile(pgm), "converted by the batch");
    }
    // Once no batch holds the folder and no logger the run, the load removes them.
    ASSERT_TRUE(w.LoadAcquisition());
    EXPECT_FALSE(QFile::exists(pgm));
    EXPECT_EQ(w.AcquisitionFolder(), a);
    EXPECT_TRUE(fakes.dialogs->messages().isEmpty());
}

TEST_F(FrmTrainingTest, MissingFrameZeroIsReplacedOrTheLoadFailsWithoutAStaleFolder) {
    makeAcquisition("late", {3, 4});
    makeAcquisition("empty", {});
    FrmTraining& w = window();
    choose("late");
    w.controls().Timer_loadimg->stop(); // loaded by hand here, once
    ASSERT_TRUE(w.LoadAcquisition());
    EXPECT_EQ(fakes.dialogs->messages(), QStringList{"Frame #0 not found. Replaced with Frame #3"});
    EXPECT_EQ(readFile(program.filePath("default/late/img/c10_0_0_7f0.jpg")),
              readFile(program.filePath("default/late/img/c10_0_0_7f3.jpg")));
    EXPECT_EQ(w.AcquisitionFolder(), program.filePath("default/late"));

    fakes.dialogs->log.clear();
    w.controls().cmd_dir->click();
    w.controls().List_subproject->setCurrentItem(
        w.controls().List_subproject->findItems("empty", Qt::MatchExactly).first());
    w.SelectAcquisition();
    w.controls().Timer_loadimg->stop();
    EXPECT_FALSE(w.LoadAcquisition());
    EXPECT_EQ(fakes.dialogs->messages(), QStringList{"File 0 not found"});
    // A later reprocess can never work on the acquisition shown before.
    EXPECT_EQ(w.AcquisitionFolder(), "");
}

// Should a pipe or a device in a file's place be waited on after all, the guard ends the wait
// when its time is up (it opens each pipe for writing and closes it, so a blocked reader sees
// the end) and the test fails; a reader still busy after a second period ends the run.
class HangGuard {
public:
    HangGuard(std::vector<std::string> pipes, std::chrono::seconds limit)
        : m_pipes(std::move(pipes)), m_thread([this, limit] { watch(limit); }) {}
    ~HangGuard() {
        {
            std::lock_guard lock(m_mutex);
            m_done = true;
        }
        m_wake.notify_all();
        m_thread.join();
    }
    bool fired() const { return m_fired; }

private:
    void watch(std::chrono::seconds limit) {
        std::unique_lock lock(m_mutex);
        if (m_wake.wait_for(lock, limit, [this] { return m_done; }))
            return;
        m_fired = true;
        for (const std::string& pipe : m_pipes) {
            const int fd = ::open(pipe.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
            if (fd >= 0)
                ::close(fd);
        }
        if (m_wake.wait_for(lock, limit, [this] { return m_done; }))
            return;
        std::fprintf(stderr, "a pipe or device was read without end\n");
        std::_Exit(1);
    }
    std::vector<std::string> m_pipes;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_done = false;
    std::atomic<bool> m_fired{false};
    std::thread m_thread;
};

enum class Stand { Pipe, Device };

// Puts a named pipe, or a link to /dev/zero, at `path`.
void putInPlace(const QString& path, Stand stand) {
    QFile::remove(path);
    if (stand == Stand::Pipe)
        ASSERT_EQ(::mkfifo(path.toLocal8Bit().constData(), 0644), 0) << path.toStdString();
    else
        ASSERT_TRUE(QFile::link("/dev/zero", path)) << path.toStdString();
}

TEST_F(FrmTrainingTest, PipesAndDevicesInPlaceOfFilesAreRefusedAtOnceAndNamed) {
    using namespace std::chrono_literals;
    FrmTraining& w = window();
    auto& c = w.controls();
    // The reanalysis window's load copies the acquisition's training.dat and descriptor.dat.
    std::vector<QString> paths;
    for (const char* file : {"descriptor.dat", "training.dat"}) {
        for (Stand stand : {Stand::Pipe, Stand::Device}) {
            const QString name = QStringLiteral("run") + QString::number(paths.size());
            const QString acq = makeAcquisition(name, {0, 1}, trainingWith("400"));
            paths.push_back(acq + "/" + file);
            putInPlace(paths.back(), stand);
        }
    }
    choose("run0");
    for (std::size_t i = 0; i < paths.size(); ++i) {
        if (i > 0) {
            c.cmd_dir->click();
            c.List_subproject->setCurrentItem(
                c.List_subproject->findItems("run" + QString::number(i), Qt::MatchExactly).first());
            w.SelectAcquisition();
        }
        const QString& path = paths[i];
        fakes.dialogs->log.clear();
        HangGuard guard({path.toStdString()}, 10s);
        EXPECT_FALSE(w.LoadAcquisition()) << path.toStdString();
        EXPECT_FALSE(guard.fired()) << path.toStdString();
        EXPECT_EQ(fakes.dialogs->messages().join("|").toStdString(),
                  ("Cannot copy " + path).toStdString());
    }
    int made = 0;
    // Microbeam LOAD with frame 0 in the folder.
    auto& m = Windows::get<ui::FrmProcessMulti>();
    for (Stand stand : {Stand::Pipe, Stand::Device}) {
        const QString frames = program.filePath("frames" + QString::number(made++));
        QDir().mkpath(frames);
        writeFile(frames + "/c1f1.jpg", grayJpeg());
        const QString zero = frames + "/c1f0.jpg";
        putInPlace(zero, stand);
        fakes.dialogs->log.clear();
        m.controls().txt_file->setText(frames);
        HangGuard guard({zero.toStdString()}, 10s);
        m.controls().cmd_load->click();
        EXPECT_FALSE(guard.fired()) << zero.toStdString();
        EXPECT_EQ(fakes.dialogs->messages().join("|").toStdString(),
                  ("Cannot read " + zero + ": not a regular file").toStdString());
        EXPECT_FALSE(m.controls().Picture1->hasPicture());
    }
}

TEST_F(FrmTrainingTest, FrameSteppingAndReplacementByAWholeCopy) {
    const QString acq = makeAcquisition("run", {0, 1, 2, 3, 4});
    FrmTraining& w = window();
    auto& c = w.controls();
    choose("run");
    ASSERT_TRUE(w.LoadAcquisition());
    // Set-up frame "< Back" leads to the results frame, whose "ReProcess>" leads to stepping.
    c.lbl_back->click();
    EXPECT_FALSE(c.Frame_plotter->isHidden());
    EXPECT_TRUE(c.frm_preview->isHidden());
    EXPECT_EQ(c.cmd_clear->text(), "New");
    c.lbl_reprocess->click();
    EXPECT_TRUE(c.Frame_plotter->isHidden());
    EXPECT_FALSE(c.frm_preview->isHidden());
    EXPECT_FALSE(c.cmd_next->isHidden());
    EXPECT_EQ(c.cmd_del->text(), "Delete[0]");
    QStringList shown;
    for (int i = 0; i < 4; ++i) {
        c.cmd_next->click();
        shown << c.txt_nfile->text();
    }
    EXPECT_EQ(shown, (QStringList{"1", "2", "3", "3"}));
    EXPECT_EQ(c.cmd_del->text(), "Delete[3]");
    for (int i = 0; i < 4; ++i)
        c.cmd_prev->click();
    EXPECT_EQ(w.FrameIndex(), 0);
    EXPECT_EQ(c.txt_nfile->text(), "0");
    c.cmd_next->click();
    c.cmd_next->click();
    // No: nothing changes. Yes: frame 2 becomes a copy of frame 3.
    const QByteArray two = readFile(acq + "/img/c10_0_0_7f2.jpg");
    fakes.dialogs->answers = {false};
    c.cmd_del->click();
    EXPECT_EQ(readFile(acq + "/img/c10_0_0_7f2.jpg"), two);
    fakes.dialogs->answers = {true};
    c.cmd_del->click();
    EXPECT_EQ(fakes.dialogs->log.back().text, "replace file2 with file3?");
    EXPECT_EQ(readFile(acq + "/img/c10_0_0_7f2.jpg"), readFile(acq + "/img/c10_0_0_7f3.jpg"));
    EXPECT_TRUE(
        QDir(acq + "/img").entryList({"*.tmp", ".*"}, QDir::Files | QDir::Hidden).isEmpty());
}

TEST_F(FrmTrainingTest, PlateSizeIsCheckedOnEveryChange) {
    auto& c = window().controls();
    c.txt_psize->setText("60");
    EXPECT_TRUE(fakes.dialogs->messages().isEmpty());
    c.txt_psize->setText("61");
    EXPECT_EQ(fakes.dialogs->messages(), QStringList{"invalid Analisis Area value [10-60]"});
    EXPECT_EQ(c.txt_psize->text(), "35");
}

TEST_F(FrmTrainingTest, OneKeystrokeInThePlateSizeGivesOneMessage) {
    // A real message box takes the focus from the box while it is open.
    struct FocusTakingDialogs : platform::fakes::FakeDialogs {
        QWidget* box = nullptr; // has the focus until the first box opens
        void message(const QString& text, const QString& title) override {
            FakeDialogs::message(text, title);
            if (QWidget* losing = std::exchange(box, nullptr)) {
                QFocusEvent out(QEvent::FocusOut, Qt::ActiveWindowFocusReason);
                QCoreApplication::sendEvent(losing, &out);
            }
        }
    };
    auto dialogs = std::make_shared<FocusTakingDialogs>();
    platform::Services services = fakes.services(program.path());
    services.dialogs = dialogs;
    Windows::setServices(services);
    auto& c = window().controls();
    dialogs->box = c.txt_psize;
    c.txt_psize->setText("3");
    EXPECT_EQ(dialogs->messages(), QStringList{"invalid Analisis Area value [10-60]"});
    EXPECT_EQ(c.txt_psize->text(), "35");
}

// The training test's programs end as the test says: the converter well, the finder as given.
void endPrograms(platform::fakes::FakeLauncher& launcher, platform::ProgramEnd finder) {
    launcher.onStart = [&launcher, finder](const platform::fakes::FakeLauncher::Start& s) {
        launcher.running[s.pid] = false;
        launcher.ends[s.pid] = QFileInfo(s.program).fileName() == "Sirrex"
                                   ? finder
                                   : platform::ProgramEnd{0, QString()};
    };
}

TEST_F(FrmTrainingTest, TrainingTestRunsOnTheBoxesNotOnAnOlderFile) {
    makeAcquisition("run", {0, 1});
    FrmTraining& w = window();
    auto& c = w.controls();
    choose("run");
    ASSERT_TRUE(w.LoadAcquisition());
    ASSERT_TRUE(readFile(program.filePath("training.dat")).contains("bs 35\r\n"));
    endPrograms(*fakes.launcher, {0, QString()});
    fakes.dialogs->log.clear();
    c.txt_npix->setText("40");
    c.cmd_detect->click(); // "TEST TRAINING"
    EXPECT_TRUE(fakes.dialogs->messages().isEmpty())
        << fakes.dialogs->messages().join("|").toStdString();
    EXPECT_TRUE(readFile(program.filePath("training.dat")).contains("bs 40\r\n"));
    ASSERT_FALSE(fakes.launcher->started.empty());
    EXPECT_TRUE(fakes.launcher->started.back().arguments.contains("-bs40"))
        << fakes.launcher->started.back().arguments.join(" ").toStdString();
}

TEST_F(FrmTrainingTest, TrainingTestNamesTheCauseOfAFailure) {
    makeAcquisition("run", {0, 1});
    FrmTraining& w = window();
    auto& c = w.controls();
    choose("run");
    ASSERT_TRUE(w.LoadAcquisition());
    // A value the finder would refuse: its box is named, nothing is started.
    fakes.dialogs->log.clear();
    c.txt_npix->setText("abc");
    c.cmd_detect->click();
    EXPECT_EQ(fakes.dialogs->messages(),
              QStringList{"The finder refuses the training: Box Size = abc (not a decimal number)"});
    EXPECT_TRUE(fakes.launcher->started.empty());
    // So is one the finder would read as another number, and neither reaches the file.
    fakes.dialogs->log.clear();
    c.txt_npix->setText("35");
    c.txt_pixmin->setText("12x");
    c.cmd_detect->click();
    EXPECT_EQ(fakes.dialogs->messages(),
              QStringList{"The finder refuses the training: pl = 12x (the finder reads 12)"});
    EXPECT_TRUE(fakes.launcher->started.empty());
    EXPECT_FALSE(readFile(program.filePath("training.dat")).contains("pl 12x"));
    c.txt_pixmin->setText("26");
    // A finder that fails on the preview: its own first line of error output.
    endPrograms(*fakes.launcher, {1, "Cant read File correctly: preview.pgm holds no pixels"});
    fakes.dialogs->log.clear();
    c.txt_npix->setText("35");
    c.cmd_detect->click();
    EXPECT_EQ(fakes.dialogs->messages(),
              QStringList{"Sirrex failed on the preview (status 1): Cant read File correctly: "
                          "preview.pgm holds no pixels"});
}

TEST_F(FrmTrainingTest, ModeButtonsSwapTheFramesAndRedrawWithoutTheDevice) {
    FrmTraining& w = window();
    auto& c = w.controls();
    writeFile(program.filePath("preview.jpg"), grayJpeg(160, 120));
    c.mn_enable_microbeam->trigger();
    EXPECT_FALSE(c.Opt_acq[1]->isHidden());
    c.Opt_acq[1]->click();
    EXPECT_FALSE(c.frame_micro->isHidden());
    EXPECT_TRUE(c.frame_train->isHidden());
    c.Opt_acq[0]->click();
    EXPECT_TRUE(c.frame_micro->isHidden());
    EXPECT_FALSE(c.frame_train->isHidden());
    EXPECT_TRUE(fakes.downloader->requests.isEmpty());
    EXPECT_TRUE(c.frame_messages->isHidden());
    EXPECT_EQ(fakes.clock->pauses, (std::vector<int>{300, 300}));
}

TEST_F(FrmTrainingTest, TheAcquisitionMenuOpensOnlyWithTheRightButtonOnAProject) {
    makeAcquisition("run", {0});
    FrmTraining& w = window();
    auto& c = w.controls();
    w.ShowAcquisitionMenu(Qt::RightButton, QPoint(10, 10));
    EXPECT_FALSE(c.mn_joint_report->isVisible()); // no project open
    choose("run");
    c.List_subproject->clearSelection();
    w.setTrainingSource({"run", program.filePath("default/run")});
    w.ShowAcquisitionMenu(Qt::LeftButton, QPoint(10, 10));
    EXPECT_FALSE(c.mn_joint_report->isVisible());
    QTimer::singleShot(0, [&] {
        EXPECT_FALSE(c.mn_masstrainingload->isEnabled()); // nothing selected
        EXPECT_FALSE(c.mn_masstrainingapply->isVisible());
        c.mn_joint_report->close();
    });
    w.ShowAcquisitionMenu(Qt::RightButton, QPoint(10, 10));
    QCoreApplication::processEvents();
    c.List_subproject->item(1)->setSelected(true);
    w.ShowAcquisitionMenu(Qt::RightButton, QPoint(10, 10));
    EXPECT_TRUE(c.mn_masstrainingload->isEnabled());
    EXPECT_TRUE(c.mn_masstrainingapply->isVisible());
    EXPECT_EQ(c.mn_masstrainingapply->text(), "Apply Training: run");
    c.mn_joint_report->close();
}

TEST_F(FrmTrainingTest, ClosingUnloadsAndTheNextOpeningStartsFresh) {
    makeAcquisition("run", {0});
    FrmTraining& w = window();
    choose("run");
    ASSERT_TRUE(w.LoadAcquisition());
    w.controls().mn_idmark->trigger();
    w.controls().lbl_backinit->click();
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(Windows::has<FrmTraining>());
    FrmTraining& again = window();
    EXPECT_EQ(again.ProjectOpen(), 0);
    EXPECT_EQ(again.AcquisitionFolder(), "");
    EXPECT_FALSE(again.controls().mn_idmark->isChecked());
    EXPECT_EQ(again.TargetCount(), -1);
}

TEST_F(FrmTrainingTest, LayoutHidesTheSecondPicturesOnEveryPass) {
    FrmTraining& w = window();
    auto& c = w.controls();
    w.show();
    c.Picture2->show();
    c.Image1->show();
    w.resize(1600, 1000);
    QCoreApplication::processEvents();
    EXPECT_TRUE(c.Picture2->isHidden());
    EXPECT_TRUE(c.Image1->isHidden());
    EXPECT_EQ(c.Frame_plotter->geometry(), c.frm_preview->geometry());
    EXPECT_EQ(c.List_project->geometry(), c.List_subproject->geometry());
    // The stop button sits on the bottom edge of the message frame.
    EXPECT_EQ(c.cmd_stopprocess->geometry().bottom() + 1, c.frame_messages->height());
}

// Every visible control under `frame` that lies outside its own frame or under a sibling, one
// line each. Outlines drawn around controls (shapes, which take no click) overlap by design, and
// so do the insets over the preview picture: the trail map and the status messages.
void collectMisplaced(const QWidget* frame, QStringList& out) {
    QList<const QWidget*> controls;
    for (const QObject* child : frame->children()) {
        const auto* w = qobject_cast<const QWidget*>(child);
        if (w && !w->isWindow() && w->isVisible() && !w->objectName().isEmpty() &&
            !w->objectName().startsWith(QStringLiteral("qt_")) &&
            !w->testAttribute(Qt::WA_TransparentForMouseEvents))
            controls << w;
    }
    const auto inset = [](const QWidget* a, const QWidget* b) {
        return a->objectName() == QStringLiteral("Picture1") &&
               (b->objectName() == QStringLiteral("Picture_post") ||
                b->objectName() == QStringLiteral("frame_messages"));
    };
    for (qsizetype i = 0; i < controls.size(); ++i) {
        const QWidget* w = controls[i];
        if (!frame->rect().contains(w->geometry()))
            out << w->objectName() + " lies outside " + frame->objectName();
        for (qsizetype j = i + 1; j < controls.size(); ++j) {
            const QWidget* v = controls[j];
            if (w->geometry().intersects(v->geometry()) && !inset(w, v) && !inset(v, w))
                out << w->objectName() + " and " + v->objectName() + " overlap";
        }
        collectMisplaced(w, out);
    }
}

// A window's misplaced controls at an outer size (its frame included), one line each, "at WxH"
// before each; empty when every control is in its place.
std::string misplacedAt(QWidget& window, QSize outer) {
    window.resize(outer - (window.frameGeometry().size() - window.size()));
    QCoreApplication::processEvents();
    QStringList out;
    collectMisplaced(&window, out);
    for (QString& line : out)
        line = QStringLiteral("at %1x%2: ").arg(outer.width()).arg(outer.height()) + line;
    return out.join(QLatin1Char('\n')).toStdString();
}

TEST_F(FrmTrainingTest, EveryControlLiesInsideItsFrameAndUncoveredOnEveryPage) {
    for (const QSize outer : {QSize(1024, 768), QSize(1600, 1000)}) {
        ui::FrmFrontend& acquisition = Windows::get<ui::FrmFrontend>();
        auto& a = acquisition.controls();
        a.Timer_autoload->stop();
        acquisition.show();
        a.cmd_mas->click(); // the parameters, on the set-up page
        ASSERT_TRUE(a.frame_setupmas->isVisible());
        EXPECT_EQ(misplacedAt(acquisition, outer), "") << "set-up page";
        a.lbl_next->click();
        ASSERT_TRUE(a.frm_acquire->isVisible());
        EXPECT_EQ(misplacedAt(acquisition, outer), "") << "acquisition page";
        a.cmdreport->click();
        ASSERT_TRUE(a.Frame_report->isVisible());
        EXPECT_EQ(misplacedAt(acquisition, outer), "") << "report";
        acquisition.close();

        FrmTraining& w = window();
        auto& c = w.controls();
        w.show();
        c.cmd_mas->click();
        ASSERT_TRUE(c.frame_setupmas->isVisible());
        EXPECT_EQ(misplacedAt(w, outer), "") << "preview page";
        c.lbl_back->click();
        ASSERT_TRUE(c.Frame_plotter->isVisible());
        EXPECT_EQ(misplacedAt(w, outer), "") << "results plotter";
        w.close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
}

TEST_F(FrmTrainingTest, ClosingTheAcquisitionWindowHidesThisOne) {
    FrmTraining& w = window();
    w.show();
    ui::FrmFrontend& frontend = Windows::get<ui::FrmFrontend>();
    frontend.controls().Timer_autoload->stop();
    frontend.show();
    frontend.close();
    EXPECT_FALSE(w.isVisible());
}

} // namespace

namespace {

TEST_F(FrmTrainingTest, LightButtonsKeepAWholeLevelAndSendEachChangeAskingWhileALoggerFetches) {
    FrmTraining& w = window();
    auto& c = w.controls();
    c.txt_ip1->setText("10.0.0.7");
    c.cmd_light_less->click(); // at 0 already: nothing
    c.cmd_light_more->click();
    c.cmd_light_more->click();
    c.cmd_light_auto->click();
    c.cmd_light_less->click();
    const QString lamp = "http://10.0.0.7/control?var=lamp&val=";
    EXPECT_EQ(fakes.downloader->requests,
              (QStringList{lamp + "6", lamp + "12", lamp + "72", lamp + "66"}));
    EXPECT_EQ(c.Label_light->text(), "Light "); // left as it is
    EXPECT_TRUE(fakes.dialogs->log.empty());
    // While a logger holds the program folder's lock, each change asks first: No (the default)
    // sends nothing, Yes sends it.
    QString error;
    const int logger = device::takeLoggerLock(program.path(), &error);
    ASSERT_GE(logger, 0) << error.toStdString();
    fakes.downloader->requests.clear();
    const QString question = QString::fromLatin1(device::kLoggerFetchingQuestion);
    c.cmd_light_more->click();
    EXPECT_EQ(fakes.dialogs->questions(), QStringList{question});
    EXPECT_EQ(fakes.dialogs->buttonsOf(question), platform::QuestionButtons::YesNoDefaultNo);
    EXPECT_TRUE(fakes.downloader->requests.isEmpty());
    fakes.dialogs->answers = {true};
    c.cmd_light_more->click();
    EXPECT_EQ(fakes.dialogs->questions().size(), 2);
    ::close(logger);
    ASSERT_EQ(fakes.downloader->requests.size(), 1);
    EXPECT_TRUE(fakes.downloader->requests.first().startsWith(lamp));
}

} // namespace

namespace {

TEST_F(FrmTrainingTest, ResultCommandsWithoutAnAcquisitionSaySoAndBadImagesAreReported) {
    FrmTraining& w = window();
    auto& c = w.controls();
    c.cmd_wormtrails->click(); // no acquisition loaded: no trails file
    c.cmd_report_calc->click();
    EXPECT_EQ(fakes.dialogs->messages(),
              (QStringList{"Track File not found!. Please Reprocess images",
                           "No acquisition folder chosen"}));
    c.submn_joint_report->trigger(); // fewer than two acquisitions selected: nothing
    c.mnexport_xyworm->trigger();    // no acquisition loaded: nothing
    EXPECT_EQ(fakes.dialogs->messages().size(), 2);
    fakes.dialogs->log.clear();
    makeAcquisition("run", {0});
    choose("run");
    ASSERT_TRUE(w.LoadAcquisition());
    c.mn_detectbad->trigger(); // no xy_image.bin yet
    ASSERT_EQ(fakes.dialogs->messages().size(), 1);
    EXPECT_EQ(fakes.dialogs->messages().first().toStdString(),
              results::kBackgroundFileMissingMessage);
}

} // namespace

namespace {

TEST_F(FrmTrainingTest, AutoconnectJoinsTheNetworkAtOnceAndStoresNothing) {
    auto& c = window().controls();
    fakes.dialogs->inputs = {"labnet"};
    c.mn_autoconnect->trigger();
    EXPECT_TRUE(c.mn_autoconnect->isChecked());
    EXPECT_EQ(fakes.launcher->networks, QStringList{"labnet"});
    c.mn_autoconnect->trigger(); // off: nothing more
    EXPECT_FALSE(c.mn_autoconnect->isChecked());
    fakes.dialogs->inputs = {""};
    c.mn_autoconnect->trigger(); // an empty answer joins nothing, the mark stays
    EXPECT_TRUE(c.mn_autoconnect->isChecked());
    EXPECT_EQ(fakes.launcher->networks, QStringList{"labnet"});
}

} // namespace

namespace {

// What a run leaves for a reprocess: the device address first.
void writeRunData(const QString& acquisition) {
    writeFile(acquisition + "/rundata.dat",
              "10.0.0.7\r\n" + acquisition.toUtf8() + "\r\n2026/01/15 10:30:00\r\n1\r\n 0 \r\n");
}

TEST_F(FrmTrainingTest, AJointReportLeavesTheWindowWhollyOnItsLastAcquisition) {
    const QString a = makeAcquisition("20260115_1030_run_A", {0}, trainingWith("401"));
    const QString b = makeAcquisition("20260115_1100_run_B", {0}, trainingWith("502"));
    writeRunData(a);
    writeRunData(b);
    FrmTraining& w = window();
    auto& c = w.controls();
    choose("20260115_1030_run_A");
    ASSERT_TRUE(w.LoadAcquisition());
    c.cmd_dir->click();
    for (const char* name : {"20260115_1030_run_A", "20260115_1100_run_B"})
        c.List_subproject->findItems(name, Qt::MatchExactly).first()->setSelected(true);
    c.submn_joint_report->trigger();
    ASSERT_EQ(fakes.dialogs->messages().size(), 1);
    EXPECT_TRUE(fakes.dialogs->messages().first().startsWith("Report:"));
    // Boxes, folder, name, address and picture all belong to the last acquisition.
    EXPECT_EQ(w.AcquisitionFolder(), b);
    EXPECT_EQ(c.txt_filepj->text(), "default/20260115_1100_run_B");
    EXPECT_EQ(c.txt_file->text(), b + "/img");
    EXPECT_EQ(c.txt_ip1->text(), "10.0.0.7");
    EXPECT_EQ(c.txt_x1->text(), "502");
    EXPECT_EQ(readFile(program.filePath("preview.jpg")), readFile(b + "/img/c10_0_0_7f0.jpg"));
    // "Reprocess Images" afterwards writes B's training into B; A keeps its own.
    fakes.dialogs->log.clear();
    fakes.dialogs->answers = {false}; // "Proceed?": Cancel
    c.cmd_reprocess->click();
    EXPECT_EQ(fakes.dialogs->questions(), QStringList{"Proceed?"});
    EXPECT_EQ(readFile(a + "/training.dat"), trainingWith("401"));
    EXPECT_TRUE(readFile(b + "/training.dat").startsWith("xs 502\r\n"))
        << readFile(b + "/training.dat").left(20).toStdString();
}

TEST_F(FrmTrainingTest, AnotherAcquisitionIsRefusedDuringAReprocessAndSteppingComesBack) {
    const QString a = makeAcquisition("run", {0, 1, 2, 3});
    writeRunData(a);
    makeAcquisition("other", {0, 1});
    FrmTraining& w = window();
    auto& c = w.controls();
    choose("run");
    w.DeferredLoad();
    ASSERT_EQ(w.AcquisitionFolder(), a);
    const auto stepping = [&c] {
        return c.cmd_prev->isEnabled() && c.cmd_next->isEnabled() && c.cmd_del->isEnabled();
    };
    // Another acquisition chosen just before the reprocess starts is not loaded under it, and
    // the window names again the one the reprocess works on.
    c.cmd_dir->click();
    c.List_subproject->setCurrentItem(c.List_subproject->findItems("other", Qt::MatchExactly)[0]);
    w.SelectAcquisition();
    ASSERT_EQ(c.txt_filepj->text(), "default/other");
    fakes.dialogs->answers = {true}; // "Proceed?"
    c.cmd_reprocess->click();
    ASSERT_TRUE(w.Processing()) << fakes.dialogs->messages().join("|").toStdString();
    EXPECT_FALSE(c.cmd_next->isEnabled());
    fakes.dialogs->log.clear();
    w.DeferredLoad();
    EXPECT_EQ(fakes.dialogs->messages(),
              QStringList{"A reprocess is running: stop it before loading another acquisition."});
    EXPECT_EQ(c.txt_filepj->text(), "default/run");
    EXPECT_EQ(w.AcquisitionFolder(), a);
    // A double-click on another acquisition: refused, and the window still names the one the
    // reprocess works on.
    fakes.dialogs->log.clear();
    c.cmd_dir->click();
    c.List_subproject->setCurrentItem(c.List_subproject->findItems("other", Qt::MatchExactly)[0]);
    w.SelectAcquisition();
    EXPECT_EQ(fakes.dialogs->messages(),
              QStringList{"A reprocess is running: stop it before loading another acquisition."});
    EXPECT_EQ(c.txt_filepj->text(), "default/run");
    EXPECT_EQ(c.txt_file->text(), a + "/img");
    EXPECT_FALSE(c.Timer_loadimg->isActive());
    EXPECT_EQ(w.AcquisitionFolder(), a);
    // A joint report would load other acquisitions under it: refused as well.
    fakes.dialogs->log.clear();
    c.List_subproject->selectAll();
    c.submn_joint_report->trigger();
    EXPECT_EQ(fakes.dialogs->messages(),
              QStringList{"A reprocess is running: stop it before making a joint report."});
    EXPECT_EQ(w.AcquisitionFolder(), a);
    // The stop ends the reprocess: the frames may be stepped again.
    c.cmd_reprocess->click();
    EXPECT_FALSE(w.Processing());
    EXPECT_TRUE(stepping());
    // So does a reprocess cancelled at "Proceed?".
    fakes.dialogs->answers = {false};
    c.cmd_reprocess->click();
    EXPECT_FALSE(w.Processing());
    EXPECT_TRUE(stepping());
    // And loading another acquisition brings them back whatever happened before.
    c.cmd_prev->setEnabled(false);
    c.List_subproject->clearSelection();
    c.List_subproject->setCurrentItem(c.List_subproject->findItems("other", Qt::MatchExactly)[0]);
    w.SelectAcquisition();
    w.DeferredLoad();
    EXPECT_EQ(w.AcquisitionFolder(), program.filePath("default/other"));
    EXPECT_EQ(c.txt_filepj->text(), "default/other");
    EXPECT_TRUE(stepping());
}

TEST_F(FrmTrainingTest, ZStackOfAnAcquisitionNeverCleanedGivesNoCleaningWarning) {
    const QString a = makeAcquisition("run", {0, 1, 2});
    writeRunData(a);
    FrmTraining& w = window();
    choose("run");
    ASSERT_TRUE(w.LoadAcquisition());
    ASSERT_FALSE(QFile::exists(a + "/xy_image.bin"));
    w.controls().mn_zstack->trigger();
    EXPECT_FALSE(fakes.dialogs->messages().contains("Warning!: Image cleaning not applied"))
        << fakes.dialogs->messages().join("|").toStdString();
    EXPECT_EQ(w.reprocess().batchMode(), 2);
    // A descriptor file that cannot be checked is still said.
    w.reprocess().stopBatch();
    writeFile(a + "/xy_image.bin", QByteArray("\x00\x09\x00", 3));
    w.controls().mn_zstack->trigger();
    EXPECT_TRUE(fakes.dialogs->messages().contains("Warning!: Image cleaning not applied"));
}

} // namespace

namespace {

// A preview with dark worm-like marks at known places on a bright plate.
QByteArray previewWithWorms(const std::vector<QPoint>& worms) {
    QImage image(1600, 1200, QImage::Format_RGB32);
    image.fill(QColor(190, 190, 190));
    QPainter painter(&image);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(40, 40, 40));
    for (const QPoint& p : worms)
        painter.drawRoundedRect(QRect(p.x() - 12, p.y() - 3, 24, 6), 3, 3);
    painter.end();
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPG", 95);
    return bytes;
}

const std::vector<QPoint> kWorms = {{700, 600}, {800, 600}, {700, 700}, {800, 700}, {752, 650}};

class TrainingWorkbenchTest : public FrmTrainingTest {
protected:
    void SetUp() override {
        FrmTrainingTest::SetUp();
        writeFile(program.filePath("preview.jpg"), previewWithWorms(kWorms));
        FrmTraining& w = window();
        w.ShowConnecting();
    }
    void pick(int x, int y) {
        window().training().StorePointerPosition(x, y);
        window().training().PickTrainingTarget();
    }
    void openPickList() {
        fakes.dialogs->answers = {true};
        window().controls().cmd_clear->click();
    }
};

TEST_F(TrainingWorkbenchTest, PicksInsideThePlateUpToTenAreKept) {
    FrmTraining& w = window();
    auto& c = w.controls();
    pick(700, 600); // no pick list yet
    EXPECT_EQ(w.TargetCount(), -1);
    openPickList();
    EXPECT_EQ(fakes.dialogs->messages(), QStringList{"Click 5 to 10 representative worms"});
    EXPECT_EQ(c.cmd_detect->text(), "APPLY");
    EXPECT_EQ(c.cmd_clear->text(), "Cancel");
    EXPECT_EQ(c.lbl_last_training->text(), "[ Now ]");
    pick(752, 625);
    pick(1160, 625);      // its box reaches beyond the plate circle
    pick(752 + 397, 625); // 17.5 + 397 is beyond the radius of 414
    pick(752 + 396, 625); // 17.5 + 396 lies inside
    EXPECT_EQ(w.TargetCount(), 2);
    for (int i = 0; i < 12; ++i)
        pick(600 + 10 * i, 600);
    EXPECT_EQ(w.TargetCount(), 10); // the eleventh and later are ignored
    // Ending the pick list.
    c.cmd_clear->click();
    EXPECT_EQ(w.TargetCount(), -1);
    EXPECT_EQ(c.cmd_detect->text(), "TEST TRAINING");
    EXPECT_EQ(c.cmd_clear->text(), "New");
}

TEST_F(TrainingWorkbenchTest, StartNewTrainingOffersYesNoAndCancelAndCancelChangesNothing) {
    FrmTraining& w = window();
    auto& c = w.controls();
    fakes.dialogs->answers = {false}; // Cancel answers as No
    c.cmd_clear->click();
    EXPECT_EQ(fakes.dialogs->buttonsOf("Start New training?"),
              platform::QuestionButtons::YesNoCancel);
    EXPECT_EQ(w.TargetCount(), -1);
    EXPECT_EQ(c.cmd_detect->text(), "TEST TRAINING");
    EXPECT_TRUE(fakes.dialogs->messages().isEmpty());
}

TEST_F(TrainingWorkbenchTest, OnlyALeftClickPicksATarget) {
    FrmTraining& w = window();
    openPickList();
    ui::PictureBox* pic = w.controls().Picture1;
    pic->resize(568, 571);
    // The plate's centre on screen.
    const QPointF at(715.0 * pic->width() / 1600.0, 600.0 * pic->height() / 1200.0);
    auto press = [&](Qt::MouseButton button) {
        QMouseEvent event(QEvent::MouseButtonPress, at, pic->mapToGlobal(at), button, button,
                          Qt::NoModifier);
        QCoreApplication::sendEvent(pic, &event);
    };
    press(Qt::RightButton);
    press(Qt::MiddleButton);
    EXPECT_EQ(w.TargetCount(), 0);
    press(Qt::LeftButton);
    EXPECT_EQ(w.TargetCount(), 1);
}

TEST_F(TrainingWorkbenchTest, EverySideOfAPickBoxShowsOnAShrunkPicture) {
    FrmTraining& w = window();
    openPickList();
    ui::PictureBox* pic = w.controls().Picture1;
    pic->resize(568, 571); // the picture at the design size: about a third of its image
    pick(752, 625);
    ASSERT_EQ(w.TargetCount(), 1);
    // The image keeps the one-pixel box of the pick, read as it was drawn.
    EXPECT_EQ(pic->point(752 - 17.5, 625), ui::colourValue(255, 0, 0));
    const QImage shown = pic->grab().toImage();
    const double sx = pic->width() / 1600.0;
    const double sy = pic->height() / 1200.0;
    auto redNear = [&](double x, double y) {
        for (int dy = -1; dy <= 1; ++dy)
            for (int dx = -1; dx <= 1; ++dx) {
                const QColor c =
                    shown.pixelColor(static_cast<int>(x * sx) + dx, static_cast<int>(y * sy) + dy);
                if (c.red() > 230 && c.green() < 30 && c.blue() < 30)
                    return true;
            }
        return false;
    };
    EXPECT_TRUE(redNear(752 - 17.5, 625)) << "left side";
    EXPECT_TRUE(redNear(752 + 17.5, 625)) << "right side";
    EXPECT_TRUE(redNear(752, 625 - 17.5)) << "top side";
    EXPECT_TRUE(redNear(752, 625 + 17.5)) << "bottom side";
    // Cancelling the pick list redraws the preview without the box.
    w.controls().cmd_clear->click();
    const QImage cleared = pic->grab().toImage();
    const QColor c =
        cleared.pixelColor(static_cast<int>((752 - 17.5) * sx), static_cast<int>(625 * sy));
    EXPECT_FALSE(c.red() > 230 && c.green() < 30 && c.blue() < 30);
}

TEST_F(TrainingWorkbenchTest, ApplyMeasuresThePicksIntoTheBoxesAndBothFiles) {
    FrmTraining& w = window();
    auto& c = w.controls();
    openPickList();
    for (int i = 0; i < 3; ++i)
        pick(kWorms[static_cast<std::size_t>(i)].x(), kWorms[static_cast<std::size_t>(i)].y());
    fakes.dialogs->log.clear();
    c.cmd_detect->click();
    EXPECT_EQ(fakes.dialogs->messages(), QStringList{"Please Select more Targets (5 to 10)"});
    for (int i = 3; i < 5; ++i)
        pick(kWorms[static_cast<std::size_t>(i)].x(), kWorms[static_cast<std::size_t>(i)].y());
    const QString before = c.txt_pixmin->text();
    c.cmd_detect->click();
    EXPECT_EQ(fakes.dialogs->messages().size(), 1)
        << fakes.dialogs->messages().join("|").toStdString();
    EXPECT_NE(c.txt_pixmin->text(), before);
    EXPECT_EQ(c.cmd_clear->text(), "OK");
    EXPECT_EQ(c.lbl_last_training->text(), "[ 2026-01-15 ]");
    EXPECT_TRUE(readFile(program.filePath("descriptor.dat")).startsWith("Block[0]\r\n"));
    const QByteArray training = readFile(program.filePath("training.dat"));
    EXPECT_TRUE(training.contains("pl " + c.txt_pixmin->text().toUtf8() + "\r\n"))
        << training.toStdString();
    // The same picks in a window of another size give the same training.
    w.resize(1600, 1000);
    QCoreApplication::processEvents();
    c.cmd_detect->click();
    EXPECT_EQ(readFile(program.filePath("training.dat")), training);
}

TEST_F(TrainingWorkbenchTest, ApplyOnNothingMeasurableChangesNothing) {
    FrmTraining& w = window();
    auto& c = w.controls();
    const QByteArray training = readFile(program.filePath("training.dat"));
    openPickList();
    for (int i = 0; i < 5; ++i)
        pick(600 + 40 * i, 900); // bright plate, no worm
    EXPECT_EQ(w.TargetCount(), 5);
    fakes.dialogs->log.clear();
    const QString before = c.txt_pixmin->text();
    c.cmd_detect->click();
    ASSERT_EQ(fakes.dialogs->messages().size(), 1);
    EXPECT_EQ(c.txt_pixmin->text(), before);
    EXPECT_FALSE(QFile::exists(program.filePath("descriptor.dat")));
    EXPECT_EQ(readFile(program.filePath("training.dat")), training);
}

} // namespace
