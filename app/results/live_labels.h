#pragma once
// The live result figures of a run: the particle count, the travelled distance per particle,
// the mean speed and the bar chart of track speeds, from the live tracker's state.

#include "app/results/live_tracker.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace results {

// The speed chart: bins 0 to nb of width `width`, the still count and the chart's scale.
struct SpeedHistogram {
    int nb = 4;
    double width = 0.0;
    std::vector<int> bins;              // nb + 1 counts
    int still = 0;                      // tracks whose speed is 0 or less
    int cmax = 10;                      // largest bin count, at least 10
    int yLab = 2;                       // height of the label band, at least 2
    int xLab = 1;                       // width of the label band, at least 1
    std::vector<std::string> binLabels; // lower bound of each bin, "0.00"
};

// The chart of the given speeds, its bin count from `binBasis`: binBasis / 10 rounded (halves
// to even), kept within 4 to 10. Values of 0 or less count as still; the range is cut at 0.7,
// and a value at or beyond the last bin's end counts nowhere.
SpeedHistogram binSpeeds(const std::vector<double>& speeds, int binBasis);

// The chart of the trails that entered the figures: their speeds, the bin count from how
// many they are (44 or 45 trails give 4 bins, 55 give 6, 95 and more give 10).
SpeedHistogram countedSpeedHistogram(const std::vector<double>& countedSpeeds);

// The chart of tracks 0 to n by id, the bin count from n.
SpeedHistogram speedHistogram(const LiveTrackerState& state, int n);

// One update of the labels.
struct LiveLabels {
    int particles = 0;
    int counted = 0;
    std::string particleText;                // lbl_particle
    std::optional<std::string> distanceText; // lbl_distance, when the figures are shown
    std::optional<std::string> speedText;    // lbl_speed
    std::optional<SpeedHistogram> histogram; // Picture3
};

// UpdateLiveLabels: adds the block's matched count to the running sums and computes the
// figures. Distance, speed and chart are given only when tracks with 10 counted steps exist.
LiveLabels updateLiveLabels(LiveTrackerState& state);

} // namespace results
