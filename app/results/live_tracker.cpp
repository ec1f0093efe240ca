#include "app/results/live_tracker.h"

#include "app/results/worm_trails_file.h"
#include "formats/numbers.h"

#include <cmath>

namespace results {

void LiveTrackerState::reset(double pxX, double pxY) {
    *this = LiveTrackerState{};
    pxPerMmX = pxX;
    pxPerMmY = pxY;
}

void LiveTrackerState::advanceBlock() {
    ++reader.blockNumber;
    ++reader.ringSlot;
    if (reader.ringSlot >= kLiveHistorySlots)
        reader.ringSlot = 0;
}

std::vector<LiveDetection> liveDetections(const DetectionBlock& block) {
    std::vector<LiveDetection> detections;
    const std::size_t count = block.count > 0 ? static_cast<std::size_t>(block.count) : 0;
    detections.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        LiveDetection d;
        if (i < block.x.size()) {
            d.x = block.x[i];
            d.y = block.y[i];
            d.pixels = block.pixels[i];
            d.xSize = block.xSize[i];
            d.ySize = block.ySize[i];
            d.shape = static_cast<std::int32_t>(
                formats::roundHalfEven(formats::leadingNumber(block.shape[i])));
        }
        detections.push_back(d);
    }
    return detections;
}

int nearestDetection(std::int32_t x, std::int32_t y, const std::vector<LiveDetection>& detections,
                     std::int32_t& roundedBest) {
    roundedBest = 9999;
    int candidate = -1;
    // Whole-pixel differences: the distance lies below the whole number b exactly when its
    // square lies below b * b, so the root is only taken for a new best.
    double bestSquare = static_cast<double>(roundedBest) * roundedBest;
    for (std::size_t d = 0; d < detections.size(); ++d) {
        const double dx = static_cast<double>(detections[d].x - x);
        const double dy = static_cast<double>(detections[d].y - y);
        const double square = dx * dx + dy * dy;
        if (square < bestSquare) {
            roundedBest = static_cast<std::int32_t>(formats::roundHalfEven(std::sqrt(square)));
            bestSquare = static_cast<double>(roundedBest) * roundedBest;
            candidate = static_cast<int>(d);
        }
    }
    return candidate;
}

TrackLinks linkDetections(const std::vector<TrackEnd>& ends,
                          const std::vector<LiveDetection>& detections, double maxTravel,
                          const RefuseLink& refuse) {
    constexpr int kUnclaimed = -1;
    constexpr int kContested = -999;
    TrackLinks links;
    links.pick.assign(ends.size(), -1);
    std::vector<int> claim(detections.size(), kUnclaimed);

    // Choice by the tracks.
    for (std::size_t t = 0; t < ends.size(); ++t) {
        if (!ends[t].alive)
            continue;
        std::int32_t best = 9999;
        const int d = nearestDetection(ends[t].x, ends[t].y, detections, best);
        if (d < 0 || !(static_cast<double>(best) < maxTravel))
            continue;
        if (refuse && refuse(static_cast<std::int32_t>(t), d, best))
            continue;
        links.pick[t] = d;
        int& c = claim[static_cast<std::size_t>(d)];
        c = c == kUnclaimed ? static_cast<int>(t) : kContested;
    }

    // Resolution by the detections: a contested one goes to the nearest of its tracks.
    for (std::size_t d = 0; d < detections.size(); ++d) {
        if (claim[d] == kUnclaimed) {
            links.unclaimed.push_back(static_cast<int>(d));
            continue;
        }
        if (claim[d] != kContested)
            continue;
        std::int32_t best = 9999;
        int winner = -1;
        for (std::size_t t = 0; t < ends.size(); ++t) {
            if (links.pick[t] != static_cast<int>(d))
                continue;
            links.pick[t] = -1;
            const double dx = static_cast<double>(detections[d].x - ends[t].x);
            const double dy = static_cast<double>(detections[d].y - ends[t].y);
            const double dist = std::sqrt(dx * dx + dy * dy);
            if (dist < static_cast<double>(best)) {
                best = static_cast<std::int32_t>(formats::roundHalfEven(dist));
                winner = static_cast<int>(t);
            }
        }
        if (winner >= 0)
            links.pick[static_cast<std::size_t>(winner)] = static_cast<int>(d);
    }
    return links;
}

std::string liveTrailRow(std::int32_t frame, std::int32_t id, const LiveTrack& track) {
    WormTrailRow row;
    row.frame = frame;
    row.id = id;
    row.x = track.last.x;
    row.y = track.last.y;
    row.lostCount = track.lostCount;
    row.pixels = track.last.pixels;
    row.xSize = track.last.xSize;
    row.ySize = track.last.ySize;
    row.shape = static_cast<std::int32_t>(track.last.shape);
    return formatWormTrailRow(row) + "\r\n";
}

LiveBlockResult linkLiveBlock(LiveTrackerState& state, std::int32_t timeMark,
                              const std::vector<LiveDetection>& detections, double maxTravel) {
    LiveBlockResult result;
    state.lastTimeMark = timeMark;
    // The reader raised the block number from 1 to 2 for the run's first block.
    if (state.reader.blockNumber <= 2) {
        result.firstBlock = true;
        result.frame = 0;
        result.rows = std::string(kWormTrailsHeader) + "\r\n";
        state.tracks.assign(detections.size(), LiveTrack{});
        state.trackCount = static_cast<std::int32_t>(detections.size());
        for (std::size_t i = 0; i < detections.size(); ++i) {
            LiveTrack& track = state.tracks[i];
            track.last = detections[i];
            track.lostCount = 0;
            if (track.last.x > 0)
                result.rows += liveTrailRow(0, static_cast<std::int32_t>(i), track);
        }
        return result;
    }

    result.frame = state.reader.blockNumber;
    const std::int32_t oldCount = state.trackCount;
    std::vector<TrackEnd> ends(static_cast<std::size_t>(oldCount));
    for (std::int32_t k = 0; k < oldCount; ++k) {
        const LiveTrack& track = state.tracks[static_cast<std::size_t>(k)];
        ends[static_cast<std::size_t>(k)] = {track.last.x, track.last.y,
                                             track.lostCount < kLiveLostLimit};
    }
    const TrackLinks links = linkDetections(ends, detections, maxTravel);
    const std::vector<int>& pick = links.pick;

    // Every unchosen detection opens a new track.
    std::int32_t opened = 0;
    for (const int d : links.unclaimed) {
        const std::int32_t id = oldCount + opened;
        if (id >= kLiveMaxTracks) {
            if (!state.trackLimitReported) {
                state.trackLimitReported = true;
                result.trackLimitReached = true;
            }
            break;
        }
        LiveTrack track;
        track.last = detections[static_cast<std::size_t>(d)];
        track.lostCount = 0;
        track.motion.midX = track.last.x;
        track.motion.midY = track.last.y;
        state.tracks.push_back(track);
        ++opened;
    }

    // Update of the old tracks.
    state.matchedCount = 0;
    for (std::int32_t k = 0; k < oldCount; ++k) {
        LiveTrack& track = state.tracks[static_cast<std::size_t>(k)];
        if (track.lostCount >= kLiveLostLimit)
            continue;
        ++track.lostCount;
        const int p = pick[static_cast<std::size_t>(k)];
        if (p >= 0) {
            track.last = detections[static_cast<std::size_t>(p)];
            track.lostCount = 0;
            ++state.matchedCount;
        }
    }
    state.trackCount = oldCount + opened;

    // Rows of every live track.
    for (std::int32_t k = 0; k < state.trackCount; ++k) {
        const LiveTrack& track = state.tracks[static_cast<std::size_t>(k)];
        if (track.lostCount < kLiveLostLimit && track.last.x > 0)
            result.rows += liveTrailRow(result.frame, k, track);
    }
    result.labelsDue = true;
    return result;
}

void applyLiveMotion(LiveTrackerState& state) {
    for (std::int32_t k = 0; k < state.trackCount; ++k) {
        LiveTrack& track = state.tracks[static_cast<std::size_t>(k)];
        if (track.lostCount < kLiveLostLimit) {
            MotionInput input;
            input.x = track.last.x;
            input.y = track.last.y;
            applyMotionRule(track.motion, input, state.pxPerMmX, state.pxPerMmY,
                            MotionVariant::Live);
        } else {
            track.motion.midX = 0;
            track.motion.midY = 0;
        }
    }
}

namespace {
int previousSlot(int slot) {
    return slot == 0 ? kLiveHistorySlots - 1 : slot - 1;
}
} // namespace

void recordLiveHistory(LiveTrackerState& state, LiveBlockResult& result, double rectX1,
                       double rectY1) {
    const int slot = state.reader.ringSlot;
    const int prev = previousSlot(slot);
    for (std::int32_t k = 0; k < state.trackCount; ++k) {
        LiveTrack& track = state.tracks[static_cast<std::size_t>(k)];
        if (track.lostCount < kLiveLostLimit) {
            track.histX[static_cast<std::size_t>(slot)] = static_cast<std::int16_t>(track.last.x);
            track.histY[static_cast<std::size_t>(slot)] = static_cast<std::int16_t>(track.last.y);
        } else {
            track.histX[static_cast<std::size_t>(slot)] =
                track.histX[static_cast<std::size_t>(prev)];
            track.histY[static_cast<std::size_t>(slot)] =
                track.histY[static_cast<std::size_t>(prev)];
        }
        const double cx = track.histX[static_cast<std::size_t>(slot)];
        const double cy = track.histY[static_cast<std::size_t>(slot)];
        const double px = track.histX[static_cast<std::size_t>(prev)];
        const double py = track.histY[static_cast<std::size_t>(prev)];
        if (cx > 0 && px > 0 && std::hypot(cx - px, cy - py) > 2.0)
            result.trailMap.push_back({k, cx - rectX1, cy - rectY1, px - rectX1, py + 1 - rectY1});

        // The recent path over the frame; a segment equal to the one before it adds nothing.
        LiveSegment previous{-1, 0, 0, 0, 0};
        auto add = [&](int a, int b) {
            const std::size_t sa = static_cast<std::size_t>(a);
            const std::size_t sb = static_cast<std::size_t>(b);
            if (track.histX[sa] <= 0 || track.histX[sb] <= 0)
                return;
            const LiveSegment segment{k, track.histX[sa] + 10.0, track.histY[sa] + 10.0,
                                      track.histX[sb] + 11.0, track.histY[sb] + 11.0};
            if (previous.id == k && previous.x1 == segment.x1 && previous.y1 == segment.y1 &&
                previous.x2 == segment.x2 && previous.y2 == segment.y2)
                return;
            previous = segment;
            result.recentPath.push_back(segment);
        };
        if (state.reader.blockNumber <= 60) {
            for (int j = 1; j <= state.reader.blockNumber - 1; ++j)
                add(j + 1, j);
        } else {
            for (int j = 0; j <= 58; ++j) {
                const int s =
                    ((slot - j) % kLiveHistorySlots + kLiveHistorySlots) % kLiveHistorySlots;
                add(s, previousSlot(s));
            }
        }
    }
}

} // namespace results
