// Captions that fit their controls: the fit on single controls, and the program's windows drawn
// offscreen in a desktop-sized font at the design size and at 1600 x 1000.

#include "app/results/ui/report_frame_controller.h"
#include "app/widgets/caption_fit.h"

#include "app/device/ui/frm_about.h"
#include "app/device/ui/frm_init.h"
#include "app/widgets/clickable_label.h"
#include "app/widgets/picture_box.h"
#include "app/widgets/window_registry.h"
#include "app/windows/ui/frm_frontend.h"
#include "app/windows/ui/frm_training.h"
#include "platform/fakes/fake_services.h"
#include "tests/support/all_windows.h"
#include "tests/support/qt_application.h"

#include <QAbstractScrollArea>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFontInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOptionGroupBox>
#include <QTemporaryDir>
#include <QTextLayout>
#include <QTimer>

#include <gtest/gtest.h>

#include <memory>

namespace {

using ui::captionsThatDoNotFit;
using ui::fitCaptions;
using ui::FrmFrontend;
using ui::Windows;

// Grabs of the windows go here, to be looked at.
const QString kGrabFolder = QStringLiteral("/tmp/captions");

// A common desktop font: the windows must fit it at the sizes the operator uses.
QFont desktopFont() {
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPointSize(11);
    return font;
}

void useDesktopFont() {
    test_support::ensureApplication();
    QApplication::setFont(desktopFont());
}

void settle() {
    for (int i = 0; i < 5; ++i)
        QCoreApplication::processEvents();
}

std::string describe(const std::vector<ui::CaptionMiss>& misses) {
    std::string out;
    for (const auto& m : misses)
        out += m.name.toStdString() + " \"" + m.text.toStdString() + "\" needs " +
               std::to_string(m.needed) + "x" + std::to_string(m.neededHeight) + ", has " +
               std::to_string(m.available) + "x" + std::to_string(m.availableHeight) + "\n";
    return out;
}

// The same width check reckoned apart from the fit: the text's advance plus the control's own
// margins from the style's metrics.
std::string tooNarrow(const QWidget* root) {
    std::string out;
    for (const QWidget* w : root->findChildren<QWidget*>()) {
        if (w->isWindow() || !w->isVisibleTo(root))
            continue;
        const QStyle* style = w->style();
        const QFontMetrics fm = w->fontMetrics();
        QString text;
        int margins = 0;
        int room = w->width();
        if (const auto* label = qobject_cast<const QLabel*>(w)) {
            if (label->wordWrap() || !label->pixmap().isNull())
                continue;
            text = label->text();
            room = label->contentsRect().width() - 2 * label->margin();
        } else if (const auto* check = qobject_cast<const QCheckBox*>(w)) {
            text = check->text();
            margins = style->pixelMetric(QStyle::PM_IndicatorWidth) +
                      style->pixelMetric(QStyle::PM_CheckBoxLabelSpacing);
        } else if (const auto* radio = qobject_cast<const QRadioButton*>(w)) {
            text = radio->text();
            margins = style->pixelMetric(QStyle::PM_ExclusiveIndicatorWidth) +
                      style->pixelMetric(QStyle::PM_RadioButtonLabelSpacing);
        } else if (const auto* button = qobject_cast<const QPushButton*>(w)) {
            text = button->text();
            margins = style->pixelMetric(QStyle::PM_ButtonMargin) +
                      2 * style->pixelMetric(QStyle::PM_DefaultFrameWidth);
        } else if (const auto* group = qobject_cast<const QGroupBox*>(w)) {
            text = group->title();
            margins = 16;
        } else if (const auto* edit = qobject_cast<const QLineEdit*>(w)) {
            text = edit->text();
            margins = 2 * style->pixelMetric(QStyle::PM_DefaultFrameWidth) + 4;
        }
        if (text.isEmpty())
            continue;
        int widest = 0;
        for (const QString& line : text.split(QLatin1Char('\n')))
            widest = std::max(widest, fm.horizontalAdvance(line));
        if (widest + margins > room)
            out += w->objectName().toStdString() + " \"" + text.toStdString() + "\" " +
                   std::to_string(widest + margins) + " > " + std::to_string(room) + "\n";
    }
    return out;
}

// Visible controls that show text and lie over one another in the same frame.
std::string overlaps(const QWidget* root) {
    auto showsText = [](const QWidget* w) {
        return ui::hasCaption(w) || qobject_cast<const QLineEdit*>(w) ||
               qobject_cast<const QComboBox*>(w);
    };
    std::string out;
    const auto all = root->findChildren<QWidget*>();
    for (const QWidget* a : all) {
        if (a->isWindow() || !a->isVisibleTo(root) || !showsText(a))
            continue;
        for (const QWidget* b : all) {
            if (b <= a || b->parentWidget() != a->parentWidget() || !b->isVisibleTo(root) ||
                !showsText(b))
                continue;
            // Neighbours whose edges meet after rounding share a pixel; that is no overlap.
            const QRect shared = a->geometry().intersected(b->geometry());
            if (shared.width() > 1 && shared.height() > 1)
                out += a->objectName().toStdString() + " / " + b->objectName().toStdString() + "\n";
        }
    }
    return out;
}

// Visible captions in a font smaller than the operator can read.
std::string tooSmall(const QWidget* root) {
    constexpr int kLegiblePixels = 8;
    std::string out;
    QList<const QWidget*> controls{root};
    for (const QWidget* w : root->findChildren<QWidget*>())
        if (!w->isWindow() && w->isVisibleTo(root))
            controls.append(w);
    for (const QWidget* w : controls)
        if (ui::hasCaption(w) && QFontInfo(w->font()).pixelSize() < kLegiblePixels)
            out += w->objectName().toStdString() + " " +
                   std::to_string(QFontInfo(w->font()).pixelSize()) + " px\n";
    return out;
}

std::string rectText(const QRect& r) {
    return std::to_string(r.x()) + "," + std::to_string(r.y()) + " " + std::to_string(r.width()) +
           "x" + std::to_string(r.height());
}

// Where a control shows: a label its text (a label may be wider than its text, even reach over
// its frame, while its text stays inside), any other control its whole rectangle.
QRect showing(const QWidget* w) {
    const auto* label = qobject_cast<const QLabel*>(w);
    if (!label || !ui::hasCaption(w))
        return w->geometry();
    const QFontMetrics fm(w->font());
    const QRect room = label->contentsRect();
    const int flags = label->wordWrap() ? Qt::TextWordWrap : 0;
    const QRect text =
        fm.boundingRect(room, static_cast<int>(label->alignment()) | flags, label->text());
    return text.intersected(room).translated(w->pos());
}

// Visible controls that reach over the border of their frame, or over a group box's title.
std::string overBorders(const QWidget* root) {
    std::string out;
    for (const QWidget* w : root->findChildren<QWidget*>()) {
        const QWidget* frame = w->parentWidget();
        if (w->isWindow() || !w->isVisibleTo(root) || !frame)
            continue;
        QRect inside;
        QRect title;
        if (const auto* group = qobject_cast<const QGroupBox*>(frame)) {
            QStyleOptionGroupBox opt;
            opt.initFrom(group);
            opt.text = group->title();
            opt.subControls = QStyle::SC_GroupBoxFrame;
            if (!group->title().isEmpty())
                opt.subControls |= QStyle::SC_GroupBoxLabel;
            opt.lineWidth = 1;
            const QStyle* style = group->style();
            inside =
                style->subControlRect(QStyle::CC_GroupBox, &opt, QStyle::SC_GroupBoxFrame, group)
                    .adjusted(1, 1, -1, -1);
            if (!group->title().isEmpty())
                title = style->subControlRect(QStyle::CC_GroupBox, &opt, QStyle::SC_GroupBoxLabel,
                                              group);
        } else if (const auto* box = qobject_cast<const QFrame*>(frame);
                   box && box->frameWidth() > 0 && !qobject_cast<const QAbstractScrollArea*>(box) &&
                   !qobject_cast<const QLabel*>(box)) {
            inside = box->contentsRect();
        } else {
            continue;
        }
        const QRect shows = showing(w);
        if (!inside.contains(shows) || shows.intersects(title))
            out += w->objectName().toStdString() + " over the border of " +
                   frame->objectName().toStdString() + " (" + rectText(shows) + " outside " +
                   rectText(inside) + ", title " + rectText(title) + ")\n";
    }
    return out;
}

void expectCaptionsFit(const QWidget* window, const QString& what) {
    EXPECT_EQ(describe(captionsThatDoNotFit(window)), "") << what.toStdString();
    EXPECT_EQ(tooNarrow(window), "") << what.toStdString();
    EXPECT_EQ(overlaps(window), "") << what.toStdString();
    EXPECT_EQ(tooSmall(window), "") << what.toStdString();
    EXPECT_EQ(overBorders(window), "") << what.toStdString();
}

void saveGrab(QWidget* window, const QString& name) {
    QDir().mkpath(kGrabFolder);
    window->grab().save(QDir(kGrabFolder).filePath(name + QStringLiteral(".png")));
}

int pixels(const QWidget* w) {
    return QFontInfo(w->font()).pixelSize();
}

// ---- The fit on single controls -----------------------------------------------------------

class CaptionFit : public ::testing::Test {
protected:
    void SetUp() override {
        useDesktopFont();
        root = std::make_unique<QWidget>();
        root->resize(400, 200);
    }
    std::unique_ptr<QWidget> root;
};

TEST_F(CaptionFit, LowersANarrowLabelAndGivesItsFontBackWhenWide) {
    auto* label = new QLabel(QStringLiteral("Diameter"), root.get());
    label->setObjectName("lbl_diameter");
    label->setGeometry(10, 10, 45, 20);
    const int base = pixels(label);

    const auto misses = captionsThatDoNotFit(root.get());
    ASSERT_EQ(misses.size(), 1u);
    EXPECT_EQ(misses[0].name, "lbl_diameter");
    EXPECT_EQ(misses[0].text, "Diameter");
    EXPECT_EQ(misses[0].available, 45);
    EXPECT_EQ(misses[0].needed, QFontMetrics(label->font()).horizontalAdvance("Diameter"));
    EXPECT_GT(misses[0].needed, 45);

    fitCaptions(root.get());
    EXPECT_LT(pixels(label), base);
    EXPECT_GE(pixels(label), ui::kCaptionFloorPixels);
    EXPECT_EQ(describe(captionsThatDoNotFit(root.get())), "");

    label->setGeometry(10, 10, 200, 20);
    fitCaptions(root.get());
    EXPECT_EQ(pixels(label), base);
    // The font is inherited again, as before the fit.
    EXPECT_FALSE(label->testAttribute(Qt::WA_SetFont));
}

TEST_F(CaptionFit, GivesBackAFontTheWindowSetAndStopsAtTheFloor) {
    auto* title = new QLabel(QStringLiteral("Vermalux"), root.get());
    QFont big = title->font();
    big.setPointSize(20);
    big.setBold(true);
    title->setFont(big);
    title->setGeometry(0, 0, 60, 40);
    auto* tiny = new QLabel(QStringLiteral("estimated total reading time"), root.get());
    tiny->setObjectName("tiny");
    tiny->setGeometry(0, 50, 20, 20);

    fitCaptions(root.get());
    EXPECT_LT(pixels(title), QFontInfo(big).pixelSize());
    EXPECT_TRUE(title->font().bold());
    EXPECT_EQ(pixels(tiny), ui::kCaptionFloorPixels);
    // Even the floor does not fit: still reported.
    const auto misses = captionsThatDoNotFit(root.get());
    ASSERT_EQ(misses.size(), 1u);
    EXPECT_EQ(misses[0].name, "tiny");

    title->setGeometry(0, 0, 300, 40);
    fitCaptions(root.get());
    EXPECT_EQ(title->font(), big);
}

TEST_F(CaptionFit, CountsTheIndicatorAndTheButtonMargin) {
    const QString text = QStringLiteral("RToff");
    const int textWidth = QFontMetrics(root->font()).horizontalAdvance(text);
    auto* check = new QCheckBox(text, root.get());
    check->setObjectName("chk_onlyimg");
    check->setGeometry(0, 0, textWidth + 10, 20);
    auto* radio = new QRadioButton(text, root.get());
    radio->setObjectName("Opt_acq");
    radio->setGeometry(0, 30, textWidth + 10, 20);
    auto* button = new QPushButton(text, root.get());
    button->setObjectName("cmd");
    button->setGeometry(0, 60, textWidth + 2, 30);
    auto* edit = new QLineEdit(text, root.get());
    edit->setObjectName("txt");
    edit->setGeometry(0, 100, textWidth + 2, 24);

    QStringList names;
    for (const auto& miss : captionsThatDoNotFit(root.get()))
        names << miss.name;
    EXPECT_EQ(names, QStringList({"chk_onlyimg", "Opt_acq", "cmd", "txt"}));
    fitCaptions(root.get());
    EXPECT_EQ(describe(captionsThatDoNotFit(root.get())), "");
    EXPECT_EQ(tooNarrow(root.get()), "");
}

TEST_F(CaptionFit, ACaptionChangedLaterIsFittedAgain) {
    auto* frame = new QGroupBox(QStringLiteral("Acquisition"), root.get());
    frame->setGeometry(0, 0, 300, 150);
    auto* check = new QCheckBox(QStringLiteral("cycle"), frame);
    check->setObjectName("chk_cycle");
    check->setGeometry(10, 30, 80, 20);
    auto* hidden = new QLabel(QString(), frame);
    hidden->setObjectName("lbl_hidden");
    hidden->setGeometry(10, 60, 70, 20);
    hidden->hide();
    root->show();
    fitCaptions(root.get());
    const int base = pixels(check);

    check->setText(QStringLiteral("Cycle time :"));
    settle();
    EXPECT_LT(pixels(check), base);
    EXPECT_EQ(describe(captionsThatDoNotFit(root.get())), "");

    // A control whose caption changed while hidden fits when it is shown.
    hidden->setText(QStringLiteral("Distance[mm]"));
    hidden->show();
    settle();
    EXPECT_EQ(describe(captionsThatDoNotFit(root.get())), "");

    check->setText(QStringLiteral("cycle"));
    settle();
    EXPECT_EQ(pixels(check), base);
}

// The lines a wrapping label's text falls into at its width, in its font.
QStringList wrappedLines(const QLabel* label) {
    QStringList lines;
    QTextLayout layout(label->text(), label->font());
    QTextOption option;
    option.setWrapMode(QTextOption::WordWrap);
    layout.setTextOption(option);
    layout.beginLayout();
    for (QTextLine l = layout.createLine(); l.isValid(); l = layout.createLine()) {
        l.setLineWidth(label->contentsRect().width());
        lines << label->text().mid(l.textStart(), l.textLength()).trimmed();
    }
    layout.endLayout();
    return lines;
}

TEST_F(CaptionFit, AWrappedCaptionGetsASmallerFontRatherThanASplitWord) {
    auto* label = new QLabel(QStringLiteral("Average Speed  [mm/s]"), root.get());
    label->setObjectName("Label_speed");
    label->setWordWrap(true);
    label->setGeometry(0, 0, 82, 46);
    fitCaptions(root.get());
    EXPECT_EQ(describe(captionsThatDoNotFit(root.get())), "");
    for (const QString& line : wrappedLines(label))
        for (const QString& word : line.split(QLatin1Char(' '), Qt::SkipEmptyParts))
            EXPECT_TRUE(QStringList({"Average", "Speed", "[mm/s]"}).contains(word))
                << word.toStdString();
}

TEST_F(CaptionFit, AGroupBoxTitleIsReportedButItsFontIsKept) {
    auto* frame = new QGroupBox(QStringLiteral("Plate Position"), root.get());
    frame->setObjectName("frame_limits");
    frame->setGeometry(0, 0, 40, 100);
    auto* label = new QLabel(QStringLiteral("up"), frame);
    label->setGeometry(5, 30, 30, 20);
    const int base = pixels(label);
    fitCaptions(root.get());
    EXPECT_EQ(pixels(label), base);
    const auto misses = captionsThatDoNotFit(root.get());
    ASSERT_EQ(misses.size(), 1u);
    EXPECT_EQ(misses[0].name, "frame_limits");
}

// ---- The windows --------------------------------------------------------------------------

class WindowCaptions : public ::testing::Test {
protected:
    void SetUp() override {
        useDesktopFont();
        m_dir = std::make_unique<QTemporaryDir>(QStringLiteral("/tmp/vxcfXXXXXX"));
        ASSERT_TRUE(m_dir->isValid());
        Windows::setServices(fakes.services(m_dir->path()));
        test_support::registerAllWindows();
    }
    void TearDown() override {
        Windows::destroyAll();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    FrmFrontend& frontend(QSize size) {
        FrmFrontend& w = Windows::get<ui::FrmFrontend>();
        w.controls().Timer_autoload->stop();
        w.show();
        w.resize(size);
        settle();
        return w;
    }

    // The set-up page, the acquisition page with the cycle controls, and the report over the
    // results, each checked and grabbed.
    void checkFrontend(QSize size) {
        const QString tag = QStringLiteral("%1x%2").arg(size.width()).arg(size.height());
        FrmFrontend& w = frontend(size);
        ASSERT_EQ(w.size(), size);
        auto& c = w.controls();
        expectCaptionsFit(&w, "set-up page " + tag);
        saveGrab(&w, "frontend_setup_" + tag);
        // The light frame of a connected device lies over the picture.
        c.frm_contrast->show();
        settle();
        EXPECT_TRUE(c.frm_contrast->autoFillBackground());
        expectCaptionsFit(c.frm_contrast, "light frame " + tag);
        w.cmdMasClick();
        settle();
        ASSERT_TRUE(c.frame_setupmas->isVisible());
        EXPECT_TRUE(c.frame_setupmas->autoFillBackground());
        // The back and next labels below it stay uncovered: a click on them reaches them.
        for (QWidget* label :
             {static_cast<QWidget*>(c.lbl_back), static_cast<QWidget*>(c.lbl_next)})
            EXPECT_EQ(c.frm_preview->childAt(label->geometry().center()), label)
                << label->objectName().toStdString();
        expectCaptionsFit(c.frame_setupmas, "parameters " + tag);
        // The area controls write halves into the boxes; a measured training writes signed
        // values. Every box shows its whole value.
        const QList<QLineEdit*> boxes = c.frame_setupmas->findChildren<QLineEdit*>();
        ASSERT_EQ(boxes.size(), 16);
        QStringList designed;
        for (QLineEdit* box : boxes) {
            designed << box->text();
            box->setText(QStringLiteral("1176.5"));
        }
        c.txt_maxtravel->setText(QStringLiteral(" 31.25"));
        settle();
        expectCaptionsFit(c.frame_setupmas, "parameters holding long values " + tag);
        saveGrab(&w, "frontend_parameters_long_" + tag);
        for (qsizetype i = 0; i < boxes.size(); ++i)
            boxes[i]->setText(designed[i]);
        settle();
        saveGrab(&w, "frontend_parameters_" + tag);
        w.cmdMasClick();

        w.lblNextClick();
        settle();
        ASSERT_TRUE(c.frm_acquire->isVisible());
        expectCaptionsFit(&w, "acquisition page " + tag);
        c.chk_cycle->click();
        settle();
        ASSERT_TRUE(c.txt_ncycle->isVisible());
        ASSERT_TRUE(c.chk_onlyimg->isVisible());
        expectCaptionsFit(&w, "cycle controls " + tag);
        c.lbl_stimated->setText(QStringLiteral("estimated total reading time = ##m"));
        c.lbl_stimated->show();
        settle();
        expectCaptionsFit(&w, "estimate " + tag);
        saveGrab(&w, "frontend_acquire_" + tag);

        c.frame_results->show();
        settle();
        expectCaptionsFit(&w, "results " + tag);
        saveGrab(&w, "frontend_results_" + tag);
        w.report().cmdReportClick();
        settle();
        ASSERT_TRUE(c.Frame_report->isVisible());
        EXPECT_EQ(c.Frame_report->geometry(), c.frame_results->geometry());
        // The report frame covers the results frame: nothing of it may show through.
        EXPECT_TRUE(c.Frame_report->autoFillBackground());
        expectCaptionsFit(c.Frame_report, "report " + tag);
        saveGrab(&w, "frontend_report_" + tag);
    }

    platform::fakes::FakeServices fakes;
    std::unique_ptr<QTemporaryDir> m_dir;
};

TEST_F(WindowCaptions, AcquisitionWindowAtTheDesignSize) {
    checkFrontend(QSize(1024, 768));
}

TEST_F(WindowCaptions, AcquisitionWindowAt1600By1000) {
    checkFrontend(QSize(1600, 1000));
}

TEST_F(WindowCaptions, AcquisitionWindowBackAtTheDesignSize) {
    // Fonts lowered for a small window come back for a large one, and go down again.
    FrmFrontend& w = frontend(QSize(1024, 768));
    w.resize(1600, 1000);
    settle();
    expectCaptionsFit(&w, "grown");
    w.resize(1024, 768);
    settle();
    expectCaptionsFit(&w, "shrunk");
}

TEST_F(WindowCaptions, TrailMapLiesInsideThePreviewAndGrowsWithIt) {
    FrmFrontend& w = frontend(QSize(1024, 768));
    auto& c = w.controls();
    w.lblNextClick();
    settle();
    ASSERT_TRUE(c.Picture_post->isVisible());
    const QRect small = c.Picture_post->geometry();
    EXPECT_TRUE(c.Picture1->geometry().contains(small)) << small.x() << "," << small.y();
    w.resize(1600, 1000);
    settle();
    const QRect large = c.Picture_post->geometry();
    EXPECT_TRUE(c.Picture1->geometry().contains(large)) << large.x() << "," << large.y();
    EXPECT_GT(large.width(), small.width());
    EXPECT_GT(large.height(), small.height());
    // In the preview's top-right corner.
    EXPECT_LT(c.Picture1->geometry().right() - large.right(), 10);
    EXPECT_LT(large.top() - c.Picture1->geometry().top(), 10);
}

TEST_F(WindowCaptions, StartWindowAndAboutBox) {
    ui::FrmInit& start = Windows::get<ui::FrmInit>();
    start.show();
    settle();
    expectCaptionsFit(&start, "start menu");
    saveGrab(&start, "start_menu");
    start.findChild<ui::ClickableLabel*>("Label_option1")->click();
    settle();
    ASSERT_TRUE(start.findChild<QWidget*>("frame_ip")->isVisible());
    expectCaptionsFit(&start, "address panel");
    saveGrab(&start, "start_address");

    ui::FrmAbout& about = Windows::get<ui::FrmAbout>();
    about.show();
    settle();
    expectCaptionsFit(&about, "about box");
    saveGrab(&about, "about");
}

} // namespace

namespace {

TEST_F(WindowCaptions, ReanalysisWindowAtBothSizes) {
    ui::FrmTraining& w = Windows::get<ui::FrmTraining>();
    for (const QSize size : {QSize(1024, 768), QSize(1600, 1000)}) {
        const QString tag = QString::number(size.width()) + "x" + QString::number(size.height());
        w.resize(size);
        w.show();
        settle();
        expectCaptionsFit(&w, "set-up frame " + tag);
        saveGrab(&w, "reanalysis_setup_" + tag);
        // After a plot the frame label holds "1" and the result labels their figures.
        w.controls().label_frame->setText(QStringLiteral("1"));
        settle();
        expectCaptionsFit(&w, "set-up frame after a plot " + tag);
        w.controls().frm_preview->hide();
        w.controls().Frame_plotter->show();
        w.controls().lbl_particle->setText(QStringLiteral("12"));
        w.controls().lbl_speed->setText(QStringLiteral("0.12"));
        w.controls().lbl_distance->setText(QStringLiteral("10.5"));
        w.controls().lbl_turnings->setText(QStringLiteral("3.5"));
        settle();
        expectCaptionsFit(&w, "results frame " + tag);
        saveGrab(&w, "reanalysis_results_" + tag);
        w.controls().Frame_plotter->hide();
        w.controls().frm_preview->show();
    }
}

} // namespace
