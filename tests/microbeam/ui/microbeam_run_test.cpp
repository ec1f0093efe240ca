// The Microbeam run of both windows: start and stop by the run button and its captions, the end
// after the last frame, the flag left on by a folder without frame 0, a block that could not be
// measured, the reduced picture and the mask, and a close in the middle of a run.

#include "tests/microbeam/ui/microbeam_ui_support.h"
#include "tests/windows/ui/reanalysis_support.h"

#include "app/acquisition/ui/reprocess_controller.h"
#include "app/microbeam/ui/frame_check_controller.h"
#include "app/microbeam/ui/microbeam_run_controller.h"
#include "app/widgets/caption_fit.h"
#include "app/widgets/picture_box.h"
#include "app/windows/ui/frm_training.h"
#include "formats/training_file.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>

namespace {

using microbeam_test::MicrobeamWindowTest;
using microbeam_test::writeFile;
using ui::FrmProcessMulti;
using ui::FrmTraining;
using ui::MicrobeamRunController;
using ui::Windows;

constexpr int kRed = ui::colourValue(255, 0, 0);

class MicrobeamRunTest : public MicrobeamWindowTest {
protected:
    FrmProcessMulti& ready(const std::vector<int>& frames) {
        folder = frameFolder("run/img", frames);
        FrmProcessMulti& w = window();
        w.show();
        w.controls().txt_file->setText(folder);
        return w;
    }
    // Ticks of the run's timer, driven by hand.
    void ticks(FrmProcessMulti& w, int count) {
        for (int i = 0; i < count; ++i)
            w.run().MicrobeamRunStep();
    }
    QString folder;
};

TEST_F(MicrobeamRunTest, ProcessStartsAndStopsTheRunWithItsCaptions) {
    FrmProcessMulti& w = ready({0, 1, 2, 3, 4, 5});
    auto& c = w.controls();
    c.txt_current->setText("7");
    c.txt_activity->setText("99");
    c.cmd_process->click();
    EXPECT_TRUE(fakes.dialogs->log.empty()) << fakes.dialogs->messages().join("|").toStdString();
    EXPECT_TRUE(w.run().running());
    EXPECT_EQ(c.cmd_process->text(), "STOP");
    EXPECT_EQ(c.txt_current->text(), "0");
    EXPECT_EQ(c.txt_activity->text(), "0");
    EXPECT_TRUE(c.Timer2->isActive());
    // Frame 0 is converted at the start, hidden, at reduced scale.
    ASSERT_EQ(fakes.launcher->started.size(), 1u);
    const auto& dravel = fakes.launcher->started[0];
    EXPECT_EQ(dravel.program, program + "/Dravel");
    EXPECT_EQ(dravel.style, platform::WindowStyle::Hidden);
    EXPECT_EQ(dravel.arguments, QStringList({"-grayscale", "-scale", "1/8", "-outfile",
                                             program + "/microbeam.pgm", frameName(folder, 0)}));
    EXPECT_EQ(w.FrameSize(), QSize(200, 150));

    ticks(w, 3);
    EXPECT_EQ(c.txt_current->text(), "3");
    EXPECT_EQ(converted, QStringList({"c10_0_0_7f0.jpg", "c10_0_0_7f1.jpg", "c10_0_0_7f2.jpg",
                                      "c10_0_0_7f3.jpg"}));
    // The reduced frame fills the picture on its 200 x 150 raster.
    EXPECT_EQ(c.Picture1->scaleRight(), 200.0);
    EXPECT_EQ(c.Picture1->scaleBottom(), 150.0);
    EXPECT_EQ(c.Picture1->image().pixel(0, 0), QColor(128, 128, 128).rgb());
    EXPECT_EQ(c.Picture1->image().pixel(1599, 1199), QColor(128, 128, 128).rgb());

    c.cmd_process->click();
    EXPECT_FALSE(w.run().running());
    EXPECT_EQ(c.cmd_process->text(), "Process");
    EXPECT_FALSE(c.Timer2->isActive());
    // A stop keeps the counter; ticks after it do nothing.
    ticks(w, 2);
    EXPECT_EQ(c.txt_current->text(), "3");
    EXPECT_EQ(microbeam::MicrobeamClaim::current(), microbeam::MicrobeamClaim::Holder::None);

    // The next press starts again from frame 0.
    c.cmd_process->click();
    EXPECT_EQ(c.cmd_process->text(), "STOP");
    EXPECT_EQ(c.txt_current->text(), "0");
    c.cmd_process->click();
}

TEST_F(MicrobeamRunTest, TheRunEndsByItselfAfterTheLastFrame) {
    FrmProcessMulti& w = ready({0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12});
    auto& c = w.controls();
    c.txt_max->setText("9");
    c.cmd_process->click();
    ticks(w, 9);
    EXPECT_TRUE(w.run().running());
    EXPECT_EQ(c.lbl_block->text(), "");
    ticks(w, 1);
    EXPECT_FALSE(w.run().running());
    EXPECT_EQ(c.cmd_process->text(), "Process");
    EXPECT_FALSE(c.Timer2->isActive());
    EXPECT_EQ(c.txt_current->text(), "10");
    // Ten equal frames: a block without activity, told as such.
    EXPECT_EQ(c.txt_activity->text(), "0");
    EXPECT_EQ(c.lbl_block->text(), "Block of frames 0 to 9: activity 0");
    EXPECT_EQ(w.run().failedBlocks(), 0);
    EXPECT_TRUE(fakes.dialogs->log.empty());
}

TEST_F(MicrobeamRunTest, ABlockThatCannotBeMeasuredIsToldApart) {
    emptyConversions = true; // the converter leaves no pixels
    FrmProcessMulti& w = ready({0, 1, 2, 3, 4, 5, 6, 7, 8, 9});
    auto& c = w.controls();
    c.txt_max->setText("9");
    c.cmd_process->click();
    ticks(w, 10);
    EXPECT_EQ(c.cmd_process->text(), "Process");
    EXPECT_EQ(c.txt_activity->text(), "0");
    EXPECT_EQ(w.run().failedBlocks(), 1);
    EXPECT_TRUE(c.lbl_block->text().startsWith("Block of frames 0 to 9 not measured: "))
        << c.lbl_block->text().toStdString();
}

TEST_F(MicrobeamRunTest, FolderWithoutFrameZeroLeavesTheFlagOnUntilTheNextPress) {
    FrmProcessMulti& w = ready({1, 2});
    auto& c = w.controls();
    c.cmd_process->click();
    EXPECT_EQ(fakes.dialogs->messages(), QStringList({"File 0 not found"}));
    EXPECT_TRUE(w.run().running());
    EXPECT_EQ(c.cmd_process->text(), "PROCESS");
    EXPECT_TRUE(fakes.launcher->started.empty());
    // The idle timer's ticks leave it so.
    ticks(w, 3);
    EXPECT_TRUE(w.run().running());
    EXPECT_EQ(c.txt_current->text(), "0");
    // The next press is a stop; the one after starts again.
    c.cmd_process->click();
    EXPECT_FALSE(w.run().running());
    EXPECT_EQ(c.cmd_process->text(), "Process");
    EXPECT_EQ(fakes.dialogs->messages().size(), 1);
    c.cmd_process->click();
    EXPECT_EQ(fakes.dialogs->messages().size(), 2);
    EXPECT_TRUE(w.run().running());
}

TEST_F(MicrobeamRunTest, ARunShowsThePictureThatARefusedFrameHid) {
    FrmProcessMulti& w = ready({0, 1});
    auto& c = w.controls();
    c.chk_micro->setChecked(true); // 1600 x 1200 frames are refused in Microbeam mode
    c.cmd_load->click();
    ASSERT_EQ(fakes.dialogs->messages().size(), 1);
    ASSERT_FALSE(c.Picture1->isVisible());
    c.chk_micro->setChecked(false);
    c.cmd_process->click();
    ticks(w, 1);
    EXPECT_TRUE(c.Picture1->isVisible());
    EXPECT_EQ(c.Picture1->image().pixel(800, 600), QColor(128, 128, 128).rgb());
    c.cmd_process->click();
}

TEST_F(MicrobeamRunTest, MicrobeamModeTakesPreviewSizeFrames) {
    FrmProcessMulti& w = ready({0, 1});
    auto& c = w.controls();
    c.chk_micro->setChecked(true);
    c.cmd_process->click();
    ASSERT_FALSE(fakes.launcher->started.empty());
    EXPECT_TRUE(fakes.launcher->started[0].arguments.contains("1/4"));
    EXPECT_EQ(w.FrameSize(), QSize(160, 120));
    ticks(w, 1);
    EXPECT_EQ(c.Picture1->scaleRight(), 160.0);
    EXPECT_EQ(c.Picture1->scaleBottom(), 120.0);
    c.cmd_process->click();
}

TEST_F(MicrobeamRunTest, ShowFrameStringAndTheMaskPaintOnTheReducedRaster) {
    ui::PictureBox picture(nullptr, QSize(1600, 1200));
    microbeam::FramePixels pixels(200 * 150, 10);
    pixels[0] = 200;
    pixels[201] = 50; // row 1, column 1
    MicrobeamRunController::ShowFrameString(picture, pixels, {200, 150});
    EXPECT_EQ(picture.point(0.5, 0.5), ui::colourValue(200, 200, 200));
    EXPECT_EQ(picture.image().pixel(7, 7), QColor(200, 200, 200).rgb());
    EXPECT_EQ(picture.image().pixel(8, 8), QColor(50, 50, 50).rgb());
    EXPECT_EQ(picture.image().pixel(15, 15), QColor(50, 50, 50).rgb());
    EXPECT_EQ(picture.image().pixel(16, 16), QColor(10, 10, 10).rgb());
    // A short frame leaves the rest of the picture clear.
    MicrobeamRunController::ShowFrameString(picture, microbeam::FramePixels(200, 90), {200, 150});
    EXPECT_EQ(picture.image().pixel(1599, 7), QColor(90, 90, 90).rgb());
    EXPECT_EQ(picture.image().pixel(0, 8), QColor(255, 255, 255).rgb());

    microbeam::ActivityMask mask{};
    mask[1] = 3;   // (0, 0)
    mask[402] = 1; // (1, 2)
    MicrobeamRunController::DrawActivityMask(picture, mask, {200, 150});
    // 2 x 2 raster units: 16 x 16 backing pixels, pure red over the picture.
    EXPECT_EQ(picture.image().pixel(0, 0), QColor(255, 0, 0).rgb());
    EXPECT_EQ(picture.image().pixel(15, 15), QColor(255, 0, 0).rgb());
    EXPECT_EQ(picture.image().pixel(16, 8), QColor(255, 255, 255).rgb());
    EXPECT_EQ(picture.point(1.5, 2.5), kRed);
    EXPECT_EQ(picture.point(2.5, 3.5), kRed);
    EXPECT_NE(picture.point(3.5, 4.5), kRed);
}

TEST_F(MicrobeamRunTest, ClosingTheWindowStopsItsRun) {
    FrmProcessMulti& w = ready({0, 1, 2, 3});
    auto& c = w.controls();
    c.cmd_process->click();
    ticks(w, 1);
    ASSERT_TRUE(w.run().running());
    w.close();
    EXPECT_FALSE(w.run().running());
    EXPECT_FALSE(c.Timer2->isActive());
    EXPECT_FALSE(w.run().loop().running());
    EXPECT_EQ(microbeam::MicrobeamClaim::current(), microbeam::MicrobeamClaim::Holder::None);
    const auto starts = fakes.launcher->started.size();
    ticks(w, 2);
    EXPECT_EQ(fakes.launcher->started.size(), starts);
    // Shown again it is idle, from its design values.
    w.show();
    EXPECT_EQ(c.cmd_process->text(), "PROCESS");
    EXPECT_FALSE(w.run().running());
}

TEST_F(MicrobeamRunTest, ReopeningTheWindowStartsWithAnEmptyFrameRing) {
    FrmProcessMulti& w = ready({0, 1, 2, 3});
    w.controls().cmd_process->click();
    ticks(w, 4);
    ASSERT_EQ(w.run().loop().ring().frames[3].size(), 200u * 150u);
    w.close();
    w.show();
    // The frames of the previous run do not stand in for frames of the next one.
    for (std::size_t k = 0; k < w.run().loop().ring().frames.size(); ++k)
        EXPECT_TRUE(w.run().loop().ring().frames[k].empty()) << "slot " << k;
    EXPECT_EQ(w.run().loop().ring().index, 0);
}

TEST_F(MicrobeamRunTest, ARunAndAFrameCheckNeverRunTogether) {
    FrmProcessMulti& w = ready({0, 1, 2});
    auto& c = w.controls();
    c.cmd_process->click();
    ASSERT_TRUE(w.run().running());
    c.cmd_filtrar->click();
    ASSERT_EQ(fakes.dialogs->messages().size(), 1);
    EXPECT_EQ(fakes.dialogs->messages()[0], microbeam::MicrobeamClaim::refusalText());
    EXPECT_TRUE(w.run().running());
    c.cmd_process->click();
}

// ---- The reanalysis window's run -----------------------------------------------------------

class ReanalysisMicrobeamTest : public MicrobeamWindowTest {
protected:
    void SetUp() override {
        MicrobeamWindowTest::SetUp();
        if (HasFatalFailure())
            return;
        ASSERT_EQ(
            formats::writeTrainingFile(program.toStdString(), formats::TrainingFile::defaults()),
            "");
        acquisition = program + "/default/run";
        QDir().mkpath(acquisition + "/img");
        writeFile(acquisition + "/rundata.dat", "10.0.0.7\r\n" + acquisition.toUtf8() +
                                                    "\r\n2026/01/15 10:30:00\r\n1\r\n 1 \r\n");
        const QByteArray frame = microbeam_test::grayJpeg(1600, 1200, 120);
        for (int n = 0; n < 12; ++n)
            writeFile(acquisition + "/img/c10_0_0_7f" + QString::number(n) + ".jpg", frame);
    }
    FrmTraining& open() {
        FrmTraining& w = Windows::get<FrmTraining>();
        auto& c = w.controls();
        EXPECT_TRUE(reanalysis_test::chooseAcquisition(w, "run"));
        EXPECT_TRUE(w.LoadAcquisition());
        // The hidden menu item shows the Microbeam mode.
        c.mn_enable_microbeam->trigger();
        EXPECT_TRUE(c.Opt_acq[1]->isVisibleTo(&w));
        c.Opt_acq[1]->click();
        EXPECT_TRUE(c.frame_micro->isVisibleTo(&w));
        return w;
    }
    QString acquisition;
};

TEST_F(ReanalysisMicrobeamTest, MicrobeamFrameHoldsTheTotalAndTheFrameCount) {
    FrmTraining& w = Windows::get<FrmTraining>();
    auto& c = w.controls();
    EXPECT_EQ(c.Label4->parentWidget(), c.frame_micro);
    EXPECT_EQ(c.Label4->text(), "Activity:");
    EXPECT_EQ(c.txt_activity->text(), "0");
    EXPECT_EQ(c.Label5->text(), "#frames");
    EXPECT_EQ(c.txt_max->text(), "300");
    EXPECT_EQ(c.frame_micro->title(), "Microbeam Results");
    EXPECT_EQ(c.Timer2->interval(), 100);
    EXPECT_FALSE(c.Timer2->isActive());
    EXPECT_FALSE(c.mn_enable_microbeam->isVisible());
    // Shown in Microbeam mode, its captions fit.
    w.show();
    c.mn_enable_microbeam->trigger();
    c.Opt_acq[1]->click();
    microbeam_test::settle();
    ASSERT_TRUE(c.frame_micro->isVisible());
    EXPECT_FALSE(c.frame_train->isVisible());
    std::string misses;
    for (const ui::CaptionMiss& m : ui::captionsThatDoNotFit(c.frame_micro))
        misses += m.name.toStdString() + " ";
    EXPECT_EQ(misses, "");
}

TEST_F(ReanalysisMicrobeamTest, ReprocessButtonRunsAndStopsTheMicrobeamRun) {
    FrmTraining& w = open();
    auto& c = w.controls();
    fakes.dialogs->log.clear();
    c.cmd_reprocess->click();
    EXPECT_TRUE(fakes.dialogs->log.empty()) << fakes.dialogs->messages().join("|").toStdString();
    EXPECT_TRUE(w.Processing());
    EXPECT_EQ(c.cmd_reprocess->text(), "STOP");
    EXPECT_TRUE(c.txt_nfile->isEnabled());
    EXPECT_EQ(c.txt_nfile->text(), "0");
    EXPECT_TRUE(c.Timer2->isActive());
    EXPECT_FALSE(c.cmd_prev->isEnabled());
    // No batch: only the converter, on the acquisition's frames by their device address.
    ASSERT_EQ(fakes.launcher->started.size(), 1u);
    EXPECT_EQ(fakes.launcher->started[0].arguments.last(), acquisition + "/img/c10_0_0_7f0.jpg");
    for (int i = 0; i < 4; ++i)
        w.microbeam().MicrobeamRunStep();
    EXPECT_EQ(c.txt_nfile->text(), "4");
    EXPECT_EQ(converted.last(), "c10_0_0_7f4.jpg");

    // The same button stops it; the timer goes off at its next tick.
    c.cmd_reprocess->click();
    EXPECT_FALSE(w.Processing());
    EXPECT_EQ(c.cmd_reprocess->text(), "[PROCESS]");
    EXPECT_FALSE(c.txt_nfile->isEnabled());
    w.microbeam().MicrobeamRunStep();
    EXPECT_FALSE(c.Timer2->isActive());
    EXPECT_EQ(c.txt_nfile->text(), "4");
    EXPECT_EQ(microbeam::MicrobeamClaim::current(), microbeam::MicrobeamClaim::Holder::None);
}

TEST_F(ReanalysisMicrobeamTest, TheRunEndsByItselfWithProcess) {
    FrmTraining& w = open();
    auto& c = w.controls();
    c.txt_max->setText("10");
    c.cmd_reprocess->click();
    for (int i = 0; i < 11; ++i)
        w.microbeam().MicrobeamRunStep();
    EXPECT_FALSE(w.Processing());
    EXPECT_EQ(c.cmd_reprocess->text(), "Process");
    EXPECT_FALSE(c.Timer2->isActive());
    EXPECT_EQ(c.txt_nfile->text(), "11");
    EXPECT_EQ(c.txt_activity->text(), "0");
    EXPECT_EQ(c.lbl_messages->text(), "Block of frames 0 to 9: activity 0");
}

TEST_F(ReanalysisMicrobeamTest, FileZeroNotFoundLeavesProcessingSoTheNextPressStops) {
    FrmTraining& w = open();
    auto& c = w.controls();
    QFile::remove(acquisition + "/img/c10_0_0_7f0.jpg");
    fakes.dialogs->log.clear();
    c.cmd_reprocess->click();
    EXPECT_EQ(fakes.dialogs->messages(), QStringList({"File 0 not found"}));
    EXPECT_TRUE(w.Processing());
    EXPECT_FALSE(c.Timer2->isActive());
    EXPECT_NE(c.cmd_reprocess->text(), "STOP");
    c.cmd_reprocess->click();
    EXPECT_FALSE(w.Processing());
    EXPECT_EQ(c.cmd_reprocess->text(), "[PROCESS]");
    EXPECT_EQ(fakes.dialogs->messages().size(), 1);
}

TEST_F(ReanalysisMicrobeamTest, ClosingTheWindowStopsTheRun) {
    FrmTraining& w = open();
    w.controls().cmd_reprocess->click();
    ASSERT_TRUE(w.Processing());
    w.close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(Windows::has<FrmTraining>());
    EXPECT_EQ(microbeam::MicrobeamClaim::current(), microbeam::MicrobeamClaim::Holder::None);
}

} // namespace
