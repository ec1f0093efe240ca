// The acquisition window driven offscreen with fake services: load, pages, back labels, the
// project list, typed-value checks, the device link, light and focus, and the plate overlay.

#include "tests/support/all_windows.h"
#include "tests/windows/ui/frontend_support.h"

#include "app/acquisition/ui/acquisition_run_controller.h"
#include "app/device/ui/frm_init.h"
#include "app/training/ui/plate_controller.h"
#include "app/widgets/clickable_label.h"
#include "app/widgets/picture_box.h"
#include "formats/position_file.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QFocusEvent>
#include <QGroupBox>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QTimer>

#include <gtest/gtest.h>

namespace {

using namespace frontend_test;
using ui::FrmFrontend;
using ui::Windows;

const QString kAddress = QStringLiteral("10.0.0.7");

class FrontendTest : public ::testing::Test {
protected:
    void SetUp() override {
        ensureApplication();
        m_dir = std::make_unique<QTemporaryDir>(QStringLiteral("/tmp/vxfeXXXXXX"));
        ASSERT_TRUE(m_dir->isValid());
        folder = m_dir->path();
        dialogs = std::make_shared<HookDialogs>();
        hook = std::make_shared<HookDownloader>(fakes.downloader);
    }
    void TearDown() override {
        Windows::destroyAll();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    platform::Services services() const {
        platform::Services s = fakes.services(folder);
        s.dialogs = dialogs;
        s.downloader = hook;
        return s;
    }
    // Creates (loads) the window; the one preview capture after the load is left to the test.
    FrmFrontend& open() {
        Windows::setServices(services());
        test_support::registerAllWindows();
        FrmFrontend& w = Windows::get<ui::FrmFrontend>();
        w.controls().Timer_autoload->stop();
        return w;
    }
    QString path(const QString& name) const { return QDir(folder).filePath(name); }
    // A device that answers every request; "/capture" with a gray frame.
    void answerEverything() {
        fakes.downloader->fallback = QByteArray("ok");
        fakes.downloader->bodies[QStringLiteral("http://") + kAddress + "/capture"] = grayJpeg();
    }
    static void loseFocus(QWidget* w) {
        QFocusEvent event(QEvent::FocusOut, Qt::TabFocusReason);
        QCoreApplication::sendEvent(w, &event);
    }

    std::unique_ptr<QTemporaryDir> m_dir;
    QString folder;
    platform::fakes::FakeServices fakes;
    std::shared_ptr<HookDialogs> dialogs;
    std::shared_ptr<HookDownloader> hook;
};

// A colour of the gray preview frame (JPEG may move it by a level or two).
bool isGray(int colour) {
    const int r = colour & 0xFF, g = (colour >> 8) & 0xFF, b = (colour >> 16) & 0xFF;
    return colour >= 0 && std::abs(r - 128) <= 3 && std::abs(g - 128) <= 3 &&
           std::abs(b - 128) <= 3;
}

QByteArray trainingText(const char* xs, const char* xe, const char* ys, const char* ye) {
    QByteArray t;
    t += QByteArray("xs ") + xs + "\r\nxe " + xe + "\r\nys " + ys + "\r\nye " + ye + "\r\n";
    t += "bs 35\r\npl 26\r\nph 76\r\npt 20\r\ntl 6.8\r\nth 9.5\r\ntt 20\r\nll 16\r\nlh 25\r\n"
         "lt 20\r\nal 10\r\nat 50\r\nmt 31.25\r\nmm 35\r\n";
    return t;
}

// ---- Load -----------------------------------------------------------------------------------

TEST_F(FrontendTest, EveryControlExistsUnderItsName) {
    FrmFrontend& w = open();
    EXPECT_EQ(w.objectName(), "frm_frontend");
    EXPECT_EQ(w.windowTitle(), "Front end");
    const char* names[] = {"lbl_ip",
                           "txt_ip1",
                           "Shape_device",
                           "Picture1",
                           "Picture2",
                           "Image1",
                           "Picture_progress",
                           "lbl_time",
                           "Picture_post",
                           "frm_contrast",
                           "cmd_light_auto",
                           "cmd_light_less",
                           "cmd_light_more",
                           "Label_light",
                           "frame_messages",
                           "lbl_messages",
                           "Label_projects",
                           "txt_project",
                           "cmd_explore_pj",
                           "list_projects",
                           "frm_preview",
                           "lbl_mode",
                           "Opt_acq(0)",
                           "Opt_acq(1)",
                           "frame_limits",
                           "cmd_offset_down",
                           "cmd_offset_left",
                           "cmd_offset_right",
                           "cmd_offset_up",
                           "lbl_diameter",
                           "HScroll_plate",
                           "lbl_psize",
                           "txt_psize",
                           "cmd_focus",
                           "frame_train",
                           "cmd_detect",
                           "lbl_last_training",
                           "cmd_clear",
                           "cmd_mas",
                           "Label_boxs",
                           "txt_npix",
                           "frame_setupmas",
                           "lbl_back",
                           "lbl_next",
                           "txt_x1",
                           "txt_x2",
                           "txt_y1",
                           "txt_y2",
                           "txt_pixmin",
                           "txt_pixmax",
                           "txt_pixtol",
                           "txt_umbralmin",
                           "txt_umbralmax",
                           "txt_umbraltol",
                           "txt_lenmin",
                           "txt_lenmax",
                           "txt_lentol",
                           "txt_umbral_analisis",
                           "txt_umb_an_tol",
                           "txt_maxtravel",
                           "frm_acquire",
                           "frame_acquisition",
                           "Label_acqlapse",
                           "txtlapse",
                           "Label_minutes",
                           "chk_stimulus",
                           "chk_cycle",
                           "shape_cycle",
                           "txt_ncycle",
                           "lbl_everycycle",
                           "txt_mcycle",
                           "lbl_mcycle",
                           "chk_onlyimg",
                           "lbl_stimated",
                           "lbl_back2",
                           "cmdPlay",
                           "frame_results",
                           "lbl_detpart",
                           "lbl_particle",
                           "lbl_avrgspeed",
                           "lbl_speed",
                           "lbl_trvldist",
                           "lbl_distance",
                           "Picture3",
                           "lbl_speedhisto",
                           "cmdreport",
                           "label_frame",
                           "Frame_report",
                           "combo_bin",
                           "txt_spacer",
                           "lbl_path",
                           "cmd_generate",
                           "cmd_cancelreport"};
    for (const char* name : names)
        EXPECT_NE(w.findChild<QWidget*>(name), nullptr) << name;
    for (const char* name : {"mnbluen", "mn_autoconnect", "mn_invariable", "mn_credit"})
        EXPECT_NE(w.findChild<QAction*>(name), nullptr) << name;
    EXPECT_EQ(w.findChild<QAction*>("mnbluen")->text(), "Enable BlueLight");
    EXPECT_EQ(w.findChild<QAction*>("mn_autoconnect")->text(), "autoconnect WiFi Network");
    EXPECT_EQ(w.findChild<QAction*>("mn_invariable")->text(), "Round Shape Organism");
    EXPECT_EQ(w.findChild<QAction*>("mn_credit")->text(), "Credits");

    struct TimerDesign {
        const char* name;
        int interval;
    };
    for (const TimerDesign& t :
         {TimerDesign{"Timeracq", 1000}, TimerDesign{"Timer_focus", 1000},
          TimerDesign{"Timer_autoload", 100}, TimerDesign{"Timer_cycle", 5000}}) {
        auto* timer = w.findChild<QTimer*>(t.name);
        ASSERT_NE(timer, nullptr) << t.name;
        EXPECT_EQ(timer->interval(), t.interval) << t.name;
        EXPECT_FALSE(timer->isActive()) << t.name; // the load switched Timeracq off
    }

    auto& c = w.controls();
    EXPECT_EQ(c.cmdPlay->text(), "Start");
    EXPECT_EQ(c.cmd_detect->text(), "TEST TRAINING");
    EXPECT_EQ(c.cmd_clear->text(), "NEW");
    EXPECT_EQ(c.lbl_back->text(), "< Back");
    EXPECT_EQ(c.lbl_back2->text(), "< Back");
    EXPECT_EQ(c.lbl_next->text(), "Next >");
    EXPECT_EQ(c.cmd_explore_pj->text(), ",,,");
    EXPECT_EQ(c.cmd_mas->text(), "...");
    EXPECT_EQ(c.cmd_focus->text(), "FOCUS");
    EXPECT_EQ(c.cmd_offset_left->text(), "<");
    EXPECT_EQ(c.cmd_offset_right->text(), ">");
    EXPECT_EQ(c.cmd_offset_down->text(), "up");
    EXPECT_EQ(c.cmd_offset_up->text(), "down");
    EXPECT_EQ(c.frame_limits->title(), "Plate Position");
    EXPECT_EQ(c.Frame_report->title(), "Report");
    EXPECT_EQ(c.lbl_path->text(), "my path");
    EXPECT_EQ(c.chk_stimulus->text(), "Light Stimulus");
    EXPECT_EQ(c.chk_cycle->text(), "cycle");
    EXPECT_EQ(c.chk_onlyimg->text(), "RToff");
    EXPECT_EQ(c.txt_ncycle->text(), "12");
    EXPECT_EQ(c.txt_mcycle->text(), "30");
    EXPECT_EQ(c.txtlapse->text(), "5");
    EXPECT_EQ(c.lbl_everycycle->text(), "times");
    EXPECT_EQ(c.lbl_stimated->text(), "estimated total reading time = ##m");
    EXPECT_EQ(c.Label_boxs->text(), "Box Size = ");
    EXPECT_EQ(c.cmd_light_auto->text(), "default");
    EXPECT_EQ(c.Opt_acq[0]->text(), "Tracking");
    EXPECT_EQ(c.Opt_acq[1]->text(), "Microbeam");
    EXPECT_TRUE(c.Opt_acq[0]->isChecked());
    EXPECT_TRUE(c.Opt_acq[1]->isHidden());
    EXPECT_EQ(c.txt_spacer->text(), ";");
}

TEST_F(FrontendTest, FirstLoadShowsDefaultsAndWritesTheSettings) {
    FrmFrontend& w = open();
    auto& c = w.controls();
    EXPECT_EQ(w.PageState(), 1);
    EXPECT_EQ(w.TargetCount(), -1);
    EXPECT_DOUBLE_EQ(w.LightLevel(), 5.0);
    EXPECT_FALSE(w.focusRunning());
    EXPECT_FALSE(w.LapseChanged());
    EXPECT_FALSE(w.autoconnectOn());
    EXPECT_EQ(w.autoconnectNetwork(), ui::AcquisitionRunController::defaultNetworkName());
    ASSERT_NE(w.runController(), nullptr);
    EXPECT_FALSE(w.runController()->acquisitionRunning());

    // Training defaults in the boxes; config.dat, training.dat and training.def written.
    EXPECT_EQ(c.txt_x1->text(), "335");
    EXPECT_EQ(c.txt_x2->text(), "1170");
    EXPECT_EQ(c.txt_umbralmin->text(), "6.8");
    EXPECT_EQ(c.txt_maxtravel->text(), "31.25");
    EXPECT_EQ(c.txt_psize->text(), "35");
    EXPECT_EQ(readFile(path("config.dat")), QByteArray("default\r\n[ - - ]\r\n5.0\r\n"));
    const QByteArray training = readFile(path("training.dat"));
    EXPECT_TRUE(training.startsWith("xs 335\r\nxe 1170\r\n")) << training.constData();
    EXPECT_EQ(readFile(path("training.def")), training);

    // Pages and frames after the load.
    EXPECT_FALSE(c.frm_preview->isHidden());
    EXPECT_TRUE(c.frm_contrast->isHidden());
    EXPECT_TRUE(c.Picture_progress->isHidden());
    EXPECT_TRUE(c.lbl_time->isHidden());
    EXPECT_TRUE(c.Picture2->isHidden());
    EXPECT_EQ(c.Picture2->geometry(), c.Picture1->geometry());
    EXPECT_TRUE(c.frame_results->isHidden());
    EXPECT_TRUE(c.frm_acquire->isHidden());
    EXPECT_TRUE(c.chk_stimulus->isHidden());
    EXPECT_FALSE(c.chk_stimulus->isChecked());
    for (QWidget* hidden :
         {static_cast<QWidget*>(c.txt_ncycle), static_cast<QWidget*>(c.txt_mcycle),
          static_cast<QWidget*>(c.lbl_everycycle), static_cast<QWidget*>(c.lbl_mcycle),
          static_cast<QWidget*>(c.shape_cycle)})
        EXPECT_TRUE(hidden->isHidden()) << hidden->objectName().toStdString();
    EXPECT_TRUE(c.frame_limits->isEnabled());
    EXPECT_TRUE(c.frame_train->isEnabled());
    EXPECT_TRUE(c.cmd_focus->isEnabled());

    // The report's block list.
    ASSERT_EQ(c.combo_bin->count(), 2);
    EXPECT_EQ(c.combo_bin->itemText(0), "5");
    EXPECT_EQ(c.combo_bin->itemText(1), "1");
    EXPECT_EQ(c.combo_bin->currentText(), "5");

    // The slider: range 280 to 1120, value the mean of width and height (835 and 820).
    EXPECT_EQ(c.HScroll_plate->minimum(), 280);
    EXPECT_EQ(c.HScroll_plate->maximum(), 1120);
    EXPECT_EQ(c.HScroll_plate->value(), 828);
    EXPECT_EQ(c.txt_x1->text(), "335"); // setting it at load moved nothing

    // The 20 ms wait of the load, and the one preview 100 ms later.
    EXPECT_EQ(fakes.clock->pauses, std::vector<int>{20});
}

TEST_F(FrontendTest, AutoloadTimerTakesOnePreviewAfterTheLoad) {
    writeFile(path("ipdata.dat"), kAddress.toUtf8() + "\r\n");
    answerEverything();
    Windows::setServices(services());
    test_support::registerAllWindows();
    FrmFrontend& w = Windows::get<ui::FrmFrontend>();
    EXPECT_TRUE(w.controls().Timer_autoload->isActive());
    QElapsedTimer t;
    t.start();
    while (w.controls().Timer_autoload->isActive() && t.elapsed() < 30000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    EXPECT_FALSE(w.controls().Timer_autoload->isActive());
    EXPECT_EQ(fakes.downloader->requests, QStringList{"http://10.0.0.7/capture"});
    EXPECT_TRUE(QFile::exists(path("preview.jpg")));
}

TEST_F(FrontendTest, TrainingRestorePrefersTheProjectThenTrainingDef) {
    writeFile(path("config.dat"), "proj\r\n[ 2026-01-01 ]\r\n7.5\r\n");
    QDir(folder).mkdir("proj");
    writeFile(path("proj/training.dat"), trainingText("111", "1111", "222", "1022"));
    writeFile(path("training.def"), trainingText("333", "1133", "244", "1044"));
    writeFile(path("training.dat"), trainingText("444", "1144", "255", "1055"));
    FrmFrontend& w = open();
    auto& c = w.controls();
    EXPECT_EQ(c.txt_project->text(), "proj");
    EXPECT_EQ(c.lbl_last_training->text(), "[ 2026-01-01 ]");
    EXPECT_DOUBLE_EQ(w.LightLevel(), 7.5);
    EXPECT_EQ(c.txt_x1->text(), "111");
    EXPECT_EQ(readFile(path("training.dat")), trainingText("111", "1111", "222", "1022"));
    // Nothing was saved: the file existed.
    EXPECT_EQ(readFile(path("config.dat")), QByteArray("proj\r\n[ 2026-01-01 ]\r\n7.5\r\n"));
}

TEST_F(FrontendTest, TrainingRestoreFallsBackToTrainingDef) {
    writeFile(path("config.dat"), "proj\r\n");
    writeFile(path("training.def"), trainingText("333", "1133", "244", "1044"));
    writeFile(path("training.dat"), trainingText("444", "1144", "255", "1055"));
    FrmFrontend& w = open();
    EXPECT_EQ(w.controls().txt_x1->text(), "333");
    EXPECT_EQ(w.controls().lbl_last_training->text(), "[ - - ]");
    EXPECT_DOUBLE_EQ(w.LightLevel(), 5.0);
}

TEST_F(FrontendTest, TrainingRestoreWithoutCopiesKeepsTheProgramTraining) {
    writeFile(path("training.dat"), trainingText("444", "1144", "255", "1055"));
    FrmFrontend& w = open();
    EXPECT_EQ(w.controls().txt_x1->text(), "444");
    EXPECT_FALSE(QFile::exists(path("training.def"))); // nothing saved
}

TEST_F(FrontendTest, ProjectNameFromTheFileIsCleanedBeforeItBecomesAPath) {
    // A hand-edited project name that would climb out of the program folder.
    writeFile(path("config.dat"), "../sub\r\n");
    QDir(folder).mkpath("-sub");
    writeFile(path("-sub/training.dat"), trainingText("123", "1123", "223", "1023"));
    FrmFrontend& w = open();
    EXPECT_EQ(w.controls().txt_project->text(), "-sub");
    EXPECT_EQ(w.projectFolder(), path("-sub"));
    EXPECT_EQ(w.controls().txt_x1->text(), "123");
    // A typed name that was never cleaned by losing the focus.
    w.controls().txt_project->setText(QStringLiteral("../a b/c"));
    EXPECT_EQ(w.projectFolder(), path("-a_b-c"));
    w.controls().txt_project->setText(QStringLiteral("..."));
    EXPECT_EQ(w.projectFolder(), path("default"));
}

TEST_F(FrontendTest, SliderValueAtLoadIsHeldToItsRange) {
    writeFile(path("training.dat"), trainingText("0", "100", "0", "120"));
    FrmFrontend& w = open();
    EXPECT_EQ(w.controls().HScroll_plate->value(), 280);
    EXPECT_EQ(w.controls().txt_x2->text(), "100"); // the rectangle did not move
    Windows::destroyAll();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    writeFile(path("training.dat"), trainingText("-5000", "5000", "-5000", "5000"));
    FrmFrontend& w2 = open();
    EXPECT_EQ(w2.controls().HScroll_plate->value(), 1120);
    EXPECT_EQ(w2.controls().txt_x1->text(), "-5000");
}

TEST_F(FrontendTest, UnreadableTrainingGivesTheMessage) {
    QDir(folder).mkdir("training.dat"); // a folder where the file should be
    open();
    EXPECT_TRUE(dialogs->messages().contains("Error reading training.dat file"));
}

// ---- Back labels and pages ------------------------------------------------------------------

TEST_F(FrontendTest, NextSavesTheSettingsAndOpensTheAcquisitionPage) {
    FrmFrontend& w = open();
    auto& c = w.controls();
    w.setTargetCount(3);
    c.cmd_detect->setText("APPLY");
    c.cmd_clear->setText("Cancel");
    c.txt_project->setText("plates");
    c.txt_umbralmin->setText("7,5");
    c.Timer_focus->start();
    QFile::remove(path("training.dat"));
    QFile::remove(path("config.dat"));

    c.lbl_next->click();
    EXPECT_EQ(w.PageState(), 2);
    EXPECT_EQ(w.TargetCount(), -1);
    EXPECT_EQ(c.cmd_detect->text(), "TEST TRAINING");
    EXPECT_EQ(c.cmd_clear->text(), "New");
    EXPECT_FALSE(w.focusRunning());
    EXPECT_FALSE(c.Timer_focus->isActive());
    EXPECT_TRUE(c.frm_preview->isHidden());
    EXPECT_TRUE(c.frm_contrast->isHidden());
    EXPECT_FALSE(c.frm_acquire->isHidden());
    EXPECT_FALSE(c.Picture_progress->isHidden());
    EXPECT_FALSE(c.lbl_time->isHidden());
    EXPECT_TRUE(dialogs->messages().isEmpty());
    // The boxes as they stand are the training every later run takes.
    EXPECT_TRUE(readFile(path("training.dat")).contains("tl 7.5\r\n"));
    EXPECT_TRUE(readFile(path("config.dat")).startsWith("plates\r\n"));
    EXPECT_EQ(c.txt_project->text(), "plates");

    // And back again.
    c.lbl_back2->click();
    EXPECT_EQ(w.PageState(), 1);
    EXPECT_FALSE(c.frm_preview->isHidden());
}

TEST_F(FrontendTest, NextSaysSoWhenTheSettingsCannotBeSaved) {
    FrmFrontend& w = open();
    auto& c = w.controls();
    QFile::remove(path("training.dat"));
    ASSERT_TRUE(QDir(folder).mkdir("training.dat")); // a folder in the way of the file
    c.lbl_next->click();
    EXPECT_EQ(dialogs->messages(),
              QStringList{"The settings could not be saved in the program folder."});
    EXPECT_EQ(w.PageState(), 2);
}

TEST_F(FrontendTest, NextRefusesABoxTheFinderWouldReadAsAnotherNumber) {
    FrmFrontend& w = open();
    auto& c = w.controls();
    const QByteArray saved = readFile(path("training.dat"));
    c.txt_x1->setText("1e9");
    c.lbl_next->click();
    EXPECT_EQ(dialogs->messages(),
              QStringList{"The finder refuses the training: xs = 1e9 (the finder reads 1)"});
    EXPECT_EQ(w.PageState(), 1);
    EXPECT_FALSE(c.frm_preview->isHidden());
    EXPECT_EQ(readFile(path("training.dat")), saved);
}

TEST_F(FrontendTest, BackFromTheAcquisitionPageWithoutARun) {
    FrmFrontend& w = open();
    auto& c = w.controls();
    w.setPageState(2);
    w.setLastTimeMark(77);
    c.frm_preview->hide();
    c.frm_acquire->show();
    c.Picture_progress->show();
    c.lbl_time->show();
    c.lbl_time->setText("01:02.03");
    c.lbl_stimated->show();
    c.Frame_report->show();
    c.frame_results->show();
    c.lbl_back2->click();
    EXPECT_TRUE(dialogs->questions().isEmpty());
    EXPECT_EQ(w.PageState(), 1);
    EXPECT_EQ(w.lastTimeMark(), 0);
    EXPECT_EQ(c.lbl_time->text(), "00:00");
    EXPECT_TRUE(c.lbl_stimated->isHidden());
    EXPECT_TRUE(c.frm_acquire->isHidden());
    EXPECT_TRUE(c.Picture_progress->isHidden());
    EXPECT_TRUE(c.lbl_time->isHidden());
    EXPECT_FALSE(c.frm_preview->isHidden());
    EXPECT_TRUE(c.Frame_report->isHidden());
    EXPECT_TRUE(c.frame_results->isHidden());
}

TEST_F(FrontendTest, BackFromARunningAcquisitionAsksFirst) {
    writeFile(path("ipdata.dat"), kAddress.toUtf8() + "\r\n");
    answerEverything();
    FrmFrontend& w = open();
    auto& c = w.controls();
    w.setPageState(2);
    c.frm_preview->hide();
    c.frm_acquire->show();
    ASSERT_TRUE(w.runController()->StartAcquisitionRun(QStringLiteral("run1")))
        << dialogs->messages().join('|').toStdString();
    ASSERT_TRUE(w.runController()->acquisitionRunning());

    dialogs->answers = {false};
    c.lbl_back2->click();
    EXPECT_EQ(dialogs->questions(), QStringList{"Stop Acquisition?"});
    EXPECT_TRUE(w.runController()->acquisitionRunning());
    EXPECT_EQ(w.PageState(), 2);
    EXPECT_FALSE(c.frm_acquire->isHidden());

    dialogs->answers = {true};
    c.lbl_back2->click();
    EXPECT_FALSE(w.runController()->acquisitionRunning());
    EXPECT_EQ(w.PageState(), 1);
    EXPECT_TRUE(c.lbl_stimated->isHidden());
    EXPECT_TRUE(c.frm_acquire->isHidden());
    EXPECT_FALSE(c.frm_preview->isHidden());
}

TEST_F(FrontendTest, BackToTheStartWindowUnloadsTheWindow) {
    FrmFrontend& w = open();
    w.show();
    w.controls().lbl_back->click();
    EXPECT_FALSE(w.isVisible());
    EXPECT_TRUE(Windows::get<ui::FrmInit>().isVisible());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(Windows::has<ui::FrmFrontend>());
    // The next use loads it anew from its design values.
    FrmFrontend& again = open();
    EXPECT_EQ(again.PageState(), 1);
    EXPECT_TRUE(again.controls().frm_acquire->isHidden());
}

TEST_F(FrontendTest, ClosingTheWindowShowsTheStartWindow) {
    FrmFrontend& w = open();
    w.show();
    w.close();
    EXPECT_TRUE(Windows::get<ui::FrmInit>().isVisible());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(Windows::has<ui::FrmFrontend>());
}

// ---- Saved projects -------------------------------------------------------------------------

TEST_F(FrontendTest, ProjectListShowsFoldersOnly) {
    QDir(folder).mkdir("alpha");
    QDir(folder).mkdir("beta");
    QDir(folder).mkdir(".hidden");
    writeFile(path("Sirrex"), "program"); // executables have no extension here
    writeFile(path("notes.txt"), "notes");
    FrmFrontend& w = open();
    auto& c = w.controls();
    c.cmd_explore_pj->click();
    ASSERT_FALSE(c.list_projects->isHidden());
    QStringList items;
    for (int i = 0; i < c.list_projects->count(); ++i)
        items << c.list_projects->item(i)->text();
    EXPECT_EQ(items, (QStringList{"alpha", "beta"}));
    c.cmd_explore_pj->click();
    EXPECT_TRUE(c.list_projects->isHidden());
}

TEST_F(FrontendTest, EmptyProjectListStaysHidden) {
    writeFile(path("Sirrex"), "program");
    FrmFrontend& w = open();
    w.controls().cmd_explore_pj->click();
    EXPECT_TRUE(w.controls().list_projects->isHidden());
    EXPECT_EQ(w.controls().list_projects->count(), 0);
}

TEST_F(FrontendTest, TakingASavedProjectLoadsItsTrainingOnYes) {
    writeFile(path("ipdata.dat"), kAddress.toUtf8() + "\r\n");
    answerEverything();
    QDir(folder).mkdir("alpha");
    writeFile(path("alpha/training.dat"), trainingText("501", "1101", "201", "1001"));
    FrmFrontend& w = open();
    auto& c = w.controls();
    c.cmd_explore_pj->click();
    c.list_projects->setCurrentRow(0);
    dialogs->answers = {true};
    w.listProjectsDoubleClick();
    EXPECT_EQ(c.txt_project->text(), "alpha");
    EXPECT_EQ(dialogs->questions(), QStringList{"Load training from saved project?"});
    EXPECT_EQ(c.txt_x1->text(), "501");
    EXPECT_EQ(readFile(path("training.dat")), trainingText("501", "1101", "201", "1001"));
    EXPECT_EQ(fakes.downloader->requests, QStringList{"http://10.0.0.7/capture"});
    EXPECT_TRUE(c.list_projects->isHidden());
}

TEST_F(FrontendTest, TakingASavedProjectAnsweredNoCopiesNothing) {
    QDir(folder).mkdir("alpha");
    writeFile(path("alpha/training.dat"), trainingText("501", "1101", "201", "1001"));
    FrmFrontend& w = open();
    const QByteArray before = readFile(path("training.dat"));
    w.controls().cmd_explore_pj->click();
    w.controls().list_projects->setCurrentRow(0);
    dialogs->answers = {false};
    w.listProjectsDoubleClick();
    EXPECT_EQ(readFile(path("training.dat")), before);
    EXPECT_EQ(w.controls().txt_x1->text(), "335");
    EXPECT_TRUE(fakes.downloader->requests.isEmpty());
    EXPECT_TRUE(w.controls().list_projects->isHidden());
}

TEST_F(FrontendTest, WindowClosedWhileTheProjectQuestionWaits) {
    QDir(folder).mkdir("alpha");
    writeFile(path("alpha/training.dat"), trainingText("501", "1101", "201", "1001"));
    FrmFrontend& w = open();
    const QByteArray before = readFile(path("training.dat"));
    w.controls().cmd_explore_pj->click();
    w.controls().list_projects->setCurrentRow(0);
    dialogs->answers = {true};
    dialogs->onDialog = [](const QString&) { Windows::destroyAll(); };
    w.listProjectsDoubleClick(); // must not touch the destroyed window
    EXPECT_FALSE(Windows::has<ui::FrmFrontend>());
    EXPECT_EQ(readFile(path("training.dat")), before);
}

// ---- Frames, menus and typed values ---------------------------------------------------------

TEST_F(FrontendTest, ReportAndParameterFramesToggle) {
    FrmFrontend& w = open();
    auto& c = w.controls();
    w.setRunFolder(path("default/20260115_1030_run"));
    c.txtlapse->setText("15");
    c.cmdreport->click();
    EXPECT_FALSE(c.Frame_report->isHidden());
    EXPECT_EQ(c.combo_bin->currentText(), "15");
    EXPECT_EQ(c.lbl_path->text(), path("default/20260115_1030_run"));
    c.cmdreport->click();
    EXPECT_TRUE(c.Frame_report->isHidden());
    c.cmdreport->click();
    c.cmd_cancelreport->click();
    EXPECT_TRUE(c.Frame_report->isHidden());
    EXPECT_TRUE(c.frame_setupmas->isHidden());
    c.cmd_mas->click();
    EXPECT_FALSE(c.frame_setupmas->isHidden());
    c.cmd_mas->click();
    EXPECT_TRUE(c.frame_setupmas->isHidden());
}

TEST_F(FrontendTest, BlueLightMenuShowsAndTicksTheStimulusBox) {
    FrmFrontend& w = open();
    auto& c = w.controls();
    c.mnbluen->trigger();
    EXPECT_TRUE(c.mnbluen->isChecked());
    EXPECT_FALSE(c.chk_stimulus->isHidden());
    EXPECT_TRUE(c.chk_stimulus->isChecked());
    c.mnbluen->trigger();
    EXPECT_FALSE(c.mnbluen->isChecked());
    EXPECT_TRUE(c.chk_stimulus->isHidden());
    EXPECT_FALSE(c.chk_stimulus->isChecked());
    c.mn_invariable->trigger();
    EXPECT_TRUE(c.mn_invariable->isChecked());
    c.mn_invariable->trigger();
    EXPECT_FALSE(c.mn_invariable->isChecked());
}

TEST_F(FrontendTest, ProjectNameLimitAndCleaning) {
    FrmFrontend& w = open();
    auto& c = w.controls();
    const QString name32(32, QLatin1Char('p'));
    c.txt_project->setText(name32);
    EXPECT_TRUE(dialogs->messages().isEmpty());
    c.txt_project->setText(name32 + "q");
    EXPECT_EQ(dialogs->messages(), QStringList{"32 characters Maximum"});
    EXPECT_EQ(c.txt_project->text(), name32);
    c.txt_project->setText(QString::fromUtf8("my plate/2.b\xC3\xA9"));
    loseFocus(c.txt_project);
    EXPECT_EQ(c.txt_project->text(), "my_plate-2b");
}

TEST_F(FrontendTest, TrainingTestRefusesAProgramFolderWhereTheFinderWritesElsewhere) {
    // The finder writes the files of an image in a folder named ...img into the parent.
    folder = path("img");
    ASSERT_TRUE(QDir().mkpath(folder));
    writeFile(path("preview.jpg"), grayJpeg());
    FrmFrontend& w = open();
    dialogs->log.clear();
    ASSERT_EQ(w.controls().cmd_detect->text(), "TEST TRAINING");
    w.controls().cmd_detect->click();
    EXPECT_EQ(dialogs->messages(),
              QStringList{"TEST TRAINING cannot run in the program folder " + folder +
                          ": its name ends in \"img\", so the finder would write its files "
                          "into " +
                          m_dir->path() + ". Move the program into another folder."});
    EXPECT_TRUE(fakes.launcher->started.empty());
}

TEST_F(FrontendTest, PlateSizeCheckOnLostFocus) {
    FrmFrontend& w = open();
    auto& c = w.controls();
    for (const char* kept : {"10", "60", "35.5"}) {
        c.txt_psize->setText(kept);
        loseFocus(c.txt_psize);
        EXPECT_EQ(c.txt_psize->text(), kept);
    }
    EXPECT_TRUE(dialogs->messages().isEmpty());
    for (const char* bad : {"9.9", "61", "abc"}) {
        dialogs->log.clear();
        c.txt_psize->setText(bad);
        loseFocus(c.txt_psize);
        EXPECT_EQ(c.txt_psize->text(), "35") << bad;
        EXPECT_EQ(dialogs->messages(), QStringList{"invalid Analisis Area value [10-60]"}) << bad;
    }
}

TEST_F(FrontendTest, TrailMapFollowsTheAcquisitionPage) {
    FrmFrontend& w = open();
    auto& c = w.controls();
    EXPECT_TRUE(c.Picture_post->isHidden());
    c.frm_acquire->show();
    EXPECT_FALSE(c.Picture_post->isHidden());
    c.lbl_back2->click();
    EXPECT_TRUE(c.Picture_post->isHidden());
}

TEST_F(FrontendTest, LapseEditsSetTheFlag) {
    FrmFrontend& w = open();
    EXPECT_FALSE(w.LapseChanged());
    w.controls().txtlapse->setText("12");
    EXPECT_TRUE(w.LapseChanged());
}

// ---- Device link ----------------------------------------------------------------------------

TEST_F(FrontendTest, ConnectSendsTheSetupAndDrawsThePreview) {
    writeFile(path("ipdata.dat"), kAddress.toUtf8() + "\r\n");
    answerEverything();
    FrmFrontend& w = open();
    auto& c = w.controls();
    QStringList seen; // lbl_messages when each request went out
    hook->onRequest = [&](const QString&) {
        seen << c.lbl_messages->text();
        EXPECT_FALSE(c.frame_messages->isHidden());
    };
    fakes.clock->pauses.clear();
    c.frm_acquire->show();
    c.frame_results->show();
    w.setTargetCount(3);
    c.Opt_acq[0]->click(); // Tracking: frame_train shown, connect with mode 1
    EXPECT_EQ(fakes.downloader->requests,
              (QStringList{"http://10.0.0.7/status", "http://10.0.0.7/control?var=framesize&val=13",
                           "http://10.0.0.7/control?var=aec_value&val=1200",
                           "http://10.0.0.7/control?var=agc_gain&val=0",
                           "http://10.0.0.7/control?var=quality&val=16",
                           "http://10.0.0.7/control?var=lamp&val=30",
                           "http://10.0.0.7/control?var=lenc&val=1",
                           "http://10.0.0.7/control?var=wpc&val=1", "http://10.0.0.7/capture"}));
    EXPECT_EQ(
        seen,
        (QStringList{"Connecting", "Setting Resolution 1600x1200...", "Setting Exposition...",
                     "Setting Gain...", "Setting Compression...", "Setting Lighting...",
                     "Setting Lens correction...", "Setting Pixel correction...", "Connecting"}));
    EXPECT_EQ(fakes.clock->pauses,
              (std::vector<int>{300, 300, 250, 250, 250, 250, 250, 250, 250, 250}));
    EXPECT_TRUE(dialogs->messages().isEmpty()) << dialogs->messages().join('|').toStdString();
    EXPECT_EQ(w.PageState(), 1);
    EXPECT_EQ(w.TargetCount(), -1);
    EXPECT_TRUE(c.frame_messages->isHidden());
    EXPECT_TRUE(c.frm_acquire->isHidden());
    EXPECT_TRUE(c.frame_results->isHidden());
    EXPECT_FALSE(c.frm_preview->isHidden());
    EXPECT_FALSE(c.frame_train->isHidden());
    EXPECT_FALSE(c.Picture1->isHidden());
    // The preview (gray) is in the picture with the red plate outline over it.
    // Default rectangle 335..1170 x 215..1035: the outline's top point is at (753, 215).
    EXPECT_EQ(c.Picture1->point(753, 215), ui::colourValue(255, 0, 0));
    EXPECT_TRUE(isGray(c.Picture1->point(753, 600)));
}

TEST_F(FrontendTest, ConnectBeforeACycleTouchesNoFrameButTheMessages) {
    writeFile(path("ipdata.dat"), kAddress.toUtf8() + "\r\n");
    answerEverything();
    FrmFrontend& w = open();
    auto& c = w.controls();
    w.setPageState(2);
    c.frm_preview->hide();
    c.frm_acquire->show();
    c.frame_results->show();
    EXPECT_EQ(w.ConnectDevice(2), 1);
    EXPECT_EQ(w.PageState(), 2);
    EXPECT_TRUE(c.frm_preview->isHidden());
    EXPECT_FALSE(c.frm_acquire->isHidden());
    EXPECT_FALSE(c.frame_results->isHidden());
    EXPECT_TRUE(c.frame_messages->isHidden());
}

TEST_F(FrontendTest, ConnectToASilentDevice) {
    writeFile(path("ipdata.dat"), kAddress.toUtf8() + "\r\n");
    FrmFrontend& w = open();
    auto& c = w.controls();
    QString shown;
    dialogs->onDialog = [&](const QString&) { shown = c.lbl_messages->text(); };
    c.frm_preview->hide();
    c.frame_limits->setEnabled(false);
    EXPECT_EQ(w.ConnectDevice(1), -1);
    EXPECT_EQ(fakes.downloader->requests, QStringList{"http://10.0.0.7/status"});
    EXPECT_EQ(dialogs->messages(),
              QStringList{"IP Connection ERROR!. check if device is ON, and IP"});
    EXPECT_EQ(shown, "IP Connection ERROR");
    EXPECT_EQ(w.PageState(), 1);
    EXPECT_TRUE(c.frame_messages->isHidden());
    // No set-up was tried, so the set-up page is not opened either.
    EXPECT_TRUE(c.frm_preview->isHidden());
    EXPECT_FALSE(c.frame_limits->isEnabled());
}

TEST_F(FrontendTest, ConnectWithARefusedSetting) {
    writeFile(path("ipdata.dat"), kAddress.toUtf8() + "\r\n");
    auto& bodies = fakes.downloader->bodies;
    bodies["http://10.0.0.7/status"] = "ok";
    bodies["http://10.0.0.7/control?var=framesize&val=13"] = "ok";
    bodies["http://10.0.0.7/control?var=aec_value&val=1200"] = "ok";
    FrmFrontend& w = open();
    w.setPageState(2);
    EXPECT_EQ(w.ConnectDevice(1), -1);
    EXPECT_EQ(fakes.downloader->requests.size(), 4); // stopped at agc_gain
    EXPECT_EQ(dialogs->messages(), QStringList{"Error connecting to 10.0.0.7"});
    EXPECT_EQ(w.PageState(), 2); // kept: the set-up failed
    EXPECT_NE(w.controls().lbl_messages->text(), "Setting OK...");
}

TEST_F(FrontendTest, ConnectWithARefusedAddressSaysWhy) {
    FrmFrontend& w = open();
    w.controls().txt_ip1->setText(QString());
    EXPECT_EQ(w.ConnectDevice(1), -1);
    EXPECT_TRUE(fakes.downloader->requests.isEmpty()); // no URL without a host
    ASSERT_EQ(dialogs->messages().size(), 1);
    EXPECT_EQ(dialogs->messages().front(), "No device address was given.");
    EXPECT_EQ(w.controls().lbl_messages->text(), "IP Connection ERROR");
    dialogs->log.clear();
    w.controls().txt_ip1->setText(QStringLiteral("10.0.0.7/x?y"));
    EXPECT_EQ(w.ConnectDevice(1), -1);
    EXPECT_TRUE(fakes.downloader->requests.isEmpty());
    EXPECT_EQ(dialogs->messages().size(), 1);
}

TEST_F(FrontendTest, DoubleClickOnTheModeConnectsAgain) {
    writeFile(path("ipdata.dat"), kAddress.toUtf8() + "\r\n");
    answerEverything();
    FrmFrontend& w = open();
    QRadioButton* tracking = w.controls().Opt_acq[0];
    QMouseEvent dbl(QEvent::MouseButtonDblClick, QPointF(2, 2),
                    tracking->mapToGlobal(QPointF(2, 2)), Qt::LeftButton, Qt::LeftButton,
                    Qt::NoModifier);
    QCoreApplication::sendEvent(tracking, &dbl);
    EXPECT_EQ(fakes.downloader->requests.count("http://10.0.0.7/status"), 1);
    EXPECT_EQ(fakes.downloader->requests.count("http://10.0.0.7/capture"), 1);
}

TEST_F(FrontendTest, CreditsShowTheAboutBox) {
    FrmFrontend& w = open();
    w.controls().mn_credit->trigger();
    EXPECT_TRUE(Windows::has<ui::FrmAbout>());
}

TEST_F(FrontendTest, CaptureThatFailsShowsTheUrl) {
    writeFile(path("ipdata.dat"), kAddress.toUtf8() + "\r\n");
    FrmFrontend& w = open();
    EXPECT_FALSE(w.CapturePreview());
    EXPECT_EQ(dialogs->messages(), QStringList{"ERROR http://10.0.0.7/capture"});
}

TEST_F(FrontendTest, PreviewThatCannotBeDrawnGivesErrorAcquisition) {
    writeFile(path("ipdata.dat"), kAddress.toUtf8() + "\r\n");
    FrmFrontend& w = open();
    // A body that starts like a JPEG but is not a picture.
    fakes.downloader->bodies["http://10.0.0.7/capture"] = QByteArray("\xFF\xD8\xFF\xE0 broken", 11);
    EXPECT_FALSE(w.CapturePreview());
    if (QFile::exists(path("preview.jpg"))) {
        EXPECT_EQ(dialogs->messages(), QStringList{"error acquisition"});
        EXPECT_TRUE(w.controls().Picture1->isHidden());
    }
}

TEST_F(FrontendTest, WindowDestroyedWhileTheProbeWaits) {
    writeFile(path("ipdata.dat"), kAddress.toUtf8() + "\r\n");
    answerEverything();
    FrmFrontend& w = open();
    hook->onRequest = [](const QString&) { Windows::destroyAll(); };
    EXPECT_EQ(w.ConnectDevice(1), -1);
    EXPECT_FALSE(Windows::has<ui::FrmFrontend>());
    EXPECT_EQ(fakes.downloader->requests.size(), 1);
}

TEST_F(FrontendTest, WindowClosedDuringTheSetupPauses) {
    writeFile(path("ipdata.dat"), kAddress.toUtf8() + "\r\n");
    answerEverything();
    FrmFrontend& w = open();
    w.show();
    QPointer<FrmFrontend> watch(&w);
    hook->onRequest = [&](const QString& url) {
        if (url.contains("quality") && watch)
            watch->close();
    };
    EXPECT_EQ(w.ConnectDevice(1), -1);
    EXPECT_FALSE(fakes.downloader->requests.contains("http://10.0.0.7/capture"));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(Windows::has<ui::FrmFrontend>());
}

// ---- Light and focus ------------------------------------------------------------------------

TEST_F(FrontendTest, LampValuesSentForLevelsZeroTwoAndAHalfAndSixteen) {
    writeFile(path("ipdata.dat"), kAddress.toUtf8() + "\r\n");
    answerEverything();
    FrmFrontend& w = open();
    auto& c = w.controls();
    auto lampQuery = [&]() {
        for (const QString& url : fakes.downloader->requests)
            if (url.contains("var=lamp"))
                return url.mid(url.indexOf("var=lamp"));
        return QString();
    };
    for (int i = 0; i < 12; ++i)
        c.cmd_light_less->click();
    EXPECT_DOUBLE_EQ(w.LightLevel(), 0.0);
    EXPECT_EQ(c.Label_light->text(), "Light[0]");
    w.ConnectDevice(2);
    EXPECT_EQ(lampQuery(), "var=lamp&val=0");

    fakes.downloader->requests.clear();
    for (int i = 0; i < 5; ++i)
        c.cmd_light_more->click();
    EXPECT_EQ(c.Label_light->text(), "Light[2.5]");
    w.ConnectDevice(2);
    EXPECT_EQ(lampQuery(), "var=lamp&val=15");

    fakes.downloader->requests.clear();
    for (int i = 0; i < 40; ++i)
        c.cmd_light_more->click();
    EXPECT_DOUBLE_EQ(w.LightLevel(), 16.0);
    w.ConnectDevice(2);
    EXPECT_EQ(lampQuery(), "var=lamp&val=96");

    c.cmd_light_auto->click();
    EXPECT_EQ(c.Label_light->text(), "Light[5]");
    EXPECT_TRUE(w.LightChanged());
}

TEST_F(FrontendTest, HandEditedLightLevelIsHeldBeforeItIsSent) {
    writeFile(path("ipdata.dat"), kAddress.toUtf8() + "\r\n");
    writeFile(path("config.dat"), "default\r\n[ - - ]\r\n250.0\r\n");
    answerEverything();
    FrmFrontend& w = open();
    EXPECT_DOUBLE_EQ(w.LightLevel(), 16.0);
    EXPECT_EQ(w.lampValue(), 96);
    w.ConnectDevice(2);
    EXPECT_TRUE(fakes.downloader->requests.contains("http://10.0.0.7/control?var=lamp&val=96"));
    w.setLightLevel(-3);
    EXPECT_DOUBLE_EQ(w.LightLevel(), 5.0);
}

TEST_F(FrontendTest, FocusModeCountsDownOnTheMonotonicClock) {
    writeFile(path("ipdata.dat"), kAddress.toUtf8() + "\r\n");
    answerEverything();
    FrmFrontend& w = open();
    auto& c = w.controls();
    c.cmd_focus->click();
    EXPECT_TRUE(w.focusRunning());
    EXPECT_EQ(c.cmd_focus->text(), "20");
    EXPECT_FALSE(c.frm_contrast->isHidden());
    EXPECT_EQ(c.Label_light->text(), "Light[5]");
    EXPECT_TRUE(c.Timer_focus->isActive());
    EXPECT_EQ(c.Timer_focus->interval(), 250);

    // Three clicks on "+" between two ticks give one lamp request with the final level.
    c.cmd_light_more->click();
    c.cmd_light_more->click();
    c.cmd_light_more->click();
    fakes.downloader->requests.clear();
    fakes.clock->advance(250);
    w.FocusModeTick();
    EXPECT_EQ(fakes.downloader->requests,
              (QStringList{"http://10.0.0.7/control?var=lamp&val=39", "http://10.0.0.7/capture"}));
    EXPECT_EQ(c.cmd_focus->text(), "STOP FOCUS [30s]");
    EXPECT_TRUE(c.Timer_focus->isActive());
    EXPECT_FALSE(w.LightChanged());

    fakes.downloader->requests.clear();
    fakes.clock->advance(10000);
    w.FocusModeTick();
    EXPECT_EQ(fakes.downloader->requests, QStringList{"http://10.0.0.7/capture"});
    EXPECT_EQ(c.cmd_focus->text(), "STOP FOCUS [20s]");

    // A slow capture: 61 s have passed. The mode ends (minutes count).
    fakes.clock->advance(51000);
    fakes.downloader->requests.clear();
    w.FocusModeTick();
    EXPECT_TRUE(fakes.downloader->requests.isEmpty());
    EXPECT_FALSE(w.focusRunning());
    EXPECT_EQ(c.cmd_focus->text(), "FOCUS");
    EXPECT_TRUE(c.frm_contrast->isHidden());
    EXPECT_FALSE(c.Timer_focus->isActive());
}

TEST_F(FrontendTest, FocusModeEndsAtThirtySeconds) {
    writeFile(path("ipdata.dat"), kAddress.toUtf8() + "\r\n");
    answerEverything();
    FrmFrontend& w = open();
    w.FocusButtonClick();
    fakes.clock->advance(29400);
    w.FocusModeTick();
    EXPECT_TRUE(w.focusRunning());
    EXPECT_EQ(w.controls().cmd_focus->text(), "STOP FOCUS [1s]");
    fakes.clock->advance(200);
    w.FocusModeTick();
    EXPECT_FALSE(w.focusRunning());
}

TEST_F(FrontendTest, FocusButtonAgainEndsTheMode) {
    writeFile(path("ipdata.dat"), kAddress.toUtf8() + "\r\n");
    answerEverything();
    FrmFrontend& w = open();
    w.FocusButtonClick();
    w.FocusButtonClick();
    EXPECT_FALSE(w.focusRunning());
    EXPECT_FALSE(w.controls().Timer_focus->isActive());
    EXPECT_TRUE(w.controls().frm_contrast->isHidden());
    EXPECT_EQ(w.controls().cmd_focus->text(), "FOCUS");
    // A tick that still comes only stops the timer.
    fakes.downloader->requests.clear();
    w.FocusModeTick();
    EXPECT_TRUE(fakes.downloader->requests.isEmpty());
}

TEST_F(FrontendTest, FocusEndsWithTheSetupPageAndItsButtonSaysSo) {
    writeFile(path("ipdata.dat"), kAddress.toUtf8() + "\r\n");
    answerEverything();
    FrmFrontend& w = open();
    auto& c = w.controls();
    w.FocusButtonClick();
    fakes.clock->advance(3000);
    w.FocusModeTick();
    ASSERT_EQ(c.cmd_focus->text(), "STOP FOCUS [27s]");
    // "Next >", then "< Back": the mode is off, and the button reads so.
    w.lblNextClick();
    w.lblBack2Click();
    EXPECT_FALSE(w.focusRunning());
    EXPECT_FALSE(c.Timer_focus->isActive());
    EXPECT_EQ(c.cmd_focus->text(), "FOCUS");
    EXPECT_TRUE(c.frm_contrast->isHidden());
}

TEST_F(FrontendTest, FocusWithASilentDevice) {
    writeFile(path("ipdata.dat"), kAddress.toUtf8() + "\r\n");
    FrmFrontend& w = open();
    w.FocusButtonClick();
    EXPECT_EQ(dialogs->messages(),
              QStringList{"IP Connection ERROR!. check if device is ON, and IP"});
    EXPECT_EQ(w.controls().lbl_messages->text(), "IP Connection ERROR");
    EXPECT_TRUE(w.focusRunning());
    EXPECT_EQ(w.controls().cmd_focus->text(), "20");
    EXPECT_FALSE(w.controls().Timer_focus->isActive());
    w.FocusButtonClick(); // the next click ends the mode
    EXPECT_FALSE(w.focusRunning());
    EXPECT_EQ(w.controls().cmd_focus->text(), "FOCUS");
}

TEST_F(FrontendTest, FocusTickNeverRunsInsideItself) {
    writeFile(path("ipdata.dat"), kAddress.toUtf8() + "\r\n");
    answerEverything();
    FrmFrontend& w = open();
    w.FocusButtonClick();
    int captures = 0;
    hook->onRequest = [&](const QString& url) {
        if (url.endsWith("/capture")) {
            ++captures;
            if (captures == 1)
                w.FocusModeTick(); // a tick arriving while the first one waits
        }
    };
    fakes.clock->advance(250);
    w.FocusModeTick();
    EXPECT_EQ(captures, 1);
}

TEST_F(FrontendTest, AutoloadTickNeverRunsInsideItself) {
    writeFile(path("ipdata.dat"), kAddress.toUtf8() + "\r\n");
    answerEverything();
    FrmFrontend& w = open();
    w.controls().Timer_autoload->start();
    int captures = 0;
    hook->onRequest = [&](const QString& url) {
        if (url.endsWith("/capture") && ++captures == 1)
            w.AutoloadPreviewTick(); // a tick arriving while the first one waits
    };
    w.AutoloadPreviewTick();
    EXPECT_EQ(captures, 1);
    EXPECT_FALSE(w.controls().Timer_autoload->isActive());
}

TEST_F(FrontendTest, ConnectWhileAConnectWaitsIsRefused) {
    writeFile(path("ipdata.dat"), kAddress.toUtf8() + "\r\n");
    answerEverything();
    FrmFrontend& w = open();
    int inner = 0;
    hook->onRequest = [&](const QString& url) {
        if (url.endsWith("/status") && inner == 0)
            inner = w.ConnectDevice(1); // e.g. a double-click handled during the wait
    };
    EXPECT_EQ(w.ConnectDevice(1), 1);
    EXPECT_EQ(inner, -1);
    EXPECT_EQ(fakes.downloader->requests.count("http://10.0.0.7/status"), 1);
    EXPECT_EQ(fakes.downloader->requests.count("http://10.0.0.7/capture"), 1);
    EXPECT_TRUE(w.controls().frame_messages->isHidden());
}

TEST_F(FrontendTest, WindowDestroyedWhileTheFocusTickCaptures) {
    writeFile(path("ipdata.dat"), kAddress.toUtf8() + "\r\n");
    answerEverything();
    FrmFrontend& w = open();
    w.FocusButtonClick();
    hook->onRequest = [](const QString& url) {
        if (url.endsWith("/capture"))
            Windows::destroyAll();
    };
    fakes.clock->advance(250);
    w.FocusModeTick();
    EXPECT_FALSE(Windows::has<ui::FrmFrontend>());
}

// ---- Plate position ---------------------------------------------------------------------------

class PlateTest : public FrontendTest {
protected:
    FrmFrontend& openWithPreview() {
        writeFile(path("training.dat"), trainingText("330", "1100", "200", "1000"));
        writeFile(path("preview.jpg"), grayJpeg());
        return open();
    }
};

TEST_F(PlateTest, OverlayDrawsTheOutlineAndThePicks) {
    FrmFrontend& w = openWithPreview();
    auto* pic = w.controls().Picture1;
    ASSERT_TRUE(w.DrawPlateOverlay());
    const int red = ui::colourValue(255, 0, 0);
    EXPECT_EQ(pic->point(330, 600), red);
    EXPECT_EQ(pic->point(1100, 600), red);
    EXPECT_EQ(pic->point(715, 200), red);
    EXPECT_EQ(pic->point(715, 1000), red);
    EXPECT_TRUE(isGray(pic->point(715, 600)));

    // No picks drawn while TargetCount is -1 or 0; one blue square per pick after.
    w.plate().pickedTargets().x[0] = 500;
    w.plate().pickedTargets().y[0] = 400;
    w.setTargetCount(0);
    ASSERT_TRUE(w.DrawPlateOverlay());
    const int blue = ui::colourValue(0, 0, 255);
    auto blueNear = [&](double x, double y) {
        return pic->point(x, y) == blue || pic->point(x + 1, y) == blue ||
               pic->point(x, y + 1) == blue;
    };
    EXPECT_FALSE(blueNear(482, 400));
    w.setTargetCount(1);
    ASSERT_TRUE(w.DrawPlateOverlay());
    EXPECT_TRUE(blueNear(482, 400));
    EXPECT_TRUE(blueNear(500, 417));
    EXPECT_TRUE(isGray(pic->point(500, 400)));
}

TEST_F(PlateTest, ShowImageTakesThePreviewRegionInMicrobeamMode) {
    FrmFrontend& w = open();
    // White in the top-left 640 x 480, black elsewhere.
    QImage image(1600, 1200, QImage::Format_RGB32);
    image.fill(Qt::black);
    for (int y = 0; y < 480; ++y)
        for (int x = 0; x < 640; ++x)
            image.setPixelColor(x, y, Qt::white);
    const QString file = path("frame.png");
    ASSERT_TRUE(image.save(file));
    auto* pic = w.controls().Picture1;
    ASSERT_TRUE(w.ShowImage(file));
    EXPECT_EQ(pic->point(1500, 1100), ui::colourValue(0, 0, 0));
    EXPECT_EQ(pic->point(100, 100), ui::colourValue(255, 255, 255));
    w.controls().Opt_acq[1]->setChecked(true);
    ASSERT_TRUE(w.ShowImage(file));
    EXPECT_EQ(pic->point(1500, 1100), ui::colourValue(255, 255, 255));
    // Drawing afterwards uses the 1600 x 1200 coordinates.
    EXPECT_DOUBLE_EQ(pic->scaleRight(), 1600.0);
    EXPECT_DOUBLE_EQ(pic->scaleBottom(), 1200.0);
    EXPECT_FALSE(w.ShowImage(path("missing.jpg")));
    EXPECT_TRUE(pic->isHidden());
}

TEST_F(PlateTest, OverlayWithoutAPreviewFails) {
    writeFile(path("training.dat"), trainingText("330", "1100", "200", "1000"));
    FrmFrontend& w = open();
    EXPECT_FALSE(w.DrawPlateOverlay());
    EXPECT_TRUE(w.controls().Picture1->isHidden());
}

TEST_F(PlateTest, SliderResizesAroundTheCentre) {
    FrmFrontend& w = openWithPreview();
    auto& c = w.controls();
    EXPECT_EQ(c.HScroll_plate->value(), 785);
    c.HScroll_plate->setValue(700);
    c.HScroll_plate->setValue(785);
    EXPECT_EQ(c.txt_x1->text(), "318.5");
    EXPECT_EQ(c.txt_x2->text(), "1111.5");
    EXPECT_EQ(c.txt_y1->text(), "211.5");
    EXPECT_EQ(c.txt_y2->text(), "988.5");
    // The outline is drawn from the whole values 318, 1112, 212 and 988.
    EXPECT_EQ(c.Picture1->point(318, 600), ui::colourValue(255, 0, 0));
}

TEST_F(PlateTest, SliderWhileLoadingChangesNothing) {
    FrmFrontend& w = openWithPreview();
    w.setPageState(0);
    w.controls().HScroll_plate->setValue(900);
    EXPECT_EQ(w.controls().txt_x1->text(), "330");
}

TEST_F(PlateTest, NudgesMoveByFivePixels) {
    FrmFrontend& w = openWithPreview();
    auto& c = w.controls();
    c.cmd_offset_left->click();
    EXPECT_EQ(c.txt_x1->text(), "325");
    EXPECT_EQ(c.txt_x2->text(), "1095");
    c.cmd_offset_right->click();
    EXPECT_EQ(c.txt_x1->text(), "330");
    c.cmd_offset_down->click(); // "up"
    EXPECT_EQ(c.txt_y1->text(), "195");
    EXPECT_EQ(c.txt_y2->text(), "995");
    c.cmd_offset_up->click(); // "down"
    EXPECT_EQ(c.txt_y1->text(), "200");
    c.txt_x1->setText("3");
    c.cmd_offset_left->click();
    EXPECT_EQ(c.txt_x1->text(), "-2");
    EXPECT_EQ(c.txt_x2->text(), "1095");
    c.cmd_offset_left->click(); // guard: x1 not above 0
    EXPECT_EQ(c.txt_x1->text(), "-2");
    EXPECT_FALSE(c.Picture1->isHidden()); // redrawn in every case
}

TEST_F(PlateTest, ATrainingTestShowsOnlyItsOwnMarks) {
    FrmFrontend& w = openWithPreview();
    auto& c = w.controls();
    ASSERT_TRUE(w.DrawPlateOverlay());
    ASSERT_EQ(c.cmd_detect->text(), "TEST TRAINING");
    // The finder of each test finds what the test gives it.
    std::vector<formats::WormRecord> found;
    auto& launcher = *fakes.launcher;
    launcher.onStart = [&](const platform::fakes::FakeLauncher::Start& s) {
        launcher.running[s.pid] = false;
        if (QFileInfo(s.program).fileName() == "Sirrex") {
            const std::vector<std::uint8_t> block = formats::encodeBlock(0, found, true);
            writeFile(path("xy_worms.bin"),
                      QByteArray(reinterpret_cast<const char*>(block.data()),
                                 static_cast<qsizetype>(block.size())));
        }
    };
    // A mark is a blue square of side 36 around the detection: its left side at x - 18.
    const int blue = ui::colourValue(0, 0, 255);
    const auto marked = [&](int x, int y) { return c.Picture1->point(x - 18, y) == blue; };
    found = {{1, 500, 400}, {2, 600, 500}};
    c.cmd_detect->click();
    ASSERT_TRUE(dialogs->messages().isEmpty()) << dialogs->messages().join('|').toStdString();
    EXPECT_TRUE(marked(500, 400));
    EXPECT_TRUE(marked(600, 500));
    found = {{1, 800, 700}};
    c.cmd_detect->click();
    EXPECT_TRUE(marked(800, 700));
    EXPECT_FALSE(marked(500, 400));
    EXPECT_FALSE(marked(600, 500));
    EXPECT_TRUE(isGray(c.Picture1->point(500 - 18, 400)));
    // A test that finds nothing shows nothing of the one before, over the outlined preview.
    found.clear();
    c.cmd_detect->click();
    EXPECT_FALSE(marked(800, 700));
    EXPECT_EQ(c.Picture1->point(330, 600), ui::colourValue(255, 0, 0));
    EXPECT_EQ(launcher.started.size(), 6u);
}

// ---- Layout -----------------------------------------------------------------------------------

TEST_F(FrontendTest, ResizePlacesControlsByTheGrid) {
    FrmFrontend& w = open();
    auto& c = w.controls();
    w.show();
    QCoreApplication::processEvents();
    // The outer size (frame included) is 1024 x 768 pixels: 15360 x 11520 twips.
    const QSize frame = w.frameGeometry().size() - w.size();
    w.resize(QSize(1024, 768) - frame);
    QCoreApplication::processEvents();
    ASSERT_EQ(w.frameGeometry().size(), QSize(1024, 768));
    // Picture1: 883.2, 892.8, 8524.8, 8568 twips.
    EXPECT_EQ(c.Picture1->geometry(), QRect(59, 60, 568, 571));
    // frm_preview: 9638.4, 1296, 4262.4, 8190 twips.
    EXPECT_EQ(c.frm_preview->geometry(), QRect(643, 86, 284, 546));
    EXPECT_EQ(c.cmd_explore_pj->height(), c.txt_project->height());
    EXPECT_EQ(c.lbl_stimated->x(), 0);
    EXPECT_EQ(c.lbl_stimated->width(), c.frm_acquire->width());
    EXPECT_EQ(c.frm_contrast->pos(), QPoint(0, 0));
    EXPECT_EQ(c.Frame_report->geometry(), c.frame_results->geometry());
    // The mode controls are hidden at every pass.
    c.Opt_acq[0]->show();
    c.lbl_mode->show();
    w.resize(1100, 800);
    QCoreApplication::processEvents();
    EXPECT_TRUE(c.Opt_acq[0]->isHidden());
    EXPECT_TRUE(c.lbl_mode->isHidden());
    EXPECT_TRUE(c.Image1->isHidden());
}

} // namespace
