// The report frames of both windows, driven offscreen with fake services: "Report..." of the
// reanalysis window over the loaded acquisition, "Generate" of the acquisition window over the
// folder in `lbl_path`; report files compared byte for byte under a fixed clock.

#include "app/windows/ui/frm_frontend.h"
#include "app/windows/ui/frm_training.h"
#include "platform/fakes/fake_services.h"
#include "platform/process_launcher.h"
#include "tests/support/all_windows.h"
#include "tests/windows/ui/frontend_support.h"
#include "tests/windows/ui/reanalysis_support.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

namespace {

using frontend_test::grayJpeg;
using frontend_test::readFile;
using frontend_test::writeFile;
using ui::FrmFrontend;
using ui::FrmTraining;
using ui::Windows;

std::string fileText(const QString& path) {
    return readFile(path).toStdString();
}

const QString kAcquisition = QStringLiteral("20240131_0915_plateA");

// A training whose analysis rectangle is 350 px wide and high: with a plate of 35 mm, 10 px/mm.
QByteArray tenPixelsPerMm() {
    return "xs 100\r\nxe 450\r\nys 100\r\nye 450\r\nbs 35\r\npl 26\r\nph 76\r\npt 20\r\n"
           "tl 6.8\r\nth 9.5\r\ntt 20\r\nll 16\r\nlh 25\r\nlt 20\r\nal 10\r\nat 50\r\n"
           "mt 31.25\r\nmm 35\r\n";
}

// Trail 7 crawls 20 px a frame along x over frames 0 to 11; trail 3 stays where it is.
QByteArray storedTrails() {
    QByteArray text = "FRAME;ID;X;Y;LOST_COUNT;#PIX;X_SIZE;Y_SIZE;SHAPE\r\n";
    for (int f = 0; f <= 11; ++f) {
        text += QByteArray::number(f) + ";3;300;300;0;50;8;6;0\r\n";
        text += QByteArray::number(f) + ";7;" + QByteArray::number(100 + 20 * f) +
                ";100;0;50;8;6;0\r\n";
    }
    return text;
}

// The listing of block 0 with trails numbered `still` and `moving`: both have 11 counted rows,
// so they come in id order, the still trail 3 first.
std::string listing(const char* still, const char* moving, const char* sep = ";") {
    const std::string s(sep);
    return "Particle trails:\r\n#block0\r\n#id" + s + "distance" + s + "#frames" + s + "speed" + s +
           "rotation\r\n" + still + s + "0" + s + "11" + s + "0" + s + "0\r\n" + moving + s +
           "19.1" + s + "11" + s + "1.736" + s + "0\r\n";
}

// The whole report of the stored acquisition in one-minute blocks, stamped 2026/01/15 10:30:00.
std::string expectedReport(const QString& folder, const std::string& listingText,
                           const char* sep = ";") {
    const std::string s(sep);
    return "\"Report File\"\r\n\"2026/01/15 10:30:00\"\r\n\"" + folder.toStdString() +
           "\"\r\n\"Analysis area[mm]\"" + s + "35.0\r\n\r\nTime" + s + "#Particles" + s +
           "Average_speed[mm/s]" + s + "Travelled_Distance[mm/part]" + s + "Motility_Score" + s +
           "Rotation_index\r\n1" + s + "2" + s + "0.868" + s + "9.55" + s + "0.50" + s +
           "0.00\r\n\r\n\r\n" + listingText;
}

class ReportFramesTest : public ::testing::Test {
protected:
    void SetUp() override {
        test_support::ensureApplication();
        ASSERT_TRUE(program.isValid());
        acquisition = program.filePath("default/" + kAcquisition);
        QDir().mkpath(acquisition + "/img");
        writeFile(acquisition + "/img/c10_0_0_7f0.jpg", grayJpeg(160, 120));
        writeFile(acquisition + "/training.dat", tenPixelsPerMm());
        writeFile(acquisition + "/worm_trails.csv", storedTrails());
    }
    void TearDown() override {
        Windows::destroyAll();
        QCoreApplication::processEvents();
    }
    void start(platform::Services services) {
        Windows::setServices(services);
        test_support::registerAllWindows();
    }
    // The reanalysis window with the acquisition loaded, as the operator loads it.
    FrmTraining& reanalysis() {
        start(fakes.services(program.path()));
        FrmTraining& w = Windows::get<FrmTraining>();
        auto& c = w.controls();
        EXPECT_TRUE(reanalysis_test::chooseAcquisition(w, kAcquisition));
        EXPECT_TRUE(w.LoadAcquisition());
        EXPECT_EQ(w.AcquisitionFolder(), acquisition);
        c.combo_bin->setCurrentText("1");
        return w;
    }
    FrmFrontend& acquisitionWindow(platform::Services services) {
        start(services);
        FrmFrontend& w = Windows::get<FrmFrontend>();
        w.controls().Timer_autoload->stop();
        auto& c = w.controls();
        c.txt_x1->setText("100");
        c.txt_x2->setText("450");
        c.txt_y1->setText("100");
        c.txt_y2->setText("450");
        c.txt_psize->setText("35");
        return w;
    }
    QString reportFile(const char* ending = ".csv") const {
        return acquisition + "/report20260115_103000" + ending;
    }
    QStringList reports() const {
        return QDir(acquisition).entryList({"report*"}, QDir::Files, QDir::Name);
    }

    QTemporaryDir program;
    QString acquisition;
    platform::fakes::FakeServices fakes;
};

TEST_F(ReportFramesTest, ReanalysisReportIsExactOpenedAndTheFrameStays) {
    FrmTraining& w = reanalysis();
    auto& c = w.controls();
    EXPECT_EQ(c.Frame_report->title(), "Report");
    EXPECT_EQ(c.Label_bin->text(), "BIN_Size [min]");
    EXPECT_EQ(c.Label_spacer->text(), "spacer");
    w.lblBackClick(); // to the results frame
    c.cmd_report_calc->click();
    EXPECT_TRUE(fakes.dialogs->messages().isEmpty())
        << fakes.dialogs->messages().join('|').toStdString();
    EXPECT_EQ(fileText(reportFile()), expectedReport(acquisition, listing("0", "1")));
    EXPECT_EQ(fileText(acquisition + "/particle_trails.csv"), listing("0", "1"));
    EXPECT_EQ(fakes.launcher->opened, QStringList{reportFile()});
    EXPECT_FALSE(c.Frame_report->isHidden());
    EXPECT_FALSE(w.Processing());
}

TEST_F(ReportFramesTest, SecondReportOfASecondEndsInBAndAThirdReplacesIt) {
    FrmTraining& w = reanalysis();
    auto& c = w.controls();
    c.cmd_report_calc->click();
    writeFile(reportFile("b.csv"), "an older report of this second");
    c.cmd_report_calc->click();
    EXPECT_EQ(fileText(reportFile("b.csv")), fileText(reportFile()));
    c.txt_spacer->setText(",");
    c.cmd_report_calc->click(); // replaces the "b.csv" file
    EXPECT_EQ(fileText(reportFile("b.csv")),
              expectedReport(acquisition, listing("0", "1", ","), ","));
    EXPECT_EQ(reports(), (QStringList{"report20260115_103000.csv", "report20260115_103000b.csv"}));
    EXPECT_EQ(fakes.launcher->opened,
              (QStringList{reportFile(), reportFile("b.csv"), reportFile("b.csv")}));
    // A second later the plain name again.
    fakes.clock->advance(1000);
    c.cmd_report_calc->click();
    EXPECT_TRUE(QFile::exists(acquisition + "/report20260115_103001.csv"));
}

TEST_F(ReportFramesTest, IdMarksNumberTheTrailsByTheirIds) {
    FrmTraining& w = reanalysis();
    auto& c = w.controls();
    c.mn_idmark->trigger();
    ASSERT_TRUE(c.mn_idmark->isChecked());
    c.cmd_report_calc->click();
    EXPECT_EQ(fileText(reportFile()), expectedReport(acquisition, listing("3", "7")));
}

TEST_F(ReportFramesTest, MissingTrailsFileIsSaidAndTheNextReportWorks) {
    FrmTraining& w = reanalysis();
    auto& c = w.controls();
    QFile::remove(acquisition + "/worm_trails.csv");
    c.cmd_report_calc->click();
    EXPECT_EQ(fakes.dialogs->messages(), QStringList{"Worm tracks file not found"});
    EXPECT_TRUE(reports().isEmpty());
    EXPECT_FALSE(QFile::exists(acquisition + "/particle_trails.csv"));
    EXPECT_TRUE(fakes.launcher->opened.isEmpty());
    EXPECT_FALSE(w.Processing());
    // The trails are back: the same button reports.
    writeFile(acquisition + "/worm_trails.csv", storedTrails());
    c.cmd_report_calc->click();
    EXPECT_EQ(fakes.dialogs->messages().size(), 1);
    EXPECT_EQ(fileText(reportFile()), expectedReport(acquisition, listing("0", "1")));
    EXPECT_EQ(fakes.launcher->opened, QStringList{reportFile()});
}

TEST_F(ReportFramesTest, BlockLengthBelowOneAndAnEmptySpacerAreReplaced) {
    FrmTraining& w = reanalysis();
    auto& c = w.controls();
    c.combo_bin->setCurrentText("0");
    c.txt_spacer->setText("");
    c.cmd_report_calc->click();
    EXPECT_TRUE(fakes.dialogs->messages().isEmpty())
        << fakes.dialogs->messages().join('|').toStdString();
    EXPECT_EQ(c.combo_bin->currentText(), "1");
    EXPECT_EQ(c.txt_spacer->text(), "");
    EXPECT_EQ(fileText(reportFile()), expectedReport(acquisition, listing("0", "1")));
}

TEST_F(ReportFramesTest, PlateSizeOutsideTenToSixtyBecomes35BeforeTheReport) {
    FrmFrontend& w = acquisitionWindow(fakes.services(program.path()));
    auto& c = w.controls();
    for (const char* size : {"61", "9.5"}) {
        c.cmdreport->click();
        c.lbl_path->setText(acquisition);
        c.combo_bin->setCurrentText("1");
        c.txt_psize->setText(size); // typed, the box not yet left
        c.cmd_generate->click();
        EXPECT_EQ(c.txt_psize->text(), "35") << size;
        fakes.clock->advance(1000);
    }
    EXPECT_TRUE(fakes.dialogs->messages().isEmpty())
        << fakes.dialogs->messages().join('|').toStdString();
    // 350 px over 35 mm: the figures of 10 px per mm.
    EXPECT_EQ(fileText(reportFile()), expectedReport(acquisition, listing("0", "1")));
    EXPECT_EQ(reports().size(), 2);
}

TEST_F(ReportFramesTest, NoAcquisitionLoadedWritesNothing) {
    start(fakes.services(program.path()));
    FrmTraining& w = Windows::get<FrmTraining>();
    w.controls().cmd_report_calc->click();
    EXPECT_EQ(fakes.dialogs->messages(), QStringList{"No acquisition folder chosen"});
    EXPECT_TRUE(fakes.launcher->opened.isEmpty());
    EXPECT_TRUE(reports().isEmpty());
}

TEST_F(ReportFramesTest, GenerateReportsTheFolderShownAndClosesTheFrame) {
    FrmFrontend& w = acquisitionWindow(fakes.services(program.path()));
    auto& c = w.controls();
    c.cmdreport->click();
    ASSERT_FALSE(c.Frame_report->isHidden());
    c.lbl_path->setText(acquisition);
    c.combo_bin->setCurrentText("1");
    c.txt_spacer->setText("");
    c.cmd_generate->click();
    EXPECT_TRUE(fakes.dialogs->messages().isEmpty())
        << fakes.dialogs->messages().join('|').toStdString();
    EXPECT_EQ(fileText(reportFile()), expectedReport(acquisition, listing("0", "1")));
    EXPECT_EQ(fakes.launcher->opened, QStringList{reportFile()});
    EXPECT_TRUE(c.Frame_report->isHidden());
    // Cancel closes the frame without a report.
    c.cmdreport->click();
    c.cmd_cancelreport->click();
    EXPECT_TRUE(c.Frame_report->isHidden());
    EXPECT_EQ(reports().size(), 1);
}

TEST_F(ReportFramesTest, AClickWhileAReportIsOpeningMakesNoSecondReport) {
    FrmFrontend& w = acquisitionWindow(fakes.services(program.path()));
    auto& c = w.controls();
    c.cmdreport->click();
    c.lbl_path->setText(acquisition);
    c.combo_bin->setCurrentText("1");
    // A second click waits in the queue and comes while the first report lets events run.
    QMetaObject::invokeMethod(c.cmd_generate, &QPushButton::click, Qt::QueuedConnection);
    c.cmd_generate->click();
    QCoreApplication::processEvents();
    EXPECT_EQ(reports(), QStringList{"report20260115_103000.csv"});
    EXPECT_EQ(fakes.launcher->opened, QStringList{reportFile()});
}

TEST_F(ReportFramesTest, AWindowDestroyedWhileTheReportOpensStillOpensIt) {
    FrmTraining& w = reanalysis();
    // The windows go while the report lets events run before it opens the file.
    QMetaObject::invokeMethod(
        qApp, [] { Windows::destroyAll(); }, Qt::QueuedConnection);
    w.controls().cmd_report_calc->click();
    EXPECT_EQ(fakes.launcher->opened, QStringList{reportFile()});
    EXPECT_EQ(fileText(reportFile()), expectedReport(acquisition, listing("0", "1")));
}

TEST_F(ReportFramesTest, GenerateWithoutTrailsSaysSoAndClosesTheFrame) {
    FrmFrontend& w = acquisitionWindow(fakes.services(program.path()));
    auto& c = w.controls();
    QFile::remove(acquisition + "/worm_trails.csv");
    c.cmdreport->click();
    c.lbl_path->setText(acquisition);
    c.cmd_generate->click();
    EXPECT_EQ(fakes.dialogs->messages(), QStringList{"Worm tracks file not found"});
    EXPECT_TRUE(c.Frame_report->isHidden());
    EXPECT_TRUE(reports().isEmpty());
    EXPECT_TRUE(fakes.launcher->opened.isEmpty());
}

TEST_F(ReportFramesTest, AReportThatCannotBeOpenedIsSaidAndKept) {
    // The real launcher, with the desktop's opener taken from a folder of this test's own.
    QTemporaryDir bin;
    ASSERT_TRUE(bin.isValid());
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", bin.path().toLocal8Bit());
    platform::Services services = fakes.services(program.path());
    services.launcher = std::make_shared<platform::ProcessLauncher>();
    FrmFrontend& w = acquisitionWindow(services);
    auto& c = w.controls();
    auto generate = [&] {
        c.cmdreport->click();
        c.lbl_path->setText(acquisition);
        c.combo_bin->setCurrentText("1");
        c.cmd_generate->click();
    };
    // No opener at all: it does not start.
    generate();
    const QString said = "Report written to " + reportFile() + ", but it could not be opened";
    EXPECT_EQ(fakes.dialogs->messages(), QStringList{said});
    // An opener that starts and finds no handler for the file: it exits with 4, later.
    writeFile(bin.filePath("xdg-open"), "#!/bin/sh\nexit 4\n");
    QFile::setPermissions(bin.filePath("xdg-open"), QFile::ReadOwner | QFile::ExeOwner);
    generate();
    const QString second =
        "Report written to " + reportFile("b.csv") + ", but it could not be opened";
    QElapsedTimer waited; // a guard only: the opener's end comes within milliseconds
    waited.start();
    while (fakes.dialogs->messages().size() < 2 && waited.elapsed() < 10000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(5);
    }
    EXPECT_EQ(fakes.dialogs->messages(), QStringList({said, second}));
    qputenv("PATH", path);
    EXPECT_EQ(fileText(reportFile()), expectedReport(acquisition, listing("0", "1")));
    EXPECT_EQ(fileText(reportFile("b.csv")), expectedReport(acquisition, listing("0", "1")));
}

} // namespace
