#include "app/results/live_labels.h"

#include "formats/numbers.h"

#include <algorithm>
#include <cmath>

namespace results {

SpeedHistogram binSpeeds(const std::vector<double>& speeds, int binBasis) {
    SpeedHistogram h;
    h.nb =
        static_cast<int>(std::clamp<std::int64_t>(formats::roundHalfEven(binBasis / 10.0), 4, 10));
    h.bins.assign(static_cast<std::size_t>(h.nb + 1), 0);
    double top = 0.0;
    for (double speed : speeds)
        top = std::max(top, speed);
    if (top > 0.7)
        top = 0.7;
    h.width = top / h.nb;
    for (double speed : speeds) {
        if (!(speed > 0.0)) {
            ++h.still;
            continue;
        }
        if (!(h.width > 0.0))
            continue;
        auto j = static_cast<std::int64_t>(std::floor(speed / h.width));
        if (j > 0 && static_cast<double>(j) * h.width > speed)
            --j;
        if (static_cast<double>(j + 1) * h.width <= speed)
            ++j;
        if (j >= 0 && j <= h.nb)
            ++h.bins[static_cast<std::size_t>(j)];
    }
    h.cmax = std::max(10, *std::max_element(h.bins.begin(), h.bins.end()));
    h.yLab = static_cast<int>(std::max<std::int64_t>(2, formats::roundHalfEven(h.cmax * 0.1)));
    h.xLab = static_cast<int>(std::max<std::int64_t>(1, formats::roundHalfEven(h.nb * 0.1)));
    for (int j = 0; j <= h.nb; ++j)
        h.binLabels.push_back(formatFixed(j * h.width, 2));
    return h;
}

SpeedHistogram countedSpeedHistogram(const std::vector<double>& countedSpeeds) {
    return binSpeeds(countedSpeeds, static_cast<int>(countedSpeeds.size()));
}

SpeedHistogram speedHistogram(const LiveTrackerState& state, int n) {
    std::vector<double> speeds;
    for (int i = 0; i <= n; ++i) {
        const bool known = i >= 0 && i < static_cast<int>(state.tracks.size());
        speeds.push_back(known ? state.tracks[static_cast<std::size_t>(i)].motion.speedMm : 0.0);
    }
    return binSpeeds(speeds, n);
}

LiveLabels updateLiveLabels(LiveTrackerState& state) {
    LiveLabels labels;
    state.matchedSum += state.matchedCount;
    state.labelBlocks += 1.0;
    labels.particles =
        static_cast<int>(formats::roundHalfEven(state.matchedSum / state.labelBlocks + 0.2));
    labels.particleText = std::to_string(labels.particles);

    double sumTravel = 0.0;
    double sumSpeed = 0.0;
    std::vector<double> countedSpeeds;
    for (std::int32_t k = 0; k < state.trackCount; ++k) {
        const TrailState& motion = state.tracks[static_cast<std::size_t>(k)].motion;
        if (motion.frameCount >= 10) {
            ++labels.counted;
            countedSpeeds.push_back(motion.speedMm);
            sumTravel += motion.travelMm;
            sumSpeed += motion.travelMm / motion.frameCount;
        }
    }
    if (state.reader.blockNumber > 0 && labels.counted > 0 && labels.particles > 0) {
        labels.distanceText = formatFixed(sumTravel / labels.particles, 1);
        labels.speedText = formatFixed(sumSpeed / labels.counted, 2);
        labels.histogram = countedSpeedHistogram(countedSpeeds);
    }
    return labels;
}

} // namespace results
