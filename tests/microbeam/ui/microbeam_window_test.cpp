// The Microbeam window as a shell: its controls and design values, the folder list, LOAD with
// the limits of the folder and the analysis outline, the size check of the frames, its close,
// and the ways in from the start window and out with the acquisition window.

#include "tests/microbeam/ui/microbeam_ui_support.h"

#include "app/device/ui/frm_init.h"
#include "app/microbeam/arena_limits.h"
#include "app/microbeam/ui/frame_check_controller.h"
#include "app/microbeam/ui/microbeam_run_controller.h"
#include "app/widgets/caption_fit.h"
#include "app/widgets/picture_box.h"
#include "app/widgets/twips.h"
#include "app/windows/ui/frm_frontend.h"

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>

namespace {

using microbeam_test::MicrobeamWindowTest;
using microbeam_test::readFile;
using microbeam_test::writeFile;
using ui::FrmProcessMulti;
using ui::Windows;

constexpr int kRed = ui::colourValue(255, 0, 0);

QRect twips(int left, int top, int width, int height) {
    return QRect(ui::twipsToPixels(left), ui::twipsToPixels(top), ui::twipsToPixels(width),
                 ui::twipsToPixels(height));
}

QString text(const QWidget* w) {
    if (const auto* label = qobject_cast<const QLabel*>(w))
        return label->text();
    if (const auto* edit = qobject_cast<const QLineEdit*>(w))
        return edit->text();
    if (const auto* button = qobject_cast<const QAbstractButton*>(w))
        return button->text();
    return QStringLiteral("<no caption>");
}

QByteArray trainingFile(const QByteArray& xs, const QByteArray& xe, const QByteArray& ys,
                        const QByteArray& ye) {
    return "xs " + xs + "\r\nxe " + xe + "\r\nys " + ys + "\r\nye " + ye +
           "\r\nbs  35\r\npl  26\r\nmm  35\r\n";
}

std::array<QString, 4> limits(FrmProcessMulti& w) {
    auto& c = w.controls();
    return {c.txt_x1->text(), c.txt_x2->text(), c.txt_y1->text(), c.txt_y2->text()};
}

TEST_F(MicrobeamWindowTest, DesignControlsCaptionsAndGeometry) {
    FrmProcessMulti& w = window();
    EXPECT_EQ(w.objectName(), "Frm_processmulti");
    EXPECT_EQ(w.windowTitle(), "Form1");
    EXPECT_EQ(w.size(), twips(0, 0, 15915, 9285).size());
    struct Design {
        const char* name;
        QString caption;
        QRect geometry;
    };
    const Design table[] = {
        {"Label1", "Folder:", twips(0, 0, 735, 255)},
        {"txt_file", "c192_168_4_1f0.jpg", twips(720, 0, 6975, 375)},
        {"cmd_dir", "...", twips(7680, 0, 615, 375)},
        {"cmd_load", "LOAD", twips(8400, 0, 1215, 375)},
        {"txt_current", "0", twips(10320, 0, 1095, 375)},
        {"chk_micro", "Microbeam mode", twips(11760, 120, 2055, 255)},
        {"txt_max", "10", twips(12120, 600, 1335, 375)},
        {"cmd_process", "PROCESS", twips(12120, 1080, 3375, 1215)},
        {"cmd_reprocess_paths", "REPROCESS", twips(12120, 2520, 3375, 1455)},
        {"Label3", "X-Limits", twips(11880, 4800, 855, 255)},
        {"txt_x1", "txt_x1", twips(12840, 4680, 735, 375)},
        {"txt_x2", "txt_x2", twips(13680, 4680, 735, 375)},
        {"Label4", "Y-Limits", twips(11880, 5280, 855, 255)},
        {"txt_y1", "txt_y1", twips(12840, 5160, 735, 375)},
        {"txt_y2", "txt_y2", twips(13680, 5160, 735, 375)},
        {"Label2", "ACTIVITY=", twips(11640, 6000, 1215, 255)},
        {"txt_activity", "0", twips(13080, 5880, 1455, 375)},
        {"cmd_filtrar", "Filtrar Archivos con errores", twips(11760, 7200, 2895, 855)},
        {"cmd_stop", "stop", twips(14760, 7200, 855, 855)},
    };
    for (const Design& d : table) {
        const QWidget* control = w.findChild<QWidget*>(d.name);
        ASSERT_NE(control, nullptr) << d.name;
        EXPECT_EQ(text(control), d.caption) << d.name;
        EXPECT_EQ(control->geometry(), d.geometry) << d.name;
    }
    auto& c = w.controls();
    EXPECT_EQ(c.Dir_list1->objectName(), "Dir_list1");
    EXPECT_EQ(c.Dir_list1->geometry(), twips(720, 360, 7575, 4365));
    EXPECT_TRUE(c.Dir_list1->isHidden());
    EXPECT_EQ(c.Picture1->objectName(), "Picture1");
    EXPECT_EQ(c.Picture1->geometry(), twips(0, 360, 11535, 8895));
    EXPECT_FALSE(c.chk_micro->isChecked());
    EXPECT_EQ(c.Timer2->objectName(), "Timer2");
    EXPECT_EQ(c.Timer2->interval(), 100);
    EXPECT_TRUE(c.Timer2->isActive());
    EXPECT_FALSE(w.run().running());
    EXPECT_FALSE(w.check().FrameCheckRunning());
    EXPECT_FALSE(w.FrameSize().has_value());
    // The folder list lies over the picture.
    w.show();
    c.cmd_dir->click();
    EXPECT_EQ(w.childAt(c.Dir_list1->geometry().center()), c.Dir_list1->viewport());
}

TEST_F(MicrobeamWindowTest, TabOrderFollowsTheDesign) {
    FrmProcessMulti& w = window();
    // The design order; the labels and the picture never take the focus, so Tab passes them.
    const QStringList design = {"cmd_dir",
                                "Dir_list1",
                                "cmd_load",
                                "txt_file",
                                "Label1",
                                "Picture1",
                                "cmd_process",
                                "txt_max",
                                "txt_current",
                                "Label2",
                                "txt_activity",
                                "chk_micro",
                                "cmd_reprocess_paths",
                                "txt_x1",
                                "txt_x2",
                                "txt_y1",
                                "txt_y2",
                                "Label3",
                                "Label4",
                                "cmd_filtrar",
                                "cmd_stop"};
    QStringList order;
    for (const QString& name : design)
        if (w.findChild<QWidget*>(name)->focusPolicy() & Qt::TabFocus)
            order << name;
    ASSERT_EQ(order.size(), 16);
    QStringList seen;
    QWidget* at = w.findChild<QWidget*>("cmd_dir");
    for (int i = 0; i < 200 && seen.size() < order.size(); ++i) {
        if (order.contains(at->objectName()) && !seen.contains(at->objectName()))
            seen << at->objectName();
        at = at->nextInFocusChain();
    }
    EXPECT_EQ(seen.join(' ').toStdString(), order.join(' ').toStdString());
}

TEST_F(MicrobeamWindowTest, CaptionsFitInADesktopFont) {
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPointSize(11);
    const QFont old = QApplication::font();
    QApplication::setFont(font);
    {
        FrmProcessMulti& w = window();
        w.show();
        microbeam_test::settle();
        std::string misses;
        for (const ui::CaptionMiss& m : ui::captionsThatDoNotFit(&w))
            misses += m.name.toStdString() + " ";
        EXPECT_EQ(misses, "");
        // A long block line wraps within its label.
        w.controls().lbl_block->setText(
            "Block of frames 290 to 299 not measured: no frame has a mean gray above 0");
        microbeam_test::settle();
        EXPECT_TRUE(ui::captionsThatDoNotFit(&w).empty());
    }
    Windows::destroyAll();
    QApplication::setFont(old);
}

TEST_F(MicrobeamWindowTest, FolderButtonShowsAndHidesTheFolderList) {
    FrmProcessMulti& w = window();
    w.show();
    auto& c = w.controls();
    c.cmd_dir->click();
    EXPECT_TRUE(c.Dir_list1->isVisible());
    EXPECT_EQ(c.cmd_dir->text(), "Ok");
    c.cmd_dir->click();
    EXPECT_FALSE(c.Dir_list1->isVisible());
    EXPECT_EQ(c.cmd_dir->text(), "...");
}

TEST_F(MicrobeamWindowTest, FolderListStartsAtTheProgramFolderAndWritesTheFolderBox) {
    QDir().mkpath(program + "/run1/img");
    QDir().mkpath(program + "/run2");
    FrmProcessMulti& w = window();
    auto& c = w.controls();
    EXPECT_EQ(w.DirListFolder(), program);
    // Made before the folders: the list is read when the window loads; a close and a new
    // showing load it again.
    w.show();
    w.close();
    w.show();
    QStringList entries;
    for (int i = 0; i < c.Dir_list1->count(); ++i)
        entries << c.Dir_list1->item(i)->text();
    EXPECT_EQ(entries, QStringList({"..", "run1", "run2"}));
    // Moving in the list writes the folder into the folder box.
    emit c.Dir_list1->itemActivated(c.Dir_list1->item(1));
    EXPECT_EQ(c.txt_file->text(), program + "/run1");
    emit c.Dir_list1->itemActivated(c.Dir_list1->findItems("img", Qt::MatchExactly).first());
    EXPECT_EQ(c.txt_file->text(), program + "/run1/img");
    emit c.Dir_list1->itemActivated(c.Dir_list1->item(0)); // ".."
    EXPECT_EQ(c.txt_file->text(), program + "/run1");
}

TEST_F(MicrobeamWindowTest, LoadTakesTheLimitsOfTheAcquisitionAboveItsFrames) {
    const QString frames = frameFolder("default/run/img", {0, 1, 2});
    writeFile(program + "/default/run/training.dat", trainingFile(" 400", " 1200", " 300", " 900"));
    writeFile(program + "/training.dat", trainingFile("1", "2", "3", "4"));
    FrmProcessMulti& w = window();
    w.show();
    auto& c = w.controls();
    c.cmd_dir->click();
    c.txt_file->setText(frames);
    c.cmd_load->click();
    EXPECT_TRUE(fakes.dialogs->log.empty()) << fakes.dialogs->messages().join("|").toStdString();
    EXPECT_FALSE(c.Dir_list1->isVisible());
    EXPECT_EQ(c.cmd_dir->text(), "...");
    EXPECT_EQ(limits(w), (std::array<QString, 4>{" 400", " 1200", " 300", " 900"}));
    EXPECT_EQ(w.FrameSize(), QSize(1600, 1200));
    EXPECT_TRUE(c.Picture1->isVisible());
    EXPECT_TRUE(c.Picture1->hasPicture());
    EXPECT_EQ(c.Picture1->scaleRight(), 1600.0);
    EXPECT_EQ(c.Picture1->scaleBottom(), 1200.0);
    // The frame is shown: its gray in the middle, outside the outline.
    const int centre = c.Picture1->point(800, 600);
    EXPECT_NEAR(centre & 0xFF, 128, 3);
}

TEST_F(MicrobeamWindowTest, LoadTakesTheLimitsOfTheFolderThenTheProgramFolderThenDefaults) {
    const QString own = frameFolder("frames", {0});
    const QString plain = frameFolder("other", {0});
    writeFile(own + "/training.dat", trainingFile("10,5", "20", "30", "40"));
    FrmProcessMulti& w = window();
    auto& c = w.controls();
    // A folder's own training file; a decimal comma is shown as a point.
    c.txt_file->setText(own);
    c.cmd_load->click();
    EXPECT_EQ(limits(w), (std::array<QString, 4>{"10.5", "20", "30", "40"}));
    // A folder without one: the defaults while the program folder has none either.
    c.txt_file->setText(plain);
    c.cmd_load->click();
    EXPECT_EQ(limits(w), (std::array<QString, 4>{"335", "1170", "215", "1035"}));
    // Then the program folder's.
    writeFile(program + "/training.dat", trainingFile("1", "2", "3", "4"));
    c.cmd_load->click();
    EXPECT_EQ(limits(w), (std::array<QString, 4>{"1", "2", "3", "4"}));
    // The "img" rule is exact: "imgs" is a folder of its own.
    const QString imgs = frameFolder("run/imgs", {0});
    writeFile(program + "/run/training.dat", trainingFile("7", "8", "9", "10"));
    c.txt_file->setText(imgs);
    c.cmd_load->click();
    EXPECT_EQ(limits(w), (std::array<QString, 4>{"1", "2", "3", "4"}));
    EXPECT_TRUE(fakes.dialogs->log.empty());
}

TEST_F(MicrobeamWindowTest, LoadOfAFolderWithoutFramesSaysFileZeroNotFound) {
    QDir().mkpath(program + "/empty");
    writeFile(program + "/empty/c1f12.jpg", microbeam_test::grayJpeg()); // two digits: no match
    FrmProcessMulti& w = window();
    auto& c = w.controls();
    c.cmd_dir->click();
    c.txt_file->setText(program + "/empty");
    c.cmd_load->click();
    EXPECT_EQ(fakes.dialogs->messages(), QStringList({"File 0 not found"}));
    EXPECT_EQ(c.cmd_dir->text(), "...");
    EXPECT_TRUE(c.Dir_list1->isHidden());
    EXPECT_EQ(c.txt_x1->text(), "txt_x1");
    EXPECT_FALSE(w.FrameSize().has_value());
}

TEST_F(MicrobeamWindowTest, LoadOffersToCopyFrameOneToFrameZero) {
    const QString frames = frameFolder("frames", {1, 2});
    FrmProcessMulti& w = window();
    auto& c = w.controls();
    c.txt_file->setText(frames);
    fakes.dialogs->answers = {false};
    c.cmd_load->click();
    EXPECT_EQ(fakes.dialogs->questions(), QStringList({"File 0 not found. Copy File1 to File0?"}));
    EXPECT_FALSE(QFileInfo::exists(frameName(frames, 0)));
    EXPECT_EQ(c.txt_x1->text(), "txt_x1");
    EXPECT_FALSE(c.Picture1->hasPicture());

    fakes.dialogs->answers = {true};
    c.cmd_load->click();
    ASSERT_TRUE(QFileInfo::exists(frameName(frames, 0)));
    EXPECT_EQ(readFile(frameName(frames, 0)), readFile(frameName(frames, 1)));
    EXPECT_EQ(c.txt_x1->text(), "335");
    EXPECT_TRUE(c.Picture1->hasPicture());
}

TEST_F(MicrobeamWindowTest, FramesOfAnotherSizeAreRefusedWithAMessage) {
    const QString small = frameFolder("small", {0}, QSize(640, 480), 60);
    FrmProcessMulti& w = window();
    w.show();
    auto& c = w.controls();
    c.txt_file->setText(small);
    c.cmd_load->click();
    EXPECT_EQ(fakes.dialogs->messages(),
              QStringList({"Frame size 640 x 480 differs from 1600 x 1200: " +
                           QDir::toNativeSeparators(frameName(small, 0))}));
    EXPECT_FALSE(c.Picture1->isVisible());
    EXPECT_FALSE(c.Picture1->hasPicture());

    // In Microbeam mode the same frame fills the whole picture.
    fakes.dialogs->log.clear();
    c.chk_micro->setChecked(true);
    c.cmd_load->click();
    EXPECT_TRUE(fakes.dialogs->log.empty());
    EXPECT_EQ(w.FrameSize(), QSize(640, 480));
    EXPECT_TRUE(c.Picture1->isVisible());
    for (const QPoint at : {QPoint(5, 5), QPoint(1595, 1195), QPoint(20, 1190)})
        EXPECT_NEAR(c.Picture1->point(at.x(), at.y()) & 0xFF, 60, 3) << at.x() << "," << at.y();

    // A full frame in Microbeam mode is refused too.
    const QString full = frameFolder("full", {0});
    fakes.dialogs->log.clear();
    c.txt_file->setText(full);
    c.cmd_load->click();
    EXPECT_EQ(fakes.dialogs->messages(),
              QStringList({"Frame size 1600 x 1200 differs from 640 x 480: " +
                           QDir::toNativeSeparators(frameName(full, 0))}));
}

TEST_F(MicrobeamWindowTest, OutlineStrokesArePureRedInTheBackingImage) {
    const QString frames = frameFolder("frames", {0}, QSize(1600, 1200), 128);
    writeFile(frames + "/training.dat", trainingFile("335", "1170", "215", "1035"));
    FrmProcessMulti& w = window();
    auto& c = w.controls();
    c.txt_file->setText(frames);
    c.cmd_load->click();
    EXPECT_EQ(c.Picture1->drawWidth(), 13);
    const microbeam::ArenaOutline outline = microbeam::arenaOutline(335, 1170, 215, 1035);
    ASSERT_EQ(outline.strokes.size(), 2u * 821u);
    for (const microbeam::OutlineStroke& s : outline.strokes) {
        ASSERT_EQ(c.Picture1->point(s.x1, s.y), kRed) << s.x1 << "," << s.y;
        ASSERT_EQ(c.Picture1->point(s.x2, s.y), kRed) << s.x2 << "," << s.y;
    }
    // Row 410 (the middle): strokes at 335 + 418 -/+ 418; the pen of 13 reaches 6 pixels in.
    EXPECT_EQ(c.Picture1->point(335, 625), kRed);
    EXPECT_EQ(c.Picture1->point(341, 625), kRed);
    EXPECT_NE(c.Picture1->point(343, 625), kRed);
    EXPECT_EQ(c.Picture1->point(1171, 625), kRed);
    EXPECT_NE(c.Picture1->point(1163, 625), kRed);
    // Inside and outside the ellipse the frame shows.
    EXPECT_NEAR(c.Picture1->point(752, 625) & 0xFF, 128, 3);
    EXPECT_NEAR(c.Picture1->point(100, 100) & 0xFF, 128, 3);
    EXPECT_NE(c.Picture1->point(100, 100), kRed);
}

TEST_F(MicrobeamWindowTest, LimitsWithoutHeightDrawNoOutline) {
    const QString frames = frameFolder("frames", {0}, QSize(1600, 1200), 128);
    writeFile(frames + "/training.dat", trainingFile("335", "1170", "600", "600"));
    FrmProcessMulti& w = window();
    auto& c = w.controls();
    c.txt_file->setText(frames);
    c.cmd_load->click();
    const QImage& image = c.Picture1->image();
    for (int y = 0; y < image.height(); y += 3)
        for (int x = 0; x < image.width(); x += 3)
            ASSERT_NE(c.Picture1->point(x, y), kRed) << x << "," << y;
}

TEST_F(MicrobeamWindowTest, AnUnreadableTrainingFileIsToldAndLoadGoesOn) {
    const QString frames = frameFolder("frames", {0});
    QDir().mkpath(frames + "/training.dat"); // a folder in its place cannot be read
    FrmProcessMulti& w = window();
    auto& c = w.controls();
    c.txt_file->setText(frames);
    c.cmd_load->click();
    EXPECT_EQ(fakes.dialogs->messages(), QStringList({"Error reading training.dat file"}));
    EXPECT_EQ(c.txt_x1->text(), "txt_x1");
    EXPECT_TRUE(c.Picture1->hasPicture());
}

TEST_F(MicrobeamWindowTest, ReprocessPathsDoesNothing) {
    const QString frames = frameFolder("frames", {0});
    FrmProcessMulti& w = window();
    auto& c = w.controls();
    c.txt_file->setText(frames);
    c.cmd_reprocess_paths->click();
    EXPECT_TRUE(fakes.dialogs->log.empty());
    EXPECT_TRUE(fakes.launcher->started.empty());
    EXPECT_EQ(c.txt_file->text(), frames);
}

TEST_F(MicrobeamWindowTest, CloseShowsTheStartWindowAndTheNextShowingStartsFromDesign) {
    const QString frames = frameFolder("frames", {0});
    FrmProcessMulti& w = window();
    w.show();
    auto& c = w.controls();
    c.txt_file->setText(frames);
    c.cmd_load->click();
    c.txt_max->setText("55");
    ASSERT_EQ(c.txt_x1->text(), "335");
    w.close();
    EXPECT_FALSE(w.isVisible());
    EXPECT_TRUE(Windows::get<ui::FrmInit>().isVisible());
    w.show();
    EXPECT_EQ(c.txt_x1->text(), "txt_x1");
    EXPECT_EQ(c.txt_max->text(), "10");
    EXPECT_EQ(c.txt_file->text(), "c192_168_4_1f0.jpg");
    EXPECT_FALSE(c.Picture1->hasPicture());
    EXPECT_TRUE(c.Timer2->isActive());
    // The frame size stays across a close.
    EXPECT_EQ(w.FrameSize(), QSize(1600, 1200));
}

TEST_F(MicrobeamWindowTest, MicroButtonOfTheStartWindowOpensThisWindowBesideIt) {
    ui::FrmInit& start = Windows::get<ui::FrmInit>();
    start.show();
    auto* micro = start.findChild<QPushButton*>("cmd_micro");
    ASSERT_NE(micro, nullptr);
    EXPECT_TRUE(micro->isVisible());
    EXPECT_EQ(micro->text(), "uM");
    EXPECT_FALSE(Windows::has<FrmProcessMulti>());
    micro->click();
    ASSERT_TRUE(Windows::has<FrmProcessMulti>());
    EXPECT_TRUE(window().isVisible());
    EXPECT_TRUE(start.isVisible());
    // A second press shows the same window.
    FrmProcessMulti* first = &window();
    window().hide();
    micro->click();
    EXPECT_EQ(&window(), first);
    EXPECT_TRUE(first->isVisible());
}

TEST_F(MicrobeamWindowTest, FitsASmallScreenAndKeepsItsDesignSizeBesideTheStartWindow) {
    ui::FrmInit& start = Windows::get<ui::FrmInit>();
    start.show();
    start.move(0, 0);
    FrmProcessMulti& w = window();
    // 1024 x 768: scaled down until the whole window, "stop" included, is on the screen.
    const QRect small(0, 0, 1024, 768);
    w.fitToScreen(small);
    EXPECT_LT(w.designScale(), 1.0);
    EXPECT_TRUE(small.contains(w.frameGeometry())) << w.frameGeometry().right();
    const QRect stop = w.controls().cmd_stop->geometry().translated(w.geometry().topLeft());
    EXPECT_TRUE(small.contains(stop));
    EXPECT_TRUE(QRect(QPoint(0, 0), w.size()).contains(w.controls().cmd_stop->geometry()));
    // 1600 x 1000: the design size, on the screen, to the right of the start window.
    const QRect large(0, 0, 1600, 1000);
    w.fitToScreen(large);
    EXPECT_EQ(w.designScale(), 1.0);
    EXPECT_EQ(w.size(), twips(0, 0, 15915, 9285).size());
    EXPECT_EQ(w.controls().cmd_stop->geometry(), twips(14760, 7200, 855, 855));
    EXPECT_TRUE(large.contains(w.frameGeometry()));
    EXPECT_EQ(w.frameGeometry().left(), start.frameGeometry().right() + 1);
    EXPECT_EQ(w.frameGeometry().top(), start.frameGeometry().top());
}

TEST_F(MicrobeamWindowTest, ClosingTheAcquisitionWindowHidesThisWindowMakingItWhenNeeded) {
    {
        ui::FrmFrontend& frontend = Windows::get<ui::FrmFrontend>();
        frontend.show();
        EXPECT_FALSE(Windows::has<FrmProcessMulti>());
        frontend.close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    ASSERT_TRUE(Windows::has<FrmProcessMulti>());
    EXPECT_FALSE(window().isVisible());
    // Made hidden, it was loaded: its folder list is at the program folder.
    EXPECT_EQ(window().DirListFolder(), program);

    window().show();
    ASSERT_TRUE(window().isVisible());
    ui::FrmFrontend& again = Windows::get<ui::FrmFrontend>();
    again.show();
    again.close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(window().isVisible());
}

} // namespace
