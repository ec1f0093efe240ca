#include "app/training/ui/plate_controller.h"

#include "app/training/plate_overlay.h"
#include "app/widgets/background_work.h"
#include "app/widgets/box_values.h"
#include "app/widgets/picture_box.h"
#include "formats/frame_names.h"

#include <QDir>
#include <QEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>

#include <algorithm>

namespace ui {

namespace {

constexpr int kRed = colourValue(255, 0, 0);
constexpr int kBlue = colourValue(0, 0, 255);
constexpr int kBlack = colourValue(0, 0, 0);

} // namespace

PlateController::PlateController(const PlateControls& controls, platform::Services services,
                                 const Lifetime& window, PlateHooks hooks, QObject* parent)
    : QObject(parent), m_c(controls), m_services(std::move(services)),
      m_life(Lifetime::childOf(window)), m_hooks(std::move(hooks)) {
    connect(m_c.HScroll_plate, &QScrollBar::valueChanged, this,
            &PlateController::ResizePlateFromSlider);
    connect(m_c.cmd_offset_left, &QPushButton::clicked, this, &PlateController::cmdOffsetLeftClick);
    connect(m_c.cmd_offset_right, &QPushButton::clicked, this,
            &PlateController::cmdOffsetRightClick);
    connect(m_c.cmd_offset_down, &QPushButton::clicked, this, &PlateController::cmdOffsetDownClick);
    connect(m_c.cmd_offset_up, &QPushButton::clicked, this, &PlateController::cmdOffsetUpClick);
    m_c.txt_psize->installEventFilter(this);
}

bool PlateController::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_c.txt_psize && event->type() == QEvent::FocusOut)
        txtPsizeLostFocus();
    return QObject::eventFilter(watched, event);
}

bool PlateController::ShowImage(const QString& file) {
    m_c.Picture1->hide();
    const QRect source = m_hooks.fullResolution() ? QRect(0, 0, 1600, 1200) : QRect(0, 0, 640, 480);
    return m_c.Picture1->loadPicture(file, source);
}

bool PlateController::ShowImageBesideWindow(const QString& file) {
    PictureBox* picture = m_c.Picture1;
    picture->hide();
    const QRect source = m_hooks.fullResolution() ? QRect(0, 0, 1600, 1200) : QRect(0, 0, 640, 480);
    PictureBox::PreparedPicture prepared =
        runWhileAnswering([file, source, backing = picture->image()] {
            return PictureBox::preparePicture(file, source, backing);
        });
    return picture->showPrepared(std::move(prepared));
}

bool PlateController::DrawPlateOverlay() {
    return DrawPlateOverlayOf(
        QDir(m_services.programFolder).filePath(QString::fromLatin1(formats::kPreviewFileName)));
}

bool PlateController::DrawPreviewOrSay() {
    if (DrawPlateOverlay())
        return true;
    m_services.dialogs->message(QStringLiteral("error acquisition"));
    return false;
}

bool PlateController::DrawPlateOverlayOf(const QString& file) {
    if (!ShowImage(file))
        return false;
    drawOutline(kRed, 1);
    PictureBox* pic = m_c.Picture1;
    if (m_picks.count > 0) {
        const int b = training::wholeValue(m_c.txt_npix->text().toStdString());
        const int count = std::min<int>(m_picks.count, static_cast<int>(m_picks.x.size()));
        for (int k = 0; k < count; ++k) {
            const auto s = training::targetSquare(m_picks.x[k], m_picks.y[k], b);
            pic->box(s.left, s.top, s.right, s.bottom, kBlue);
        }
    }
    pic->update();
    return true;
}

void PlateController::DrawPlateOutline() {
    // Without an image under it the outline is black and two units wide.
    drawOutline(kBlack, 2);
}

void PlateController::drawOutline(int colour, int width) {
    PictureBox* pic = m_c.Picture1;
    const int x1 = training::wholeValue(m_c.txt_x1->text().toStdString());
    const int x2 = training::wholeValue(m_c.txt_x2->text().toStdString());
    const int y1 = training::wholeValue(m_c.txt_y1->text().toStdString());
    const int y2 = training::wholeValue(m_c.txt_y2->text().toStdString());
    pic->setDrawWidth(width);
    for (const training::OutlineRow& row : training::plateOutlineRows(x1, x2, y1, y2)) {
        pic->pset(row.left, row.y, colour);
        pic->pset(row.right, row.y, colour);
    }
    pic->setDrawWidth(1);
    pic->update();
}

void PlateController::syncSlider() {
    m_c.HScroll_plate->setMaximum(training::kSliderMaximum);
    m_c.HScroll_plate->setMinimum(training::kSliderMinimum);
    m_c.HScroll_plate->setValue(training::sliderValueFor(
        {numberIn(m_c.txt_x1), numberIn(m_c.txt_x2), numberIn(m_c.txt_y1), numberIn(m_c.txt_y2)}));
}

void PlateController::ResizePlateFromSlider() {
    if (!m_hooks.pageShown())
        return;
    const training::PlateRect rect = training::resizeAroundCentre(
        {numberIn(m_c.txt_x1), numberIn(m_c.txt_x2), numberIn(m_c.txt_y1), numberIn(m_c.txt_y2)},
        m_c.HScroll_plate->value());
    m_c.txt_x1->setText(numberText(rect.x1));
    m_c.txt_x2->setText(numberText(rect.x2));
    m_c.txt_y1->setText(numberText(rect.y1));
    m_c.txt_y2->setText(numberText(rect.y2));
    DrawPlateOverlay();
}

namespace {
void nudge(const PlateControls& c, training::Nudge direction) {
    training::PlateRect rect{numberIn(c.txt_x1), numberIn(c.txt_x2), numberIn(c.txt_y1),
                             numberIn(c.txt_y2)};
    if (!training::nudgeRect(rect, direction))
        return;
    if (direction == training::Nudge::Left || direction == training::Nudge::Right) {
        c.txt_x1->setText(numberText(rect.x1));
        c.txt_x2->setText(numberText(rect.x2));
    } else {
        c.txt_y1->setText(numberText(rect.y1));
        c.txt_y2->setText(numberText(rect.y2));
    }
}
} // namespace

void PlateController::cmdOffsetLeftClick() {
    nudge(m_c, training::Nudge::Left);
    DrawPlateOverlay();
}
void PlateController::cmdOffsetRightClick() {
    nudge(m_c, training::Nudge::Right);
    DrawPlateOverlay();
}
void PlateController::cmdOffsetDownClick() {
    nudge(m_c, training::Nudge::Up);
    DrawPlateOverlay();
}
void PlateController::cmdOffsetUpClick() {
    nudge(m_c, training::Nudge::Down);
    DrawPlateOverlay();
}

void PlateController::txtPsizeLostFocus() {
    if (training::plateSizeAccepted(numberIn(m_c.txt_psize)))
        return;
    // The message box takes the focus from the box: that focus-out is the same change, and
    // gets no second message.
    HandlerGuard guard(m_life, "txtPsizeLostFocus");
    if (!guard.entered())
        return;
    m_services.dialogs->message(QStringLiteral("invalid Analisis Area value [10-60]"));
    if (!guard.alive())
        return;
    m_c.txt_psize->setText(QStringLiteral("35"));
}

} // namespace ui
