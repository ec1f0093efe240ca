#include "app/results/stored_tracker.h"

#include "app/results/live_tracker.h"
#include "app/results/stored_block_reader.h"
#include "app/results/track_color.h"
#include "formats/frame_names.h"
#include "formats/text_lines.h"

#include <cstdlib>
#include <optional>

namespace results {

std::int32_t NearestSamplePoint(const std::vector<SamplePoint>& points, std::int32_t x,
                                std::int32_t y) {
    double best = 99999.0;
    std::int32_t result = 0;
    for (std::size_t i = 0; i < points.size(); ++i) {
        const double dx = static_cast<double>(points[i].x) - x;
        const double dy = static_cast<double>(points[i].y) - y;
        const double d2 = dy * dy + dx * dx;
        if (d2 < best) {
            best = d2;
            result = static_cast<std::int32_t>(i);
        }
    }
    return result;
}

namespace {

struct StoredTrack {
    LiveDetection last; // the detection the track took last
    std::int32_t lostCount = 0;
};

WormTrailRow rowOf(std::int32_t frame, std::int32_t id, const StoredTrack& track) {
    return {frame,
            id,
            track.last.x,
            track.last.y,
            track.lostCount,
            track.last.pixels,
            track.last.xSize,
            track.last.ySize,
            track.last.shape};
}

std::string backgroundPictureOf(const std::string& folder, const std::string& programFolder) {
    const std::string img = formats::pathInFolder(folder, "img");
    for (std::int32_t k = 0; k <= 3; ++k) {
        const std::string name = findFrameFile(img, k);
        if (!name.empty())
            return formats::pathInFolder(img, name);
    }
    return formats::pathInFolder(programFolder, formats::kPreviewFileName);
}

// Hands out the blocks of the position file by time mark: the block of frame n, or none. Blocks
// of earlier time marks (frames passed over, repeated marks) are read and dropped on the way;
// a block of a later frame waits for it.
class BlocksByTimeMark {
public:
    BlocksByTimeMark(const std::string& folder, StoredTrackResult& out)
        : m_folder(folder), m_out(out) {}

    const DetectionBlock* blockOf(std::int32_t frame) {
        while (!m_ended) {
            if (!m_pending) {
                DetectionBlock block = ReadWormBlock(m_folder, m_reader);
                if (block.status == DetectionBlock::Status::NothingNew) {
                    m_ended = true;
                    break;
                }
                if (block.status == DetectionBlock::Status::Error) {
                    m_ended = true;
                    m_error = block.error;
                    break;
                }
                if (block.status == DetectionBlock::Status::Skipped) {
                    ++m_out.blocksPassedOver;
                    if (m_damaged++ == 0)
                        m_out.notes.push_back(block.error);
                    continue;
                }
                ++m_out.blocksRead;
                m_pending = std::move(block);
            }
            if (m_pending->timeMark < frame) {
                ++m_out.blocksPassedOver;
                m_pending.reset();
                continue;
            }
            if (m_pending->timeMark == frame)
                return &*m_pending;
            break;
        }
        return nullptr;
    }

    // The block handed out last has been used (or passed over).
    void done() { m_pending.reset(); }
    const std::string& error() const { return m_error; }
    std::int32_t damagedBlocks() const { return m_damaged; }

private:
    std::string m_folder;
    StoredTrackResult& m_out;
    StoredReaderState m_reader;
    std::optional<DetectionBlock> m_pending;
    bool m_ended = false;
    std::string m_error;
    std::int32_t m_damaged = 0;
};

} // namespace

StoredTrackResult trackStoredAcquisition(const std::string& folder,
                                         const StoredTrackerParams& params,
                                         const BackgroundSamples& samples,
                                         const std::string& programFolder) {
    StoredTrackResult out;
    if (folder.empty()) {
        out.error = "no acquisition folder";
        out.messages.push_back(kStoredTrackerErrorMessage);
        return out;
    }
    out.backgroundPicture = backgroundPictureOf(folder, programFolder);

    double scale = samples.scale;
    if (scale > 0.0 && scale < kStoredMinScale)
        scale = kStoredMinScale;
    out.scale = scale;
    out.backgroundFilterApplied = params.backgroundFilter && samples.hasData();
    if (params.backgroundFilter && !samples.hasData())
        out.notes.push_back("Background filter skipped: " + samples.reason);

    std::vector<StoredTrack> tracks;
    std::vector<LiveDetection> detections;
    std::vector<TrackEnd> ends;
    bool limitTold = false;
    std::int32_t time = 0;
    const RefuseLink refuse = [&](std::int32_t, int d, std::int32_t best) {
        if (best <= kStoredFilterReach)
            return false;
        const LiveDetection& det = detections[static_cast<std::size_t>(d)];
        const std::int32_t k = NearestSamplePoint(samples.points, det.x, det.y);
        std::uint8_t v = 0, vp = 0;
        if (!samples.value(time, k, v) || !samples.value(time - 1, k, vp))
            return false; // no samples to judge by
        return scale > 0.0 && (scale + 0.01) * v > std::abs(static_cast<int>(v) - vp);
    };

    BlocksByTimeMark blocks(folder, out);
    for (std::int32_t n = 0; n <= kStoredLastFrame; ++n) {
        if (!samples.isUsable(n))
            continue;
        const DetectionBlock* block = blocks.blockOf(n);
        if (!block)
            continue;
        time = block->timeMark;
        if (time <= 0) {
            ++out.blocksPassedOver;
            blocks.done();
            continue;
        }
        detections = liveDetections(*block);
        blocks.done();
        ++out.framesLinked;

        if (n <= 1) {
            // The start frame: one track per entry, its rows written as frame 0.
            tracks.assign(detections.size(), StoredTrack{});
            for (std::size_t i = 0; i < detections.size(); ++i) {
                tracks[i].last = detections[i];
                if (tracks[i].last.x > 0)
                    out.rows.push_back(rowOf(0, static_cast<std::int32_t>(i), tracks[i]));
            }
            continue;
        }

        const auto oldCount = static_cast<std::int32_t>(tracks.size());
        ends.resize(tracks.size());
        for (std::size_t t = 0; t < tracks.size(); ++t)
            ends[t] = {tracks[t].last.x, tracks[t].last.y, tracks[t].lostCount < kStoredLostLimit};
        const TrackLinks links =
            linkDetections(ends, detections, params.maxTravel,
                           out.backgroundFilterApplied ? refuse : RefuseLink{});
        for (const int d : links.unclaimed) {
            if (static_cast<std::int32_t>(tracks.size()) >= kLiveMaxTracks) {
                if (!limitTold) {
                    limitTold = true;
                    out.notes.push_back(kTrackIdLimitMessage);
                }
                break;
            }
            StoredTrack track;
            track.last = detections[static_cast<std::size_t>(d)];
            tracks.push_back(track);
        }
        for (std::int32_t t = 0; t < oldCount; ++t) {
            StoredTrack& track = tracks[static_cast<std::size_t>(t)];
            if (track.lostCount >= kStoredLostLimit)
                continue;
            ++track.lostCount;
            const int d = links.pick[static_cast<std::size_t>(t)];
            if (d < 0)
                continue;
            const LiveDetection& det = detections[static_cast<std::size_t>(d)];
            out.segments.push_back({n, t, TrackColor(t), track.last.x, track.last.y, det.x, det.y});
            track.last = det;
            track.lostCount = 0;
        }
        for (std::size_t t = 0; t < tracks.size(); ++t) {
            if (tracks[t].lostCount < kStoredLostLimit && tracks[t].last.x > 0)
                out.rows.push_back(rowOf(n, static_cast<std::int32_t>(t), tracks[t]));
        }
    }
    out.trackCount = static_cast<std::int32_t>(tracks.size());
    if (blocks.damagedBlocks() > 1)
        out.notes.push_back(std::to_string(blocks.damagedBlocks()) +
                            " damaged blocks of xy_worms.bin passed over");
    out.error = blocks.error();

    const std::string written =
        writeWormTrailsFile(formats::pathInFolder(folder, kWormTrailsFileName), out.rows);
    if (out.error.empty())
        out.error = written;
    out.completed = out.error.empty();
    if (!out.completed)
        out.messages.push_back(kStoredTrackerErrorMessage);
    return out;
}

StoredTrackResult TrackWorms(const std::string& folder, bool interactive,
                             const StoredTrackerParams& params, const std::string& programFolder,
                             const ConfirmBadFrame& confirm) {
    const BackgroundSamples samples = FilterBadImagesAndLoadSamples(folder, interactive, confirm);
    StoredTrackResult out = trackStoredAcquisition(folder, params, samples, programFolder);
    out.messages.insert(out.messages.begin(), samples.filter.messages.begin(),
                        samples.filter.messages.end());
    out.notes.insert(out.notes.begin(), samples.filter.errors.begin(), samples.filter.errors.end());
    return out;
}

} // namespace results
