// The frame check of the Microbeam window: the boxes read from the shown picture, the rows of
// verificador.txt, the question and the renaming of bad frames, and the ways a check stops.

#include "tests/microbeam/ui/microbeam_ui_support.h"

#include "app/microbeam/ui/frame_check_controller.h"
#include "app/widgets/picture_box.h"

#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

#include <functional>
#include <utility>

namespace {

using microbeam_test::MicrobeamWindowTest;
using microbeam_test::readFile;
using ui::FrameCheckController;
using ui::FrmProcessMulti;

class FrameCheckTest : public MicrobeamWindowTest {
protected:
    // Frames 0 to 19 of gray 128, frame 7 of gray 140, loaded with the default limits.
    FrmProcessMulti& loaded() {
        std::vector<int> usual;
        for (int n = 0; n < 20; ++n)
            if (n != 7)
                usual.push_back(n);
        folder = frameFolder("check/img", usual, QSize(1600, 1200), 128);
        frameFolder("check/img", {7}, QSize(1600, 1200), 140);
        FrmProcessMulti& w = window();
        w.show();
        w.controls().txt_file->setText(folder);
        w.controls().cmd_load->click();
        EXPECT_EQ(w.controls().txt_x1->text(), "335");
        return w;
    }
    QByteArray expectedFile() const {
        QByteArray out = folder.toUtf8() + "\r\nFile v1 v2 v3 v4\r\n";
        for (int n = 0; n < 20; ++n) {
            out += "c10_0_0_7f" + QByteArray::number(n);
            out += n == 7 ? " 0 140 140 140 140 140 *\r\n" : " 1 128 128 128 128 128\r\n";
        }
        return out;
    }
    QString checkFile() const { return program + "/verificador.txt"; }
    QString folder;
};

TEST_F(FrameCheckTest, WritesARowPerFrameAndAsksToRenameTheBadOnes) {
    FrmProcessMulti& w = loaded();
    fakes.dialogs->answers = {false};
    w.controls().cmd_filtrar->click();
    EXPECT_EQ(readFile(checkFile()), expectedFile());
    EXPECT_EQ(fakes.dialogs->questions(), QStringList({"Reading Error [7]. RENAME?"}));
    EXPECT_TRUE(fakes.dialogs->messages().isEmpty());
    EXPECT_EQ(fakes.dialogs->buttonsOf("Reading Error [7]. RENAME?"),
              platform::QuestionButtons::YesNoCancel);
    // No (or Cancel) renames nothing.
    EXPECT_TRUE(QFileInfo::exists(frameName(folder, 7)));
    EXPECT_FALSE(QFileInfo::exists(folder + "/c10_0_0_7f7m.jpg"));
    EXPECT_EQ(w.controls().txt_current->text(), "19");
    // A check that went through leaves its flag on.
    EXPECT_TRUE(w.check().FrameCheckRunning());
}

TEST_F(FrameCheckTest, YesMarksEveryBadFrameAndTellsEachOutcome) {
    FrmProcessMulti& w = loaded();
    const QByteArray bad = readFile(frameName(folder, 7));
    fakes.dialogs->answers = {true};
    w.controls().cmd_filtrar->click();
    EXPECT_EQ(fakes.dialogs->messages(), QStringList({"OK Renaming file #7"}));
    EXPECT_FALSE(QFileInfo::exists(frameName(folder, 7)));
    EXPECT_EQ(readFile(folder + "/c10_0_0_7f7m.jpg"), bad);
    EXPECT_NE(std::find(fakes.clock->pauses.begin(), fakes.clock->pauses.end(), 500),
              fakes.clock->pauses.end());
    // A second check samples the marked frame no more: its number has no row.
    fakes.dialogs->log.clear();
    w.controls().cmd_filtrar->click();
    EXPECT_TRUE(fakes.dialogs->questions().isEmpty());
    EXPECT_FALSE(readFile(checkFile()).contains("c10_0_0_7f7 "));
}

TEST_F(FrameCheckTest, StopEndsTheCheckWithTheHeaderOnlyAndNothingAsked) {
    FrmProcessMulti& w = loaded();
    QTimer::singleShot(0, w.controls().cmd_stop, &QPushButton::click);
    w.controls().cmd_filtrar->click();
    EXPECT_EQ(readFile(checkFile()), folder.toUtf8() + "\r\nFile v1 v2 v3 v4\r\n");
    EXPECT_TRUE(fakes.dialogs->log.empty());
    EXPECT_FALSE(w.check().FrameCheckRunning());
    EXPECT_EQ(w.controls().txt_current->text(), "0");
    EXPECT_EQ(microbeam::MicrobeamClaim::current(), microbeam::MicrobeamClaim::Holder::None);
}

TEST_F(FrameCheckTest, ClosingTheWindowStopsTheCheck) {
    FrmProcessMulti& w = loaded();
    QTimer::singleShot(0, &w, &QWidget::close);
    w.controls().cmd_filtrar->click();
    EXPECT_FALSE(w.isVisible());
    EXPECT_EQ(readFile(checkFile()), folder.toUtf8() + "\r\nFile v1 v2 v3 v4\r\n");
    EXPECT_TRUE(fakes.dialogs->log.empty());
    EXPECT_EQ(microbeam::MicrobeamClaim::current(), microbeam::MicrobeamClaim::Holder::None);
}

TEST_F(FrameCheckTest, ClosingTheWindowDuringTheRenamesRenamesNothingMore) {
    // A message box that lets the operator close the window while it is shown.
    struct ClosingDialogs : platform::fakes::FakeDialogs {
        std::function<void()> onMessage;
        void message(const QString& text, const QString& title = QString()) override {
            FakeDialogs::message(text, title);
            if (onMessage)
                std::exchange(onMessage, {})();
        }
    };
    auto dialogs = std::make_shared<ClosingDialogs>();
    fakes.dialogs = dialogs;
    ui::Windows::setServices(fakes.services(program));
    std::vector<int> usual;
    for (int n = 0; n < 20; ++n)
        if (n != 7 && n != 12)
            usual.push_back(n);
    folder = frameFolder("close/img", usual, QSize(1600, 1200), 128);
    frameFolder("close/img", {7, 12}, QSize(1600, 1200), 140);
    FrmProcessMulti& w = window();
    w.show();
    w.controls().txt_file->setText(folder);
    w.controls().cmd_load->click();
    dialogs->answers = {true};
    dialogs->onMessage = [&w] { w.close(); };
    w.controls().cmd_filtrar->click();
    EXPECT_FALSE(w.isVisible());
    EXPECT_EQ(dialogs->questions(), QStringList({"Reading Error [7 12]. RENAME?"}));
    EXPECT_EQ(dialogs->messages(), QStringList({"OK Renaming file #7"}));
    EXPECT_TRUE(QFileInfo::exists(frameName(folder, 12)));
    EXPECT_FALSE(QFileInfo::exists(folder + "/c10_0_0_7f12m.jpg"));
    EXPECT_EQ(microbeam::MicrobeamClaim::current(), microbeam::MicrobeamClaim::Holder::None);
}

TEST_F(FrameCheckTest, FolderWithoutFramesSaysFileZeroNotFound) {
    QDir().mkpath(program + "/none");
    FrmProcessMulti& w = window();
    w.controls().txt_file->setText(program + "/none");
    w.controls().cmd_filtrar->click();
    EXPECT_EQ(fakes.dialogs->messages(), QStringList({"File 0 not found"}));
    EXPECT_EQ(readFile(checkFile()), QByteArray());
}

TEST_F(FrameCheckTest, FramesOfAnotherSizeAreLeftOutAndNamedOnce) {
    std::vector<int> usual = {0, 1, 2, 4, 5};
    folder = frameFolder("mixed", usual, QSize(1600, 1200), 128);
    frameFolder("mixed", {3}, QSize(640, 480), 128);
    FrmProcessMulti& w = window();
    w.controls().txt_file->setText(folder);
    w.controls().cmd_load->click();
    w.controls().cmd_filtrar->click();
    EXPECT_EQ(fakes.dialogs->messages(),
              QStringList({"Frames that could not be shown were left out: 3"}));
    EXPECT_FALSE(readFile(checkFile()).contains("c10_0_0_7f3 "));
    EXPECT_TRUE(readFile(checkFile()).contains("c10_0_0_7f4 1 128 128 128 128 128\r\n"));
}

TEST_F(FrameCheckTest, MeanGrayReadsPointsOutsideThePictureAsWhite) {
    ui::PictureBox picture(nullptr, QSize(1600, 1200));
    picture.image().fill(Qt::black);
    // 51 x 51 black points inside, 7600 outside: 7600 x 255 / 10201 = 189.99.
    EXPECT_EQ(FrameCheckController::MeanGrayAt(picture, 0, 0), 190);
    EXPECT_EQ(FrameCheckController::MeanGrayAt(picture, 800, 600), 0);
    picture.image().fill(QColor(0, 0, 255)); // bits 16-23 weigh 0.299
    EXPECT_EQ(FrameCheckController::MeanGrayAt(picture, 800, 600), 76);
}

} // namespace
