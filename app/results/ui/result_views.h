#pragma once
// The live result views of a window: the particle, distance and speed labels and the speed
// histogram chart.

#include "app/results/live_labels.h"

class QLabel;

namespace ui {

class PictureBox;

struct ResultLabels {
    QLabel* lbl_particle = nullptr;
    QLabel* lbl_distance = nullptr;
    QLabel* lbl_speed = nullptr;
    PictureBox* Picture3 = nullptr; // the speed histogram
};

// Writes one update of the figures into the labels and draws the chart when it has one.
void showLiveLabels(const ResultLabels& c, const results::LiveLabels& labels);

// The speed histogram: a bar of still tracks at the label band, one outlined bar per bin with
// its lower bound below it, "0" and the highest count on the left.
void DrawHistogram(PictureBox* picture, const results::SpeedHistogram& histogram);

} // namespace ui

namespace results {
struct StoredTrackResult;
}

namespace ui {

// The tracks of a stored acquisition: its background picture with every step drawn in the
// colour of its track. False when the picture could not be shown.
bool DrawStoredTracks(PictureBox* picture, const results::StoredTrackResult& tracks);

} // namespace ui
