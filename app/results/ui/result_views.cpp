#include "app/results/ui/result_views.h"

#include "app/results/stored_tracker.h"
#include "app/widgets/box_values.h"
#include "app/widgets/picture_box.h"

#include <QLabel>

namespace ui {

namespace {
constexpr int kBlack = colourValue(0, 0, 0);
constexpr int kWhite = colourValue(255, 255, 255);

} // namespace

void showLiveLabels(const ResultLabels& c, const results::LiveLabels& labels) {
    c.lbl_particle->setText(fromStd(labels.particleText));
    c.lbl_particle->repaint();
    if (labels.distanceText) {
        c.lbl_distance->setText(fromStd(*labels.distanceText));
        c.lbl_distance->repaint();
    }
    if (labels.speedText) {
        c.lbl_speed->setText(fromStd(*labels.speedText));
        c.lbl_speed->repaint();
    }
    if (labels.histogram)
        DrawHistogram(c.Picture3, *labels.histogram);
}

void DrawHistogram(PictureBox* p, const results::SpeedHistogram& h) {
    p->setBackColor(kWhite);
    p->cls();
    // The chart's backing image is reduced on screen; two-pixel outlines stay visible.
    p->setDrawWidth(2);
    p->setScale(0.0, h.cmax + 1.0 + h.yLab, h.nb + 1.0, -1.0);
    p->box(0.95 * h.xLab, h.yLab, 1.05 * h.xLab, h.still + h.yLab, kBlack, true);
    for (int j = 0; j <= h.nb; ++j) {
        p->box(j + h.xLab, h.yLab, j + 1.0 + h.xLab, h.bins[static_cast<std::size_t>(j)] + h.yLab,
               kBlack, false);
        p->printText(h.xLab + j, h.yLab - 1.0, fromStd(h.binLabels[static_cast<std::size_t>(j)]),
                     kBlack, 12);
    }
    p->printText(0.0, h.yLab, QStringLiteral("0"), kBlack, 12);
    p->printText(0.0, h.cmax + h.yLab, QString::number(h.cmax), kBlack, 12);
    p->update();
}

bool DrawStoredTracks(PictureBox* p, const results::StoredTrackResult& tracks) {
    const bool shown = !tracks.backgroundPicture.empty() &&
                       p->loadPicture(QString::fromStdString(tracks.backgroundPicture));
    for (const results::TrackSegment& s : tracks.segments)
        p->line(s.x1, s.y1, s.x2, s.y2, s.colour);
    p->show();
    p->update();
    return shown;
}

} // namespace ui
